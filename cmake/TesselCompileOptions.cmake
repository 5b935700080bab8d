# Compile options shared by every target of ours.

if(TESSEL_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TESSEL_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT TESSEL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TESSEL_SANITIZE must be empty, 'address' or 'thread'")
endif()

if(TESSEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TESSEL_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  # Coverage for libFuzzer in every library the fuzzers link.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

# Warnings are errors on our own code; outside code (Qt's generated files,
# GoogleTest) is left alone.
# clang (the fuzz build) knows no -Wshadow=local.
function(tessel_strict_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
    -Wnon-virtual-dtor -Werror)
endfunction()

# tessel_dependent_load_flags(<target> <flags>)
# Windows: the folders (LOAD_LIBRARY_SEARCH_* flags) from which the loader
# may take the program's own imports: 0x800 (System32) for a program that
# imports only the system's DLLs, 0xA00 (System32 and the program's folder)
# for one that imports DLLs delivered beside it (Qt's). See
# src/platform/win32/DependentLoadFlags.cpp. Nothing elsewhere.
# GNU ld 2.40 leaves the image's load configuration directory empty, so a
# step after the link points it at the structure (set_load_configuration.py).
function(tessel_dependent_load_flags target flags)
  if(WIN32)
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src/platform/win32/DependentLoadFlags.cpp)
    target_compile_definitions(${target} PRIVATE TESSEL_DEPENDENT_LOAD_FLAGS=${flags})
    find_program(TESSEL_HOST_PYTHON python3 HINTS /usr/bin NO_CMAKE_FIND_ROOT_PATH REQUIRED)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${TESSEL_HOST_PYTHON} ${CMAKE_SOURCE_DIR}/cmake/set_load_configuration.py ${CMAKE_NM}
              $<TARGET_FILE:${target}>
      COMMENT "Pointing the load configuration of ${target} at its dependent load flags"
      VERBATIM)
  endif()
endfunction()
