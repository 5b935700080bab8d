# The packages: `cpack -G DEB` (Debian and derivatives) and `cpack -G RPM`
# (Fedora and its kin) in a build folder (scripts/package). Both hold what
# the install rules install, into /usr, so they hold the same files; their
# run-time dependencies come from the built programs (dpkg-shlibdeps, and
# rpmbuild's own ELF dependency generator).

set(CPACK_GENERATOR DEB RPM)
set(CPACK_PACKAGE_NAME ${TESSEL_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brivara")
set(CPACK_PACKAGE_CONTACT "Tessel software team <tessel-software@brivara.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop programs for the Brivara Tessel document camera")
# Paragraphs as RPM writes them; the Debian form follows below.
set(tessel_description_paragraphs
  "The Tessel watchdog runs in each graphical session. It reads the buttons of
the Brivara Tessel USB document camera, serves the Tessel viewer, adds its
menu item and buttons to the camera driver's tray program, and follows the
camera as it is plugged in and out."
  "The tray program brivaradriver, started with every graphical session, shows
that menu item in the system tray and the camera's buttons in a small panel.
It serves the driver's channel, a socket in the user's runtime folder,
and needs no privilege."
  "The command tessel-scan turns photos of pages into one searchable PDF: it
finds each page, straightens and cleans it, and recognises its text with
Tesseract (English, and the user's language where its OCR data is
installed)."
  "The package also installs a udev rule that gives the user at the seat access
to the camera, and enables the systemd user units of the watchdog and of the
tray program for every graphical session, and XDG autostart entries for
desktops without a systemd graphical session.")
list(JOIN tessel_description_paragraphs "\n\n" CPACK_RPM_PACKAGE_DESCRIPTION)
list(JOIN tessel_description_paragraphs "\n.\n" CPACK_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Where the packages put the programs: the install rules' folder below that
# prefix. The maintainer scripts and the RPM's file list name it from here.
set(TESSEL_PACKAGED_PROGRAMDIR "${CPACK_PACKAGING_INSTALL_PREFIX}/${TESSEL_INSTALL_PROGRAMDIR_RELATIVE}")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build.*/;/\\\\.git/")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see it: QApplication needs a
# platform plugin (xcb, wayland) to start at all.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Loaded at run time by the viewer's camera pipeline: v4l2src (-good) and
# appsink's plugin (-base); and its SVG icon. libgstreamer, libgstapp and
# libturbojpeg are linked, so dpkg-shlibdeps finds them.
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", gstreamer1.0-plugins-good, gstreamer1.0-plugins-base, libqt6svg6")
# The scan engine's OCR data (dpkg-shlibdeps finds libtesseract and OpenCV
# but not the data files they read): English always, and the languages of
# the programs' language file where the user wants them.
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", tesseract-ocr-eng")
# Tesseract's names for the other 18 languages of "Brivara Tessel.xml",
# with Debian's and Fedora's spelling of the package names.
set(TESSEL_OCR_LANGUAGES dan nld fra hun ita nor pol por rus swe ara jpn fin deu spa chi_sim chi_tra cat)
list(TRANSFORM TESSEL_OCR_LANGUAGES REPLACE "_" "-" OUTPUT_VARIABLE ocr_debian)
list(TRANSFORM ocr_debian PREPEND "tesseract-ocr-")
list(JOIN ocr_debian ", " ocr_debian)
list(TRANSFORM TESSEL_OCR_LANGUAGES PREPEND "tesseract-langpack-" OUTPUT_VARIABLE ocr_fedora)
list(JOIN ocr_fedora ", " ocr_fedora)
# For "uaccess": logind applies the tag at the seat.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd, ${ocr_debian}")
configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/postinst.in ${CMAKE_BINARY_DIR}/packaging/postinst @ONLY)
# The autostart entries lie in /etc: a local change to them is the admin's.
set(tessel_autostart_entries /etc/xdg/autostart/tesselwatchdog.desktop /etc/xdg/autostart/brivaradriver.desktop)
list(JOIN tessel_autostart_entries "\n" tessel_conffiles)
file(WRITE ${CMAKE_BINARY_DIR}/packaging/conffiles "${tessel_conffiles}\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_BINARY_DIR}/packaging/postinst
  ${CMAKE_SOURCE_DIR}/packaging/debian/postrm
  ${CMAKE_BINARY_DIR}/packaging/conffiles)
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

# The RPM: the same files, for Fedora-like systems.
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE 1)
set(CPACK_RPM_PACKAGE_LICENSE "LicenseRef-Brivara-Proprietary")
set(CPACK_RPM_PACKAGE_URL "https://www.brivara.com/tessel")
# Loaded at run time, so the dependency generator cannot see them: Qt's
# platform plugins (xcb, wayland), the GStreamer plugins of the viewer's
# camera pipeline, Qt's SVG image plugin for the icons, and udev for the
# camera's rule.
set(CPACK_RPM_PACKAGE_REQUIRES
  "qt6-qtbase-gui, qt6-qtsvg, gstreamer1-plugins-good, gstreamer1-plugins-base, systemd-udev, tesseract-langpack-eng")
set(CPACK_RPM_CHANGELOG_FILE ${CMAKE_SOURCE_DIR}/packaging/rpm/changelog)
set(CPACK_RPM_POST_INSTALL_SCRIPT_FILE ${CMAKE_SOURCE_DIR}/packaging/rpm/post)
set(CPACK_RPM_PRE_UNINSTALL_SCRIPT_FILE ${CMAKE_SOURCE_DIR}/packaging/rpm/preun)
set(CPACK_RPM_POST_UNINSTALL_SCRIPT_FILE ${CMAKE_SOURCE_DIR}/packaging/rpm/postun)
# No program carries a file capability. The autostart entries are the
# admin's to change.
list(TRANSFORM tessel_autostart_entries PREPEND "%config(noreplace) " OUTPUT_VARIABLE CPACK_RPM_USER_FILELIST)
# Folders that the system's own packages own; the package owns only its own.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
  /etc /etc/xdg /etc/xdg/autostart
  /usr/libexec
  /usr/lib/udev /usr/lib/udev/rules.d
  /usr/lib/systemd /usr/lib/systemd/user /usr/lib/systemd/user-preset
  /usr/share/applications /usr/share/metainfo /usr/share/man /usr/share/man/man1
  /usr/share/icons /usr/share/icons/hicolor /usr/share/icons/hicolor/scalable
  /usr/share/icons/hicolor/scalable/apps)
set(CPACK_RPM_DEBUGINFO_PACKAGE OFF)
# The .deb has no build-id links either; the packager is whom to ask.
# CPack has stripped what is to be stripped: rpmbuild's own pass would also
# strip the padded updater and so move where an appended image starts.
# CMake 3.25's CPack has no field for weak dependencies beyond Suggests;
# these lines land in the preamble of rpmbuild's recipe, where Recommends belongs.
set(CPACK_RPM_SPEC_MORE_DEFINE "%define _build_id_links none
%define packager ${CPACK_PACKAGE_CONTACT}
%define __os_install_post %{nil}
Recommends: ${ocr_fedora}")

include(CPack)
