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

# lx2d_library_suite(NAME SOURCES... [VARIANTS hid|serial...]): one ctest
# test per test case and variant of the library (both unless VARIANTS says
# otherwise): the HID one as NAME.*, the serial one as NAME.serial.*.
function(lx2d_library_suite name)
  cmake_parse_arguments(ARG "" "" "SOURCES;VARIANTS" ${ARGN})
  if(NOT ARG_VARIANTS)
    set(ARG_VARIANTS hid serial)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE lx2d_library_host GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # The library's exception guard installs its own fault handlers.
  set(asan "ASAN_OPTIONS=path_list_append:allow_user_segv_handler=1")
  if(hid IN_LIST ARG_VARIANTS)
    gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 120 LABELS library ENVIRONMENT_MODIFICATION ${asan})
  endif()
  if(serial IN_LIST ARG_VARIANTS)
    gtest_discover_tests(${name} TEST_PREFIX "${name}.serial." DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 120 LABELS library ENVIRONMENT_MODIFICATION ${asan}
                                    ENVIRONMENT "LX2D_TEST_VARIANT=serial")
  endif()
endfunction()

lx2d_library_suite(library_test SOURCES
  library/library_buffer_test.cpp library/library_crash_test.cpp library/library_request_test.cpp
  library/library_ioctl_test.cpp library/library_settings_test.cpp library/library_state_test.cpp)
lx2d_library_suite(library_serial_test SOURCES library/library_serial_test.cpp VARIANTS serial)
target_link_libraries(library_serial_test PRIVATE lx2d_platform)
target_compile_definitions(library_serial_test PRIVATE
  LX2D_TEST_PORT_HOLDER="$<TARGET_FILE:serial_port_holder>")
add_dependencies(library_serial_test serial_port_holder)

# The library's own code in the test process, for what a host cannot see:
# the trace lines handed to attached observers.
lx2d_test(library_trace_test SOURCES library/library_trace_test.cpp
          LIBS lx2d_library_host lx2d_scanlib_api lx2d_usb_hid_port)
set_tests_properties(library_trace_test PROPERTIES LABELS library)

# Host threads and the receive thread together; run under ThreadSanitizer
# too, so it is one test named after its program.
add_executable(library_threaded_test library/library_threaded_test.cpp)
target_link_libraries(library_threaded_test PRIVATE lx2d_library_host GTest::gtest_main)
set_target_properties(library_threaded_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_test(NAME library_threaded_test COMMAND library_threaded_test)
set_tests_properties(library_threaded_test PROPERTIES LABELS "library;threaded" TIMEOUT 180)
lx2d_allow_fault_handlers(library_threaded_test)
lx2d_private_event_log(library_threaded_test)

# Each library file defines exactly the exports, so both the same 33.
foreach(library RDLK_HID RDLK_Rs)
  add_test(NAME library_exports_${library}
           COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${library}>
                   -DEXPECTED=${CMAKE_SOURCE_DIR}/scanlib/api/exports.map
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/library/exports_check.cmake)
endforeach()

# The public header from C: a C program linked against the library, in
# private folders.
add_executable(library_header_test library/header_test.c)
target_link_libraries(library_header_test PRIVATE RDLK_HID)
# Linked by the C++ driver: a sanitized library needs the sanitizers' C++
# runtime from its host program.
set_target_properties(library_header_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
                                                     LINKER_LANGUAGE CXX)
add_test(NAME library_header_test
         COMMAND sh -c "d=$(mktemp -d) && LX2D_USER_DIR=$d/user LX2D_SYSTEM_DIR=$d/system LX2D_STATE_DIR=$d/state LX2D_RUNTIME_DIR=$d/run $<TARGET_FILE:library_header_test>; s=$?; rm -rf $d; exit $s")
lx2d_private_event_log(library_header_test)

# Installed where GNUInstallDirs says, with a pkg-config file that finds it.
include(GNUInstallDirs)
add_test(NAME library_install
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/library/install_check.sh ${CMAKE_BINARY_DIR}
                 ${CMAKE_INSTALL_LIBDIR} ${CMAKE_INSTALL_INCLUDEDIR})
