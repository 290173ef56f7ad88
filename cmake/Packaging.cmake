# Installation and the Debian package.
#
# The tree is laid out as the FHS expects: the programs in bin/, the
# preference tool in libexec/lumora-login/ (run by the programs only), the
# resources in share/lumora-login/. Bundle::locate() (platform/Bundle.cpp)
# finds them relative to bin/, so these folders are fixed, not taken from
# GNUInstallDirs, and an installation under any prefix runs from there.

set(LUMORA_APP_ID org.lumora.LumoraLogin)
set(LUMORA_RELEASE_DATE 2026-12-07)
set(LUMORA_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(LUMORA_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
set(LUMORA_DOC_DIR share/doc/lumora-login)

install(TARGETS lumora-login lumora-loginctl RUNTIME DESTINATION bin)
install(TARGETS lumora-defaults lumora-fileop lumora-image RUNTIME DESTINATION libexec/lumora-login)
# Info.plist, the drawn stock pictures and, once there are any, the
# translations; nothing else that may lie in the build's resources folder.
install(DIRECTORY ${LUMORA_RESOURCE_DIR}/ DESTINATION share/lumora-login
        FILES_MATCHING PATTERN "*.plist" PATTERN "*.tif" PATTERN "*.jpg" PATTERN "*.qm")

# Manual pages: the version and date filled in, then gzipped as Debian wants.
set(man_pages)
foreach(page lumora-login lumora-loginctl lumora-defaults)
  configure_file(${LUMORA_PACKAGING_DIR}/man/${page}.1.in ${LUMORA_PACKAGING_OUT}/man/${page}.1 @ONLY)
  add_custom_command(
    OUTPUT ${LUMORA_PACKAGING_OUT}/man/${page}.1.gz
    COMMAND gzip -9nc ${page}.1 > ${page}.1.gz
    DEPENDS ${LUMORA_PACKAGING_OUT}/man/${page}.1
    WORKING_DIRECTORY ${LUMORA_PACKAGING_OUT}/man
    VERBATIM)
  list(APPEND man_pages ${LUMORA_PACKAGING_OUT}/man/${page}.1.gz)
endforeach()

add_custom_command(
  OUTPUT ${LUMORA_PACKAGING_OUT}/changelog.gz
  COMMAND gzip -9nc ${LUMORA_PACKAGING_DIR}/changelog > ${LUMORA_PACKAGING_OUT}/changelog.gz
  DEPENDS ${LUMORA_PACKAGING_DIR}/changelog
  VERBATIM)

# The icon's bitmap sizes, drawn from the SVG at build time.
set(icon_sizes 16 24 32 48 64 128 256)
set(icons)
find_program(LUMORA_RSVG_CONVERT rsvg-convert)
if(LUMORA_RSVG_CONVERT)
  foreach(size ${icon_sizes})
    set(png ${LUMORA_PACKAGING_OUT}/icons/${size}x${size}/${LUMORA_APP_ID}.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${LUMORA_PACKAGING_OUT}/icons/${size}x${size}
      COMMAND ${LUMORA_RSVG_CONVERT} --width=${size} --height=${size} --output=${png}
              ${LUMORA_PACKAGING_DIR}/lumora-login.svg
      DEPENDS ${LUMORA_PACKAGING_DIR}/lumora-login.svg
      VERBATIM)
    list(APPEND icons ${png})
    install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endforeach()
else()
  message(WARNING "rsvg-convert (Debian package librsvg2-bin) is missing: the icon is installed only as SVG")
endif()

add_custom_target(packaging-files ALL DEPENDS ${man_pages} ${LUMORA_PACKAGING_OUT}/changelog.gz ${icons})

install(FILES ${man_pages} DESTINATION share/man/man1)
install(FILES ${LUMORA_PACKAGING_DIR}/lumora-login.svg
        DESTINATION share/icons/hicolor/scalable/apps RENAME ${LUMORA_APP_ID}.svg)
install(FILES ${LUMORA_PACKAGING_DIR}/${LUMORA_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${LUMORA_PACKAGING_DIR}/${LUMORA_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${LUMORA_PACKAGING_DIR}/lumora-loginctl.bash-completion
        DESTINATION share/bash-completion/completions RENAME lumora-loginctl)
install(FILES ${LUMORA_PACKAGING_DIR}/copyright ${LUMORA_PACKAGING_OUT}/changelog.gz DESTINATION ${LUMORA_DOC_DIR})

if(LUMORA_BUILD_TESTS)
  # The pages and the completion against the programs' own --help.
  add_test(NAME packaging_manpages
           COMMAND ${CMAKE_SOURCE_DIR}/tests/packaging/manpages-test.sh ${LUMORA_PACKAGING_OUT}/man
                   ${CMAKE_BINARY_DIR}/bin ${LUMORA_PACKAGING_DIR}/lumora-loginctl.bash-completion)
  add_test(NAME packaging_completion
           COMMAND ${CMAKE_SOURCE_DIR}/tests/packaging/completion-test.sh
                   ${LUMORA_PACKAGING_DIR}/lumora-loginctl.bash-completion)
  set_tests_properties(packaging_manpages PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS packaging)
  set_tests_properties(packaging_completion PROPERTIES LABELS packaging)
endif()

# The Debian package (scripts/package.sh). Dependencies on libraries come
# from dpkg-shlibdeps; the rest are run or loaded at run time: sudo for
# administrator rights, curl for the update check, the fonts the stock
# pictures are drawn with, Qt's TIFF plugin, and for disk images the
# libguestfs appliance with its HFS+ driver, qemu-img and FUSE.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumora-login)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Lumora Login developers")
set(CPACK_PACKAGE_CONTACT "Lumora Login developers <maintainers@lumora-login.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "edit how the login window of a Mac OS X volume looks")
# The summary above is the synopsis line; this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Lumora Login edits the logo, title image, background picture, message text
and host-information line of the login window of a Mac OS X 10.3 or 10.4
system volume mounted on this machine or inside a disk image. Saving writes the login window's own
preferences and images with administrator rights obtained once, keeping a
backup of each stock image; Restore Default Look brings the stock look back.
.
lumora-loginctl does the same from the command line, for scripts and for
looking after many machines.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://lumora-login.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "sudo, curl, fonts-dejavu-core, qt6-image-formats-plugins, qt6-translations-l10n, libguestfs-hfsplus, qemu-utils, fuse3")
# Looked up at run time for fast SHA-256 of large pictures; Qt's is used without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libssl3")
set(CPACK_STRIP_FILES ON)
# Debian wants 0755 folders whatever the umask of whoever builds.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
