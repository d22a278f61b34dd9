# Windows packages of Tavrin: a ZIP of the program and a per-user NSIS
# installer, both made by CPack from the cross build:
#
#   cmake --preset windows && cmake --build --preset windows
#   cpack --config build/windows/CPackConfig.cmake -B build/windows/packages
#
# makensis (Debian's nsis package) builds the installer on Linux. The
# installer script is our own template, packaging/NSIS.template.in: CPack's
# stock one asks for administrator rights and writes to HKLM, and Tavrin
# installs for one user without elevation.

install(TARGETS Tavrin Extension
  RUNTIME DESTINATION .
  # Nothing links against Extension.dll but Tavrin.exe: its import library
  # stays out of the packages.
  ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME Tavrin)
set(CPACK_PACKAGE_VENDOR Tavrin)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lets the Quillo phone app drive this computer's mouse and keyboard")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Tavrin)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Tavrin)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_GENERATOR ZIP NSIS)
# The programs are stripped when they are linked. CPack's own strip runs once
# per package and stamps each copy with the time it ran, so the ZIP and the
# installer could hold different bytes of the same program.
set(CPACK_STRIP_FILES OFF)
# One package with everything; the installer has no component page.
set(CPACK_MONOLITHIC_INSTALL ON)

# CPack looks for NSIS.template.in here before its own.
set(CPACK_MODULE_PATH ${PROJECT_SOURCE_DIR}/packaging)
set(CPACK_NSIS_PACKAGE_NAME Tavrin)
set(CPACK_NSIS_DISPLAY_NAME Tavrin)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/app/res/Tavrin.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/app/res/Tavrin.ico)

# Empty: unsigned. scripts/package.sh sets it to the command that signs a
# file (scripts/sign.sh with a certificate) for the installer's !finalize.
set(CPACK_TAVRIN_SIGN "")

include(CPack)
