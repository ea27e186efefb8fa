# Fails when a source of one engine library includes a header from a folder the library may not
# use, so that the layers of the engine only ever depend downwards. Run by the build for every
# library made with archivi_engine_library() (engine/CMakeLists.txt).
#   SOURCES  the library's files (.cpp and .h), separated by "|"
#   ALLOWED  the folders under engine/ it may include from, "." for engine/ itself
#   STAMP    touched when every include is allowed
cmake_policy(SET CMP0057 NEW)
string(REPLACE "|" ";" sources "${SOURCES}")
string(REPLACE "|" ";" allowed "${ALLOWED}")
set(violations "")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" includes REGEX "^#include \"engine/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"engine/([^\"]*)\".*" "\\1" header "${line}")
    get_filename_component(folder "${header}" DIRECTORY)
    if(folder STREQUAL "")
      set(folder ".")
    endif()
    if(NOT folder IN_LIST allowed)
      string(APPEND violations "\n  ${source}: engine/${header}")
    endif()
  endforeach()
endforeach()
if(violations)
  message(FATAL_ERROR "Includes from a layer this library may not depend on (allowed: ${allowed}):${violations}")
endif()
file(TOUCH "${STAMP}")
