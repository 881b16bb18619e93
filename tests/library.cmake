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
  LX2D_TEST_SERIAL_LIBRARY="$<TARGET_FILE:RDLK_Rs>"
  LX2D_TEST_SIMULATOR="$<TARGET_FILE:lx2d-reader-sim>")
add_dependencies(lx2d_library_host RDLK_HID RDLK_Rs lx2d-reader-sim)

# lx2d_library_suite(NAME SOURCES... [VARIANTS hid|serial...] [LABELS ...])
# Runs the cases once per variant of the library (both unless VARIANTS says
# otherwise): the HID one as NAME.*, the serial one as NAME.serial.*.
function(lx2d_library_suite name)
  cmake_parse_arguments(ARG "" "" "SOURCES;VARIANTS;LABELS" ${ARGN})
  if(NOT ARG_VARIANTS)
    set(ARG_VARIANTS hid serial)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE lx2d_library_host GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(hid IN_LIST ARG_VARIANTS)
    gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 120 LABELS "library;${ARG_LABELS}")
  endif()
  if(serial IN_LIST ARG_VARIANTS)
    gtest_discover_tests(${name} TEST_PREFIX "${name}.serial." DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 120 LABELS "library;${ARG_LABELS}"
                                    ENVIRONMENT "LX2D_TEST_VARIANT=serial")
  endif()
endfunction()

lx2d_library_suite(library_test SOURCES
  library/library_state_test.cpp library/library_request_test.cpp)
lx2d_library_suite(library_serial_test SOURCES library/library_serial_test.cpp
  VARIANTS serial)
target_link_libraries(library_serial_test PRIVATE lx2d_platform)

# Both libraries export the same 33 functions and nothing else.
add_test(NAME scanner_libraries_same_exports
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/library/same_exports.sh
                 $<TARGET_FILE:RDLK_HID> $<TARGET_FILE:RDLK_Rs>)
target_compile_definitions(library_serial_test PRIVATE
  LX2D_TEST_PORT_HOLDER="$<TARGET_FILE:serial_port_holder>")
add_dependencies(library_serial_test serial_port_holder)
