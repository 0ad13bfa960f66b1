# Packages: `cpack -G DEB` on Linux, `cpack -G DragNDrop` (a disk image with
# the application bundle) on macOS, both from a configured and built tree.
set(CPACK_PACKAGE_NAME quembrastella-switch)
set(CPACK_PACKAGE_VENDOR "The Quembrastella USB-C Switch developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "move a USB-C hub to the other computer with a gesture")
set(CPACK_PACKAGE_CONTACT
    "Quembrastella USB-C Switch maintainers <maintainers@users.noreply.c-seed-431c094a.example>")
if(APPLE)
  # Not stripped: stripping would break the bundle's seal (its signature),
  # and the bundle is small.
  set(CPACK_GENERATOR DragNDrop)
  set(CPACK_DMG_VOLUME_NAME "Quembrastella USB-C Switch")
  set(CPACK_PACKAGE_FILE_NAME "QuembrastellaSwitch-${PROJECT_VERSION}")
  # Only the bundle goes into the image, beside a link to /Applications.
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};bundle;/")
else()
  set(CPACK_GENERATOR DEB)
  # Installed files are stripped of symbols and debug information.
  set(CPACK_STRIP_FILES ON)
  # The package installs under /usr; the install rules see that prefix, with
  # the files staged under DESTDIR.
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_INSTALL_PREFIX /usr)
  set(CPACK_SET_DESTDIR ON)
  # quembrastella-switch_<version>_<arch>.deb
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "A USB-C switch is a USB hub wired to two computers. This tool moves the hub
(USB ID 2109:8822), with the keyboard and mouse on it, to the other computer
when the user taps Control twice or holds the left and the right mouse button
for one second. It lives in the tray, offers to start at every login and runs
one instance at a time; without a display it runs in the terminal.
.
The package ships a udev rule that gives the user at the seat access to the
hub. Reading the gestures needs membership of the input group.")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      ${PROJECT_SOURCE_DIR}/packaging/debian/postinst ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
