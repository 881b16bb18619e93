# Build options and the helpers every folder uses.

set(LX2D_SANITIZE "" CACHE STRING "Sanitizers: empty, 'address' (ASan + UBSan) or 'thread' (TSan)")
option(LX2D_WERROR "Treat warnings as errors" OFF)
option(LX2D_BENCH "Build the benchmarks in bench/" ON)

add_compile_options(-Wall -Wextra -Wpedantic -Wshadow $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
if(LX2D_WERROR)
  add_compile_options(-Werror)
endif()

if(LX2D_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(LX2D_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT LX2D_SANITIZE STREQUAL "")
  message(FATAL_ERROR "LX2D_SANITIZE must be empty, 'address' or 'thread'")
endif()

# libFuzzer needs clang; other compilers simply build no fuzz targets.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND NOT LX2D_SANITIZE STREQUAL "thread")
  set(LX2D_FUZZ ON)
else()
  set(LX2D_FUZZ OFF)
endif()

# lx2d_test(NAME SOURCES... [LIBS libs...] [LABELS labels...])
# One GoogleTest executable registered as one ctest test. The label
# "threaded" marks suites that the ThreadSanitizer build runs as well.
function(lx2d_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()

# lx2d_allow_fault_handlers(TESTS...): the sanitizers' own SIGSEGV handlers
# let the exception guard install its handlers in these tests (and in the
# libraries they load).
function(lx2d_allow_fault_handlers)
  set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT_MODIFICATION
               ASAN_OPTIONS=path_list_append:allow_user_segv_handler=1
               TSAN_OPTIONS=path_list_append:allow_user_segv_handler=1)
endfunction()

# lx2d_fuzzer(NAME SOURCE LIBS...): a libFuzzer target plus a short ctest run
# over its committed corpus in fuzz/corpus/NAME (new inputs go to a scratch
# folder so the corpus in the tree stays as committed).
function(lx2d_fuzzer name source)
  if(NOT LX2D_FUZZ)
    return()
  endif()
  add_executable(${name} ${source})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARGN})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  add_test(NAME ${name}
           COMMAND ${CMAKE_SOURCE_DIR}/fuzz/run_fuzzer.sh $<TARGET_FILE:${name}>
                   ${CMAKE_SOURCE_DIR}/fuzz/corpus/${name} ${CMAKE_BINARY_DIR}/fuzz/scratch/${name})
  set_tests_properties(${name} PROPERTIES LABELS fuzz)
endfunction()
