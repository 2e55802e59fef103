# The engine stack as installed libraries. Each folder's static library stays what the build's
# own game and tests link; its objects (compiled position-independent) also make a shared
# library, libsauno-NAME.so.MAJOR, installed with the folder's public headers under
# include/sauno/NAME and exported as Sauno::NAME (packaging/CMakeLists.txt writes the CMake
# package and the pkg-config files).
#
#   sauno_shared_library(NAME OBJECTS static-target...
#                        [REQUIRES lower-library...]      Sauno libraries its headers or its link need
#                        [LINK_PUBLIC target...]          system libraries its headers need
#                        [LINK_PRIVATE target...]         system libraries only its code calls
#                        [PC_REQUIRES module...]          pkg-config modules of LINK_PUBLIC
#                        [PC_CFLAGS flag...]
#                        HEADERS header...)               the installed headers
include(GNUInstallDirs)

function(sauno_shared_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" ""
                        "OBJECTS;REQUIRES;LINK_PUBLIC;LINK_PRIVATE;PC_REQUIRES;PC_CFLAGS;HEADERS")
  set(target sauno_${name}_shared)
  set(objects)
  foreach(lib IN LISTS arg_OBJECTS)
    set_property(TARGET ${lib} PROPERTY POSITION_INDEPENDENT_CODE ON)
    # The same objects link the build's own static programs: calls inside a library bind to
    # it and stay inlinable, as they were before the code became position-independent.
    target_compile_options(${lib} PRIVATE -fno-semantic-interposition)
    # A shared library exports what its installed headers mark with its export macro
    # (NAME/export.h), and nothing else.
    set_target_properties(${lib} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    list(APPEND objects $<TARGET_OBJECTS:${lib}>)
  endforeach()
  add_library(${target} SHARED ${objects})
  add_library(Sauno::${name} ALIAS ${target})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME sauno-${name} EXPORT_NAME ${name}
                        VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  target_compile_features(${target} INTERFACE cxx_std_20)
  target_include_directories(${target} INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
                             $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/sauno>)
  set(lower)
  set(pc_requires)
  foreach(r IN LISTS arg_REQUIRES)
    list(APPEND lower sauno_${r}_shared)
    list(APPEND pc_requires sauno-${r})
  endforeach()
  list(APPEND pc_requires ${arg_PC_REQUIRES})
  target_link_libraries(${target} PUBLIC ${lower} ${arg_LINK_PUBLIC} PRIVATE ${arg_LINK_PRIVATE})
  # Every symbol the objects use must come from a library named here: a consumer links nothing else.
  target_link_options(${target} PRIVATE LINKER:--no-undefined)
  # Only the project's own namespaces are exported (exports.map): the marked declarations.
  target_link_options(${target} PRIVATE LINKER:--version-script=${PROJECT_SOURCE_DIR}/packaging/exports.map)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/exports.map)

  install(TARGETS ${target} EXPORT SaunoTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES ${arg_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/sauno/${name})

  set_property(GLOBAL APPEND PROPERTY SAUNO_LIBRARIES ${name})
  set_property(GLOBAL PROPERTY SAUNO_${name}_PC_REQUIRES "${pc_requires}")
  set_property(GLOBAL PROPERTY SAUNO_${name}_PC_CFLAGS "${arg_PC_CFLAGS}")
  set(installed)
  foreach(h IN LISTS arg_HEADERS)
    list(APPEND installed ${name}/${h})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY SAUNO_INSTALLED_HEADERS ${installed})
endfunction()
