# "make package": a Debian package of the installed files, built by CPack from the release build into build/.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_CONTACT "Velmora <kontakt@velmora.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "scale JPEG photos in batches and caption them for publishing")
# The extended description; CPack puts the summary line above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Velmora prepares batches of photographs for publishing: every ticked JPEG of a
folder is scaled so that its longer side fits a limit, optionally stamped with
a caption near its lower left corner, and written under a new name, keeping
its EXIF, IPTC and comment on request. Its interface is Polish.

The package holds the window program velmora and the command-line front end
velmora-batch.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://velmora.app)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Libraries from dpkg-shlibdeps; besides them the caption's default font metrics (Times New Roman's and
# Arial's), Qt's own dialogs in Polish and the CMYK profile read for a CMYK picture without one.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, qt6-translations-l10n, libgs-common")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
include(CPack)
