# Cross build for 64-bit Windows with mingw-w64 (Debian's g++-mingw-w64-x86-64):
# the compilers and search rules of Qt's own cross build (the posix-thread
# compilers: GoogleTest does not build with the win32-thread ones), and a
# static runtime.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64-qt.cmake)

# Every program and module carries its C and C++ runtime inside: a DLL of
# the runtime (libwinpthread-1.dll, libstdc++-6.dll) is not found beside a
# module that regsvr32 loads, and the module then fails to load silently.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
