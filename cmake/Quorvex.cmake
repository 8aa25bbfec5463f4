# Shared build settings of every Quorvex target.

set(QV_SANITIZE "" CACHE STRING "Sanitizers to build with: empty, 'address;undefined' or 'thread'")

set(QV_WARNINGS -Wall -Wextra -Wformat=2 -Wno-unused-parameter)

# CI's GCC builds (the asan and tsan presets) fail on a new
# warning. The release build that scripts/run.sh makes on a user's machine
# leaves it off: a newer compiler there may warn about code this one accepts,
# and that must not keep the program from starting.
option(QV_WERROR "Treat compiler warnings as errors" OFF)
if(QV_WERROR)
  list(APPEND QV_WARNINGS -Werror)
  # Under ThreadSanitizer's instrumentation GCC 12 reports vector copies in
  # the tests as overflowing a zero-sized region; the same code builds clean
  # in the asan build, which still fails on a real one.
  if(QV_SANITIZE STREQUAL "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    list(APPEND QV_WARNINGS -Wno-error=stringop-overflow)
  endif()
endif()

if(QV_SANITIZE)
  list(JOIN QV_SANITIZE "," _qv_san)
  add_compile_options(-fsanitize=${_qv_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_qv_san})
endif()

# The libFuzzer build (scripts/fuzz.sh): every library carries the fuzzer's
# coverage instrumentation, so that it sees the code it feeds; only the
# fuzz programs link the fuzzer's own main (tests/fuzz).
option(QV_FUZZ "Build the libFuzzer programs (needs clang)" OFF)
if(QV_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=fuzzer-no-link)
endif()

# qv_library(NAME [SHARED] SOURCES ... LIBS ...)
function(qv_library name)
  cmake_parse_arguments(L "SHARED" "" "SOURCES;LIBS;PUBLIC_LIBS" ${ARGN})
  if(L_SHARED)
    add_library(${name} SHARED ${L_SOURCES})
  else()
    add_library(${name} STATIC ${L_SOURCES})
  endif()
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${QV_WARNINGS})
  target_link_libraries(${name} PUBLIC ${L_PUBLIC_LIBS} PRIVATE ${L_LIBS})
endfunction()

# qv_test(NAME LABEL label SOURCES ... LIBS ...)
# One test program; its GoogleTest cases become ctest tests carrying the label.
function(qv_test name)
  cmake_parse_arguments(T "SERIAL" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_compile_options(${name} PRIVATE ${QV_WARNINGS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} qv_testkit GTest::gtest GTest::gmock)
  # SERIAL: tests that play through real devices in real time run alone, so
  # the rest of the suite cannot starve their device threads.
  set(_serial "")
  if(T_SERIAL)
    set(_serial RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT} ${_serial})
endfunction()

# Rebuilds of several checkouts share one compiler cache when ccache is there.
find_program(QV_CCACHE ccache)
if(QV_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_C_COMPILER_LAUNCHER ${QV_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${QV_CCACHE})
endif()
