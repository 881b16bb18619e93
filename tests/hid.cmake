# Cross-module tests of the HID transport and the simulated reader.
lx2d_test(transport_sim_test SOURCES hid/transport_sim_test.cpp
          LIBS lx2d_transport lx2d_protocol lx2d_reader_sim_device lx2d_platform_fakes
          LABELS threaded)
target_include_directories(transport_sim_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/hid)

lx2d_test(trickle_timeout_test SOURCES hid/trickle_timeout_test.cpp
          LIBS lx2d_transport lx2d_protocol lx2d_reader_sim_device lx2d_platform_fakes
          LABELS threaded)
target_include_directories(trickle_timeout_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/hid)

# The simulator program itself: listed by the system's HID service, opened
# by CUsbHid, stopped by SIGTERM.
add_executable(reader_sim_process_test hid/reader_sim_process_test.cpp)
target_link_libraries(reader_sim_process_test PRIVATE lx2d_transport lx2d_protocol
                      lx2d_reader_sim_device lx2d_platform_fakes GTest::gtest GTest::gtest_main)
target_include_directories(reader_sim_process_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/hid)
set_target_properties(reader_sim_process_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_test(NAME reader_sim_process_test
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/hid/run_with_reader_sim.sh
                 $<TARGET_FILE:lx2d-reader-sim> $<TARGET_FILE:reader_sim_process_test>)
set_tests_properties(reader_sim_process_test PROPERTIES TIMEOUT 60)

# The udev rule installs where it is told, with the rule text intact.
add_test(NAME udev_rule_install
         COMMAND sh -c "d=$(mktemp -d) && DESTDIR=$d ${CMAKE_SOURCE_DIR}/packaging/install-udev-rule.sh /etc/udev/rules.d && grep -q 'ATTRS{idVendor}==\"0d2a\", TAG+=\"uaccess\"' $d/etc/udev/rules.d/70-lx2d-reader.rules; s=$?; rm -rf $d; exit $s")
