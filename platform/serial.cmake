# The serial port service (ttys of the readers and simulated ports).
add_library(lx2d_platform_serial STATIC
  linux/serial_enumerate.cpp
  linux/serial_pty.cpp
  linux/serial_tty.cpp)
target_include_directories(lx2d_platform_serial PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                           PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/linux)
target_link_libraries(lx2d_platform_serial PUBLIC lx2d_platform PRIVATE PkgConfig::LIBUDEV)

lx2d_test(serial_port_test SOURCES linux/serial_port_test.cpp
          LIBS lx2d_platform_serial lx2d_platform_fakes LABELS threaded)
target_include_directories(serial_port_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/linux)
