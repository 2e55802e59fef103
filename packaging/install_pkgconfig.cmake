# Run by `cmake --install`: the pkg-config files, written with the prefix installed to.
# SAUNO_PC_TEMPLATES lists the templates; @SAUNO_PREFIX@ in them becomes the prefix.
set(dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${SAUNO_PC_DIR}")
file(MAKE_DIRECTORY "${dir}")
foreach(template IN LISTS SAUNO_PC_TEMPLATES)
  file(READ "${template}" text)
  string(REPLACE "@SAUNO_PREFIX@" "${CMAKE_INSTALL_PREFIX}" text "${text}")
  get_filename_component(name "${template}" NAME_WE)
  message(STATUS "Installing: ${dir}/${name}.pc")
  file(WRITE "${dir}/${name}.pc" "${text}")
endforeach()
