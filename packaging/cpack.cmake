# Packages: `cpack -G DEB` on Linux, `cpack -G DragNDrop` (a disk image with
# the application bundle) on macOS, both from a configured and built tree.
set(CPACK_PACKAGE_NAME quembrastella-switch)
set(CPACK_PACKAGE_VENDOR "The Quembrastella USB-C Switch authors")
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
  # The package fits the release it is built on: its dependencies are that
  # release's library packages (Qt's are named differently on Debian 12 and
  # 13), so its version names the release, as Debian's own updates of a
  # native package do (0.1+deb13), and a newer release's package is the newer
  # one: quembrastella-switch_<version>+<release>_<arch>.deb.
  set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
  if(EXISTS /etc/os-release)
    file(STRINGS /etc/os-release _qs_os REGEX "^(ID|VERSION_ID)=")
    set(_qs_id "")
    set(_qs_version "")
    foreach(_qs_line IN LISTS _qs_os)
      if(_qs_line MATCHES "^ID=\"?([a-z0-9.+-]+)")
        set(_qs_id ${CMAKE_MATCH_1})
      elseif(_qs_line MATCHES "^VERSION_ID=\"?([0-9.]+)")
        set(_qs_version ${CMAKE_MATCH_1})
      endif()
    endforeach()
    if(_qs_id STREQUAL "debian" AND _qs_version)
      set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}+deb${_qs_version}")
    elseif(_qs_id AND _qs_version)
      set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}+${_qs_id}${_qs_version}")
    endif()
  endif()
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Recommended, so installed by default yet left out by choice: Qt's Wayland
  # platform plugin, without which a Wayland session without Xwayland shows
  # no tray and no windows (the tool says so and runs on, on X11 it is not
  # needed); and the hicolor theme's index, without which no panel finds the
  # icon by its name (the tool then hands over the picture).
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev, qt6-wayland, hicolor-icon-theme")
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
