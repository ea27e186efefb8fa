# Installs the build into a temporary folder and checks what lands there:
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DSYSTEM_PREFIX=... -P install_layout_test.cmake
# First to a plain prefix: the program's folder with its menu entry and icons under it, and
# a price list that a second install keeps. Then staged (DESTDIR) to the system's place, as
# the Debian package is built: menu entry and icons in /usr/share, no price list.
# Every failed check is reported (SEND_ERROR), which makes the script fail.
cmake_minimum_required(VERSION 3.22)
file(REMOVE_RECURSE "${WORK_DIR}")

function(install_to prefix)
  execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}"
                  RESULT_VARIABLE failed OUTPUT_QUIET ERROR_VARIABLE errors)
  if(failed)
    message(FATAL_ERROR "install to ${prefix} failed: ${errors}")
  endif()
endfunction()

# A PNG's width and height, from its header.
function(png_size file out)
  file(READ "${file}" header OFFSET 16 LIMIT 8 HEX)
  string(SUBSTRING "${header}" 0 8 width)
  string(SUBSTRING "${header}" 8 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  set(${out} "${width}x${height}" PARENT_SCOPE)
endfunction()

# One layout: the program folder, where the menu entry and the icons go, the Icon= line.
function(check_layout root program_folder share icon)
  foreach(program importazione-archivi archivi)
    if(NOT EXISTS "${root}${program_folder}/${program}")
      message(SEND_ERROR "missing program ${program_folder}/${program}")
    endif()
  endforeach()
  foreach(size 32 128)
    set(png "${root}${share}/icons/hicolor/${size}x${size}/apps/importazione-archivi.png")
    if(NOT EXISTS "${png}")
      message(SEND_ERROR "missing icon ${png}")
      continue()
    endif()
    png_size("${png}" found)
    if(NOT found STREQUAL "${size}x${size}")
      message(SEND_ERROR "${png} is ${found}")
    endif()
  endforeach()
  set(entry "${root}${share}/applications/importazione-archivi.desktop")
  if(NOT EXISTS "${entry}")
    message(SEND_ERROR "missing menu entry ${entry}")
    return()
  endif()
  file(STRINGS "${entry}" lines)
  foreach(line "Name=Importazione archivi" "Exec=\"${program_folder}/importazione-archivi\"" "Icon=${icon}"
               "Categories=Office;")
    if(NOT line IN_LIST lines)
      message(SEND_ERROR "${entry} lacks the line ${line}")
    endif()
  endforeach()
endfunction()

set(prefix "${WORK_DIR}/program")
install_to("${prefix}")
check_layout("" "${prefix}" "${prefix}/share" "${prefix}/share/icons/hicolor/128x128/apps/importazione-archivi.png")
if(NOT EXISTS "${prefix}/listini.mdb")
  message(SEND_ERROR "no price list made at install")
endif()
# The shop's price list survives a second install untouched.
file(WRITE "${prefix}/listini.mdb" "the shop's articles")
install_to("${prefix}")
file(READ "${prefix}/listini.mdb" kept)
if(NOT kept STREQUAL "the shop's articles")
  message(SEND_ERROR "a second install replaced the price list")
endif()

set(stage "${WORK_DIR}/stage")
set(ENV{DESTDIR} "${stage}")
install_to("${SYSTEM_PREFIX}")
unset(ENV{DESTDIR})
check_layout("${stage}" "${SYSTEM_PREFIX}" "/usr/share" "importazione-archivi")
if(EXISTS "${stage}${SYSTEM_PREFIX}/listini.mdb")
  message(SEND_ERROR "a staged install made a price list")
endif()
