# The Debian package: `cpack -G DEB` in a build folder (scripts/package).
# It holds what the install rules install, into /usr; its run-time
# dependencies come from the built program through dpkg-shlibdeps.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TESSEL_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brivara")
set(CPACK_PACKAGE_CONTACT "Tessel software team <tessel-software@brivara.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "background service for the Brivara Tessel document camera")
set(CPACK_PACKAGE_DESCRIPTION
  "The Tessel watchdog runs in each graphical session. It reads the buttons of
the Brivara Tessel USB document camera, serves the Tessel viewer, adds its
menu item and buttons to the camera driver's tray program, and follows the
camera as it is plugged in and out.
.
The package also installs a udev rule that gives the user at the seat access
to the camera, and enables the watchdog's systemd user unit for every
graphical session.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build.*/;/\\\\.git/")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see it: QApplication needs a
# platform plugin (xcb, wayland) to start at all.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The viewer's camera pipeline (Qt Multimedia's GStreamer backend: v4l2src, videoconvert) and its SVG icon.
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", gstreamer1.0-plugins-good, gstreamer1.0-plugins-base, libqt6svg6")
# For "uaccess": logind applies the tag at the seat.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
  ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# What Debian asks of every package: its copyright and a compressed
# changelog in the documentation folder.
set(changelog "${CMAKE_BINARY_DIR}/packaging/changelog")
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/changelog.in ${changelog} @ONLY)
add_custom_command(OUTPUT "${changelog}.gz"
  COMMAND sh -c "gzip -9 -n -c \"$1\" > \"$1.gz\"" gzip "${changelog}"
  DEPENDS "${changelog}"
  VERBATIM)
add_custom_target(tessel_changelog ALL DEPENDS "${changelog}.gz")
install(FILES "${changelog}.gz" ${CMAKE_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)
