# The updater's share of the platform layer: MD5, the program's own file,
# the standard streams, the filter registration, keeping the machine awake,
# and (through tessel_modules) loading the control library. Plain C++, no Qt, so it builds for Windows as well.
set(updater_platform_interfaces
  FileSystem.h
  FilterRegistration.h
  KeepAwake.h
  Md5.h
  Modules.h
  ProgramFile.h
  StandardStreams.h
)
if(WIN32)
  add_library(tessel_updater_platform STATIC ${updater_platform_interfaces}
    win32/ComFilterRegistration.cpp
    win32/CryptoApiMd5.cpp
    win32/ExecutionStateKeepAwake.cpp
    win32/Win32FileSystem.cpp
    win32/Win32ProgramFile.cpp
    win32/Win32StandardStreams.cpp
  )
  target_link_libraries(tessel_updater_platform PUBLIC ole32 advapi32 uuid)
  target_include_directories(tessel_updater_platform PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/win32)
else()
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBSYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
  add_library(tessel_updater_platform STATIC ${updater_platform_interfaces}
    linux/DlFilterRegistration.cpp
    linux/LogindKeepAwake.cpp
    linux/OpenSslMd5.cpp
    linux/PosixFileSystem.cpp
    linux/PosixStandardStreams.cpp
    linux/ProcProgramFile.cpp
  )
  target_link_libraries(tessel_updater_platform PUBLIC OpenSSL::Crypto PkgConfig::LIBSYSTEMD ${CMAKE_DL_LIBS})
endif()
target_include_directories(tessel_updater_platform PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(tessel_updater_platform PUBLIC tessel_modules)
target_link_libraries(tessel_updater_platform PRIVATE zentrasw_interface)
tessel_strict_warnings(tessel_updater_platform)
set_target_properties(tessel_updater_platform PROPERTIES AUTOMOC OFF)
