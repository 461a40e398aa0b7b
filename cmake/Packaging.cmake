# The Debian package kvphoto, made by `cpack -G DEB` in a release build folder from
# that folder's own binaries: the package holds exactly what the tests ran on.

set(KV_DEB_DIR ${CMAKE_SOURCE_DIR}/debian-pkg)
set(KV_DEB_MAINTAINER "Kelvor Photo Viewer developers <kvphoto@kelvor.example>")
set(KV_DEB_RELEASE 1)
set(KV_DEB_VERSION ${PROJECT_VERSION}-${KV_DEB_RELEASE})
set(KV_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/kvphoto)

# /usr/share/doc/kvphoto: copyright, the Debian changelog, the parallel port note.
configure_file(${KV_DEB_DIR}/changelog.Debian.in ${CMAKE_BINARY_DIR}/deb/changelog.Debian @ONLY)
kv_gzip(${CMAKE_BINARY_DIR}/deb/changelog.Debian ${CMAKE_BINARY_DIR}/deb/changelog.Debian.gz)
install(FILES ${KV_DEB_DIR}/copyright ${KV_DEB_DIR}/README.Debian
  ${CMAKE_BINARY_DIR}/deb/changelog.Debian.gz
  DESTINATION ${KV_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kvphoto)
set(CPACK_PACKAGE_VENDOR "Kelvor Photo Viewer developers")
set(CPACK_PACKAGE_CONTACT "${KV_DEB_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photo viewer and printing program for the Kelvor photo printer")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Kelvor Photo Viewer keeps pictures in albums, takes them in from files,
cameras and scanners, adjusts them and prints them on the Kelvor photo
printer on the parallel port, with its media calibration.

The package holds the windowed program kvphoto, the command-line tool
kvphoto-cli for the same albums, pictures and printing, and the printer
application kvphoto-printer-app, which offers the printer to every program
as an IPP Everywhere printer. Without a parallel port the programs print to
a virtual printer that writes the pages as image files.")
set(CPACK_DEBIAN_PACKAGE_NAME kvphoto)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KV_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KV_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The build's own prefix (/usr unless told otherwise), which the paths baked in at
# configure time (the user unit's ExecStart) already name.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

# Libraries from the binaries (dpkg-shlibdeps), plus what is only loaded at run
# time: Qt's platform plugins; SANE for scanning (without it: no scanner) and Qt's
# German texts for its own buttons ("Ja", "Abbrechen"; English without them).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The package's own liblptcore.so is opened by name, not linked; were it linked, it
# is found here and not asked of the system.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/src/shell)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsane1, qt6-translations-l10n")

# postinst: the note about the group lp.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${KV_DEB_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
