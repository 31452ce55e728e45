# Sanitizer trees (TESSALY_SANITIZE, clang only). Every library, program and
# test of the tree is instrumented; Qt, PulseAudio and the X libraries are the
# system's uninstrumented builds. The sanitizer options reach every test, and
# every program a test starts, through the environment of the ctest run.

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "TESSALY_SANITIZE needs clang: -DCMAKE_CXX_COMPILER=clang++")
endif()

if(TESSALY_SANITIZE STREQUAL "address")
  # Undefined behaviour stops the program like a memory error does, so it
  # cannot scroll past in a passing test's output.
  set(TESSALY_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined)
elseif(TESSALY_SANITIZE STREQUAL "thread")
  set(TESSALY_SANITIZER_FLAGS -fsanitize=thread)
else()
  message(FATAL_ERROR "TESSALY_SANITIZE is address or thread, not '${TESSALY_SANITIZE}'")
endif()

# -O1 keeps the instrumented tests quick and the build about as fast as -O0;
# line tables are all a report's stack needs and cost far less to build than
# full debug information; frame pointers give whole stacks in reports (and
# cheap ones for leaks).
add_compile_options(${TESSALY_SANITIZER_FLAGS} -O1 -gline-tables-only -fno-omit-frame-pointer)
add_link_options(${TESSALY_SANITIZER_FLAGS})

# Instrumented programs, and the many short tool runs some tests make, take
# two to three times as long: the tests' time limits grow by this factor.
set(TESSALY_SANITIZER_SLOWDOWN 3)

# A finding ends the program with an exit status of its own, so a test that
# checks a child program's status tells it from the program's own failures.
set(TESSALY_SANITIZER_EXIT_CODE 23)
find_program(TESSALY_SYMBOLIZER NAMES llvm-symbolizer llvm-symbolizer-14 REQUIRED)
set(TESSALY_SANITIZER_DIR ${CMAKE_CURRENT_LIST_DIR})
configure_file(${CMAKE_CURRENT_LIST_DIR}/environment.cmake.in
               ${CMAKE_BINARY_DIR}/sanitizer-environment.cmake @ONLY)
# ctest reads this file before it starts any test of the tree.
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
             ${CMAKE_BINARY_DIR}/sanitizer-environment.cmake)
