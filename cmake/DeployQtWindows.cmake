# Puts what a Qt program needs at run time beside it, so that its folder runs
# as it is: Qt's DLLs, the platform plugins (windows for the desktop,
# offscreen and minimal for tests without one), the widget style, and the
# mingw-w64 C++ runtime that Qt's DLLs link (the program itself carries its
# own runtime, linked -static).

# The runtime DLLs, from the compiler's own search path.
set(TESSEL_MINGW_RUNTIME_DLLS "")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "mingw-w64 runtime DLL ${dll} not found")
  endif()
  list(APPEND TESSEL_MINGW_RUNTIME_DLLS ${path})
endforeach()

# Qt's plugins are looked up in the program's folder only, never under the
# folder Qt was built for, which means nothing on the machine it runs on.
file(WRITE ${TESSEL_RUNTIME_DIR}/qt.conf "[Paths]\nPrefix = .\nPlugins = .\n")

function(tessel_deploy_qt_windows target)
  set(libraries $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
                $<TARGET_FILE:Qt6::Xml>)
  set(platforms $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
                $<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin>
                $<TARGET_FILE:Qt6::QMinimalIntegrationPlugin>)
  set(commands
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${libraries} ${TESSEL_MINGW_RUNTIME_DLLS}
            $<TARGET_FILE_DIR:${target}>
    COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:${target}>/platforms
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${platforms} $<TARGET_FILE_DIR:${target}>/platforms)
  if(TARGET Qt6::QWindowsVistaStylePlugin)
    list(APPEND commands
      COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:${target}>/styles
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>
              $<TARGET_FILE_DIR:${target}>/styles)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD ${commands} VERBATIM)
endfunction()
