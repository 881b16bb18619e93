# The scanner-access library driven as a host program drives it: loaded at
# run time, against the simulated reader. Every test runs in a process of
# its own, so each one meets the library as freshly loaded.
include(GoogleTest)

add_library(lx2d_library_host STATIC library/library_host.cpp)
target_include_directories(lx2d_library_host PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/library
                                                    ${CMAKE_SOURCE_DIR}/scanlib/include)
target_link_libraries(lx2d_library_host PUBLIC lx2d_platform_fakes GTest::gtest)
target_compile_definitions(lx2d_library_host PRIVATE
  LX2D_TEST_LIBRARY="$<TARGET_FILE:RDLK_HID>"
  LX2D_TEST_SIMULATOR="$<TARGET_FILE:lx2d-reader-sim>")
add_dependencies(lx2d_library_host RDLK_HID lx2d-reader-sim)

# lx2d_library_suite(NAME SOURCES... [LABELS ...])
function(lx2d_library_suite name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE lx2d_library_host GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 120 LABELS "library;${ARG_LABELS}")
endfunction()

lx2d_library_suite(library_test SOURCES
  library/library_state_test.cpp library/library_request_test.cpp)
