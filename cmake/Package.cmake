# `cpack -G DEB` in a desktop build folder makes a Debian package of what `cmake --install` lays
# out, under /usr, with the shared libraries it needs declared by dpkg-shlibdeps.
install(FILES ${PROJECT_SOURCE_DIR}/resources/org.brumelo.Brumelo.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brumelo)
set(CPACK_PACKAGE_VENDOR Brumelo)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Wipe the steam off a window and watch the droplets run")
set(CPACK_PACKAGE_DESCRIPTION
  "Brumelo turns the screen into a steamed-up window: wipe the steam away to see the picture
behind it, watch droplets merge and run, blow into the microphone to steam it up again.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Brumelo developers <brumelo@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What it loads at run time rather than links: the GL driver, the text's font, the file chooser
# and the opener of mail and pictures.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libegl-mesa0, libgl1-mesa-dri, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zenity, xdg-utils")
include(CPack)
