# Fails when the files of one layer include a header from a folder the layer does not name,
# or name a layer they never include, so that the dependencies the build declares are the
# ones the code has, and point only down (cmake/archivi_layer.cmake). Quoted includes with a
# folder are project headers, named from the project's root; the rest are not checked.
#   SOURCES   the layer's files (.cpp and .h), separated by "|"
#   OWN       the layer's own folder, e.g. engine/jet/page
#   DECLARED  the folders of the layers it names, separated by "|"
#   STAMP     touched when the includes and the names agree
cmake_policy(SET CMP0057 NEW)
string(REPLACE "|" ";" sources "${SOURCES}")
string(REPLACE "|" ";" declared "${DECLARED}")
set(violations "")
set(used "")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" includes REGEX "^#include \"[^\"]*/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" header "${line}")
    get_filename_component(folder "${header}" DIRECTORY)
    if("${folder}" STREQUAL "${OWN}")
      continue()
    endif()
    if(folder IN_LIST declared)
      list(APPEND used ${folder})
    else()
      string(APPEND violations "\n  ${source}: ${header}")
    endif()
  endforeach()
endforeach()
set(unused "")
foreach(folder IN LISTS declared)
  if(NOT folder IN_LIST used)
    string(APPEND unused " ${folder}")
  endif()
endforeach()
if(violations)
  message(FATAL_ERROR "Includes from a layer that ${OWN} does not name (it names: ${declared}):${violations}")
endif()
if(unused)
  message(FATAL_ERROR "${OWN} names layers its files never include:${unused}")
endif()
file(TOUCH "${STAMP}")
