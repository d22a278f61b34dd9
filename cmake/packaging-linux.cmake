# The Debian package of tavrin, made by CPack from the native build:
#
#   cmake --preset native && cmake --build build/native
#   cpack --config build/native/CPackConfig.cmake -B build/native/packages
#
# It holds the program, its menu entry and its icon; dpkg-shlibdeps finds the
# libraries it needs (X11, XTest, Qt 6).

install(TARGETS tavrin RUNTIME DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/linux/tavrin.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/app/res/tavrin.svg DESTINATION share/icons/hicolor/scalable/apps)

set(CPACK_PACKAGE_NAME tavrin)
set(CPACK_PACKAGE_VENDOR Tavrin)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lets the Quillo phone app drive this computer's mouse and keyboard")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tavrin <tavrin@localhost>")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Lets the Quillo phone app drive this computer's mouse and keyboard\n"
  "Tavrin serves the Quillo phone app on the local network: the phone acts as\n"
  "mouse, keyboard and remote control of an X11 desktop.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its X11 platform plugin at run time: no library names it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# xdg-open opens the links of phone messages.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
