# A Debian package of the install tree: `cpack` in a build folder (see
# scripts/package) writes brevan_<version>_<arch>.deb there.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brevan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(BREVAN_PACKAGE_MAINTAINER "Brevan developers <brevan-devel@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${BREVAN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert a TV listing database into an XMLTV guide")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Brevan reads the programme listings that a German TV guide product keeps\n"
  "in an Access database (tvdaten.mdb) and writes an XMLTV guide,\n"
  "tvdata.xml, for HTPC front ends. It can run the guide product's updater\n"
  "first and wait for it.\n"
  "\n"
  "Two small windows edit the paths and start a run. The switches /W and /U\n"
  "convert, or update and convert, without a window: for cron, or for the\n"
  "nightly systemd user timer that the package includes.\n"
  "\n"
  "tv_grab_de_brevan is the same conversion as an XMLTV grabber, for\n"
  "tvheadend, MythTV and the XMLTV tools.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is computed from the programs' shared libraries (libmdb, Qt 6,
# pugixml, ICU, ...), so it follows whatever the build links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialog texts in the user's language; Wayland without XWayland;
# Wine for a Windows updater.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wine")
set(CPACK_STRIP_FILES ON)
# The package installs where the build's prefix says (scripts/package builds
# for /usr): the program runs its reader from <prefix>/libexec/brevan, a path
# fixed when it is built.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
