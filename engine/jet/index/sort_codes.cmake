# The text sort-code tables of Jet indexes, generated at build time.
#
# The code tables themselves (from Jackcess, Apache License 2.0) stay outside the project in
# JET_SORT_CODES_DIR; a small host program, gen_sort_codes, turns them into a compact C++
# source in the build folder, which is compiled into archivi_jet_index. Included by
# engine/jet/CMakeLists.txt before the index library is created: appends to ENGINE_GENERATED_SOURCES.
# The codes' meaning and the key they make: engine/jet/FORMAT.md, "Text index keys".

# General (Legacy) of Jet 4 files, and Access 97's General of Jet 3 files (its codes stop at
# U+00FF; a few units above take a code of a unit below through the mappings file).
set(JET_SORT_CODE_FILES
  ${JET_SORT_CODES_DIR}/index_codes_genleg.txt
  ${JET_SORT_CODES_DIR}/index_codes_ext_genleg.txt
  ${JET_SORT_CODES_DIR}/index_codes_gen_97.txt
  ${JET_SORT_CODES_DIR}/index_mappings_ext_gen_97.txt)
foreach(sort_code_file ${JET_SORT_CODE_FILES})
  if(NOT EXISTS ${sort_code_file})
    message(FATAL_ERROR "Jet sort-code table missing: ${sort_code_file}\n"
                        "Set JET_SORT_CODES_DIR to the folder holding the index_codes_*.txt files.")
  endif()
endforeach()

add_executable(gen_sort_codes ${PROJECT_SOURCE_DIR}/tools/gen_sort_codes/gen_sort_codes.cpp)
archivi_layer(gen_sort_codes tools/gen_sort_codes)  # it builds on nothing of the project

set(JET_SORT_CODES_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/jet/sort_codes_generated.cpp)
add_custom_command(
  OUTPUT ${JET_SORT_CODES_SOURCE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/jet
  COMMAND gen_sort_codes ${JET_SORT_CODES_SOURCE}
          GeneralLegacy ${JET_SORT_CODES_DIR}/index_codes_genleg.txt ${JET_SORT_CODES_DIR}/index_codes_ext_genleg.txt
          General97 ${JET_SORT_CODES_DIR}/index_codes_gen_97.txt
          --mappings ${JET_SORT_CODES_DIR}/index_mappings_ext_gen_97.txt
  DEPENDS gen_sort_codes ${JET_SORT_CODE_FILES}
  COMMENT "Generating the Jet text sort-code table from ${JET_SORT_CODES_DIR}"
  VERBATIM)
list(APPEND ENGINE_GENERATED_SOURCES ${JET_SORT_CODES_SOURCE})
