# Run by `cmake --install`: the parts of the installation that depend on where it goes.
# Paths inside the installed files are the final ones; files are written below DESTDIR.
set(prefix "${CMAKE_INSTALL_PREFIX}")
set(root "$ENV{DESTDIR}")

# The high-score directory: SAUNO_SCORE_DIR when installing, else PREFIX/var/games/sauno/data.
if(DEFINED ENV{SAUNO_SCORE_DIR} AND NOT "$ENV{SAUNO_SCORE_DIR}" STREQUAL "")
  set(score_dir "$ENV{SAUNO_SCORE_DIR}")
else()
  set(score_dir "${prefix}/var/games/sauno/data")
endif()
if(NOT IS_ABSOLUTE "${score_dir}")
  message(FATAL_ERROR "The high-score directory must be an absolute path: ${score_dir}")
endif()

# The game's own description, with that directory.
file(READ "${SAUNO_INSTALL_SCENE}" scene)
string(REPLACE "\\" "\\\\" escaped "${score_dir}")
string(REPLACE "\"" "\\\"" escaped "${escaped}")
string(REPLACE "@SAUNO_INSTALL_SCORE_DIR@" "${escaped}" scene "${scene}")
message(STATUS "Installing: ${root}${prefix}/lib/sauno/sauno.scene")
file(WRITE "${root}${prefix}/lib/sauno/sauno.scene" "${scene}")

# The launcher: a relative link, so that the game finds its folder by the link's target.
file(MAKE_DIRECTORY "${root}${prefix}/bin")
message(STATUS "Installing: ${root}${prefix}/bin/sauno")
file(CREATE_LINK "../lib/sauno/sauno" "${root}${prefix}/bin/sauno" SYMBOLIC)

# The desktop entry.
set(SAUNO_LAUNCHER "${prefix}/bin/sauno")
configure_file("${SAUNO_DESKTOP_TEMPLATE}" "${root}${prefix}/share/applications/sauno.desktop" @ONLY)
message(STATUS "Installing: ${root}${prefix}/share/applications/sauno.desktop")

# A package makes the table when it is installed, not in its payload.
if(DEFINED ENV{SAUNO_NO_TABLE} AND NOT "$ENV{SAUNO_NO_TABLE}" STREQUAL "")
  message(STATUS "No high-score table made: the package's installation makes it in ${score_dir}")
  return()
endif()

# The shared table: made only when none is there, so stored scores are never touched.
set(dir "${root}${score_dir}")
file(MAKE_DIRECTORY "${dir}")
file(GLOB existing "${dir}/*")
set(has_table FALSE)
foreach(f IN LISTS existing)
  get_filename_component(name "${f}" NAME)
  string(TOLOWER "${name}" name)
  if(name STREQUAL "enkat.dat")
    set(has_table TRUE)
  endif()
endforeach()
if(has_table)
  message(STATUS "Keeping the high-score table in ${dir}")
else()
  message(STATUS "Making the high-score table in ${dir}")
  execute_process(COMMAND "${SAUNO_TABLE_TOOL}" create-scores "${dir}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Could not make the high-score table in ${dir}")
  endif()
endif()

# Every player may write the table: it belongs to the scores group, the directory keeps that
# group for new files, and the game runs with that group. Only root can hand out a group.
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
if(uid STREQUAL "0")
  execute_process(COMMAND getent group "${SAUNO_SCORE_GROUP}" RESULT_VARIABLE no_group OUTPUT_QUIET)
  if(no_group)
    message(FATAL_ERROR "The group ${SAUNO_SCORE_GROUP} for the high-score table does not exist")
  endif()
  file(GLOB table_files "${dir}/*")
  execute_process(COMMAND chgrp "${SAUNO_SCORE_GROUP}" "${dir}" ${table_files} COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND chmod 2775 "${dir}" COMMAND_ERROR_IS_FATAL ANY)
  if(table_files)
    execute_process(COMMAND chmod 0664 ${table_files} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  set(game "${root}${prefix}/lib/sauno/sauno")
  execute_process(COMMAND chgrp "${SAUNO_SCORE_GROUP}" "${game}" COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND chmod 2755 "${game}" COMMAND_ERROR_IS_FATAL ANY)
  message(STATUS "High-score table: group ${SAUNO_SCORE_GROUP}, directory 2775, files 0664; the game runs with that group")
else()
  message(STATUS "Not installing as root: the high-score table is writable by ${uid}'s own group only")
endif()
