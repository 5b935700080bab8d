# tessel_install_configured(<template> <destination folder> <file name>)
#
# Installs a file that names installed paths (a systemd unit, a desktop
# entry): it is configured at install time, for the prefix in force then
# (cpack installs into /usr), and written straight into the destination,
# never into the build tree, which may belong to another user than the one
# who installs. The template sees @TESSEL_INSTALL_PROGRAMDIR@ and
# @TESSEL_INSTALL_DOCDIR@ as the installed folders.
function(tessel_install_configured template destination name)
  install(CODE "
    set(TESSEL_INSTALL_PROGRAMDIR \"\${CMAKE_INSTALL_PREFIX}/${TESSEL_INSTALL_PROGRAMDIR_RELATIVE}\")
    set(TESSEL_INSTALL_DOCDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DOCDIR}\")
    set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/${name}\")
    message(STATUS \"Installing: \${file}\")
    configure_file(\"${template}\" \"\${file}\" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${file}\")
  ")
endfunction()

# tessel_install_autostart(<template> <file name>)
#
# An XDG autostart entry: in /etc/xdg/autostart when installed into /usr
# (the packages), else in etc/xdg/autostart below the prefix, so that an
# install into a folder of one's own never writes into /etc.
function(tessel_install_autostart template name)
  install(CODE "
    set(TESSEL_INSTALL_PROGRAMDIR \"\${CMAKE_INSTALL_PREFIX}/${TESSEL_INSTALL_PROGRAMDIR_RELATIVE}\")
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
      set(folder /etc/xdg/autostart)
    else()
      set(folder \"\${CMAKE_INSTALL_PREFIX}/etc/xdg/autostart\")
    endif()
    set(file \"\$ENV{DESTDIR}\${folder}/${name}\")
    message(STATUS \"Installing: \${file}\")
    configure_file(\"${template}\" \"\${file}\" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${file}\")
  ")
endfunction()
