# Cross-module tests of the serial transport and the simulator in serial mode.
lx2d_test(serial_sim_test SOURCES serial/serial_sim_test.cpp
          LIBS lx2d_serial_transport lx2d_protocol lx2d_reader_sim_device lx2d_platform_fakes
          LABELS threaded)
target_include_directories(serial_sim_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/serial
                           ${CMAKE_CURRENT_SOURCE_DIR}/hid)

# The program in serial mode: it publishes a link to a pseudo-terminal with
# its description, and SIGTERM or SIGINT ends it with both removed.
foreach(signal TERM INT)
  add_test(NAME lx2d_reader_sim_serial_${signal}
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/serial/sim_serial_signal.sh
                   $<TARGET_FILE:lx2d-reader-sim> ${signal})
  set_tests_properties(lx2d_reader_sim_serial_${signal} PROPERTIES TIMEOUT 60)
endforeach()

# A second program holding a port, for the library's serial cases.
add_executable(serial_port_holder serial/serial_port_holder.cpp)
target_link_libraries(serial_port_holder PRIVATE lx2d_platform_serial)
set_target_properties(serial_port_holder PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

# The udev rule opens the serial readers' ttys to the logged-in user too.
add_test(NAME udev_rule_serial_readers
         COMMAND sh -c "d=$(mktemp -d) && DESTDIR=$d ${CMAKE_SOURCE_DIR}/packaging/install-udev-rule.sh /etc/udev/rules.d >/dev/null && grep -q '^SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0d2a\", TAG+=\"uaccess\"$' $d/etc/udev/rules.d/70-lx2d-reader.rules; s=$?; rm -rf $d; exit $s")
