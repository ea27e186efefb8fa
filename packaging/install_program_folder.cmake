# Runs at install time, once the two programs are in the program folder (the install
# prefix): puts the menu entry, the icon files, the software-centre entry and the copyright
# and changelog in place and makes an empty price list beside the program when none is
# there. Set by the install rules: ARCHIVI_SYSTEM_PREFIX, ARCHIVI_DESKTOP_TEMPLATE,
# ARCHIVI_METAINFO, ARCHIVI_ICON_DIR, ARCHIVI_STAGING_DIR (which holds the copyright and
# changelog with the maintainer filled in).
#
# Installed to the system's place for the program (ARCHIVI_SYSTEM_PREFIX, which is where
# the Debian package puts it), the menu entry, the icons and the rest go where the desktop
# and Debian look for them, /usr/share; to any other prefix they stay inside it, under
# PREFIX/share.
set(program_folder "${CMAKE_INSTALL_PREFIX}")
if(program_folder STREQUAL ARCHIVI_SYSTEM_PREFIX)
  set(share "/usr/share")
  set(icon "importazione-archivi")
else()
  set(share "${program_folder}/share")
  set(icon "${share}/icons/hicolor/128x128/apps/importazione-archivi.png")
endif()

file(INSTALL "${ARCHIVI_ICON_DIR}/" DESTINATION "${share}/icons/hicolor")
set(program "${program_folder}/importazione-archivi")
configure_file("${ARCHIVI_DESKTOP_TEMPLATE}" "${ARCHIVI_STAGING_DIR}/importazione-archivi.desktop" @ONLY)
file(INSTALL "${ARCHIVI_STAGING_DIR}/importazione-archivi.desktop" DESTINATION "${share}/applications")
file(INSTALL "${ARCHIVI_METAINFO}" DESTINATION "${share}/metainfo")

# Debian's policy: the changelog compressed at the highest level, with no name or time in
# the compressed file's header, so that the same source makes the same package.
set(changelog "${ARCHIVI_STAGING_DIR}/changelog.gz")
execute_process(COMMAND gzip -9 -n -c "${ARCHIVI_STAGING_DIR}/changelog" OUTPUT_FILE "${changelog}"
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "Could not compress ${ARCHIVI_STAGING_DIR}/changelog")
endif()
file(INSTALL "${ARCHIVI_STAGING_DIR}/copyright" "${changelog}" DESTINATION "${share}/doc/importazione-archivi"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# The price list is the shop's data: an existing one is never touched. A staged install
# (DESTDIR, as when the package is built) makes none; the package makes it when installed.
set(price_list "${program_folder}/listini.mdb")
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  message(STATUS "Staged install: the price list is made where the program is finally installed")
elseif(EXISTS "${price_list}")
  message(STATUS "Kept the existing price list: ${price_list}")
else()
  execute_process(COMMAND "${program_folder}/archivi" create "${price_list}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "Could not create the price list ${price_list}")
  endif()
  message(STATUS "Created an empty price list: ${price_list}")
endif()
