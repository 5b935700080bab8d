# build/desktop/ holds the desktop programs as they are installed: beside the
# watchdog, its language file and sound, and the control library (here the
# stand-in). Hard links, renewed at every build, since the linker replaces a
# program rather than rewriting it.
set(desktop_folder_files
  $<TARGET_FILE:tesselwatchdogapplication>
  $<TARGET_FILE:ZentraSw>
  $<TARGET_FILE:tlxuvc>
  "${TESSEL_RUNTIME_DIR}/Brivara Tessel.xml"
  "${TESSEL_RUNTIME_DIR}/BrivaraDriver_Fedora.xml"
  "${TESSEL_RUNTIME_DIR}/ding.wav"
)
set(desktop_folder_commands COMMAND ${CMAKE_COMMAND} -E make_directory ${TESSEL_DESKTOP_DIR})
foreach(file IN LISTS desktop_folder_files)
  list(APPEND desktop_folder_commands
    COMMAND ${CMAKE_COMMAND} -DORIGINAL=${file} -DDESTINATION=${TESSEL_DESKTOP_DIR}
            -P ${CMAKE_CURRENT_LIST_DIR}/LinkFile.cmake)
endforeach()
add_custom_target(tessel_desktop_folder ALL ${desktop_folder_commands} VERBATIM)
add_dependencies(tessel_desktop_folder tesselwatchdogapplication ZentraSw tlxuvc)
