# The include check (cmake/check_includes.cmake) on made-up layers. Each case: the layer's
# folder, the folders of the layers it names, the headers one of its files includes (",")
# and what the check says: "" when it passes, else a part of its failure message.
#   CHECKER   cmake/check_includes.cmake
#   WORK_DIR  a scratch folder
set(cases
  "own folder and named layers|archives|engine,engine/open|archives/handlers.h,engine/value.h,engine/open/open_database.h|"
  "system headers and headers without a folder are not checked|engine/jet/format|engine|engine/error.h,moc_form1.cpp|"
  "archives includes the import above it|archives|engine,engine/open|engine/value.h,engine/open/open_database.h,import/import_run.h|import/import_run.h"
  "import includes the window|import|engine,archives|archives/handlers.h,engine/value.h,app/form1.h|app/form1.h"
  "a tool includes the window|tools/archivi|engine,import|engine/value.h,import/import_run.h,app/form1.h|app/form1.h"
  "an engine layer includes one above it|engine/jet/page|engine,engine/jet/format|engine/jet/format/format.h,engine/value.h,engine/jet/table/table_writer.h|engine/jet/table/table_writer.h"
  "an engine layer includes one below that it does not name|engine/jet/table|engine,engine/jet/index|engine/value.h,engine/jet/index/index_tree.h,engine/jet/page/data_page.h|engine/jet/page/data_page.h"
  "a named layer never included|import|engine,archives|engine/value.h|names layers its files never include: archives")

set(failures "")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 name)
  list(GET fields 1 own)
  list(GET fields 2 declared)
  list(GET fields 3 headers)
  list(LENGTH fields field_count)
  set(expected "")
  if(field_count GREATER 4)
    list(GET fields 4 expected)
  endif()

  set(source ${WORK_DIR}/layer.cpp)
  set(text "#include <vector>\n")
  string(REPLACE "," ";" headers "${headers}")
  foreach(header IN LISTS headers)
    string(APPEND text "#include \"${header}\"\n")
  endforeach()
  file(WRITE ${source} "${text}")
  string(REPLACE "," "|" declared "${declared}")
  file(REMOVE ${WORK_DIR}/stamp)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DSOURCES=${source} -DOWN=${own} -DDECLARED=${declared} -DSTAMP=${WORK_DIR}/stamp
            -P ${CHECKER}
    RESULT_VARIABLE result ERROR_VARIABLE message OUTPUT_QUIET)
  string(REGEX REPLACE "[ \n]+" " " message "${message}")
  if(expected STREQUAL "")
    if(NOT result EQUAL 0 OR NOT EXISTS ${WORK_DIR}/stamp)
      string(APPEND failures "\n  ${name}: refused (${message})")
    endif()
  elseif(result EQUAL 0 OR EXISTS ${WORK_DIR}/stamp)
    string(APPEND failures "\n  ${name}: passed")
  else()
    string(FIND "${message}" "${expected}" at)
    if(at EQUAL -1)
      string(APPEND failures "\n  ${name}: refused without naming \"${expected}\" (${message})")
    endif()
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "The include check got these wrong:${failures}")
endif()
