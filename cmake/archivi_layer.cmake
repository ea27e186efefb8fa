# The project's code stands in layers, each a folder built into one target that names the
# layers whose headers it includes: app -> import -> archives -> engine (engine/open ->
# engine/excel and engine/jet/* -> engine/). The build checks every quoted include of a
# layer's files (cmake/check_includes.cmake): it must come from the layer's own folder or from
# a layer it names, and every layer it names must be included somewhere in it. A layer can
# only name layers made before it, so no include ever points up.
#
# archivi_layer(target folder [DEPENDS layer...])
#   target   a library or program already made of the files in <folder>
#   folder   relative to the project, e.g. engine/jet/page or import
#   DEPENDS  the layers (targets made with archivi_layer) it includes from; linked to it
function(archivi_layer target folder)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  set(declared "")
  foreach(dependency IN LISTS ARG_DEPENDS)
    get_property(dependency_folder GLOBAL PROPERTY ARCHIVI_LAYER_FOLDER_${dependency})
    if(NOT dependency_folder)
      message(FATAL_ERROR "${target} (${folder}) names ${dependency}, which is not a layer made before it")
    endif()
    list(APPEND declared ${dependency_folder})
  endforeach()
  set_property(GLOBAL PROPERTY ARCHIVI_LAYER_FOLDER_${target} ${folder})

  set(dir ${PROJECT_SOURCE_DIR}/${folder})
  file(GLOB files CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.includes-checked)
  string(REPLACE ";" "|" file_list "${files}")
  string(REPLACE ";" "|" declared_list "${declared}")
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DSOURCES=${file_list} -DOWN=${folder} -DDECLARED=${declared_list} -DSTAMP=${stamp}
            -P ${PROJECT_SOURCE_DIR}/cmake/check_includes.cmake
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/check_includes.cmake
    COMMENT "Checking the includes of ${target}"
    VERBATIM)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    # Headers only: nothing is compiled, so the check gets a target of its own.
    add_custom_target(${target}_includes ALL DEPENDS ${stamp})
    target_link_libraries(${target} INTERFACE ${ARG_DEPENDS})
    return()
  endif()
  target_sources(${target} PRIVATE ${stamp})

  if(type STREQUAL "EXECUTABLE")
    target_link_libraries(${target} PRIVATE ${ARG_DEPENDS})
  else()
    target_link_libraries(${target} PUBLIC ${ARG_DEPENDS})
  endif()
endfunction()
