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
