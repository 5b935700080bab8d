# The watchdog: its core library (everything but main, so that tests link it)
# and the program.
add_library(tessel_core STATIC
  app/ConfigurationSettings.cpp
  app/WatchDogController.cpp
  camera/CameraCommunicationClass.cpp
  camera/USBCameraHandler.cpp
  commands/CameraCommand.cpp
  commands/CommandDispatchThread.cpp
  commands/CommandQueue.cpp
  protocol/SocketConnection.cpp
  config/UserInterfaceController.cpp
  config/XmlDocument.cpp
  driverapi/APIClient.cpp
  driverapi/APIEventHandler.cpp
  server/ManageWatchDogServer.cpp
  server/WDServer.cpp
)
target_include_directories(tessel_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tessel_core PUBLIC tessel_protocol tessel_channel tessel_platform
  Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Xml)
if(NOT WIN32)
  # The Linux backend's resume watcher.
  target_link_libraries(tessel_core PUBLIC Qt6::DBus)
endif()
tessel_strict_warnings(tessel_core)

add_executable(tesselwatchdogapplication app/main.cpp)
target_link_libraries(tesselwatchdogapplication PRIVATE tessel_core)
if(NOT WIN32)
  target_link_libraries(tesselwatchdogapplication PRIVATE tessel_qt_sound)
endif()
tessel_strict_warnings(tesselwatchdogapplication)

if(WIN32)
  # A background program: the GUI subsystem, so that no console opens.
  set_target_properties(tesselwatchdogapplication PROPERTIES WIN32_EXECUTABLE ON)
  # Its imports: the system's DLLs, and Qt's and the C++ runtime's beside it.
  tessel_dependent_load_flags(tesselwatchdogapplication 0xA00)
  include(${CMAKE_SOURCE_DIR}/cmake/DeployQtWindows.cmake)
  tessel_deploy_qt_windows(tesselwatchdogapplication)
  return()
endif()

install(TARGETS tesselwatchdogapplication RUNTIME DESTINATION ${TESSEL_INSTALL_PROGRAMDIR_RELATIVE})
# A relative link, so that the tree can be staged and moved (a package).
file(RELATIVE_PATH program_from_bindir ${CMAKE_INSTALL_FULL_BINDIR} ${TESSEL_INSTALL_PROGRAMDIR}/tesselwatchdogapplication)
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK \"${program_from_bindir}\"
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tesselwatchdogapplication\" SYMBOLIC)
")
