# Device interfaces of user-space drivers (docs/power-driver.md) and
# protected key files.
add_library(lx2d_platform_device STATIC
  linux/device_interface.cpp
  linux/device_interface_driver.cpp
  linux/protected_file.cpp)
target_include_directories(lx2d_platform_device PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                           PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/linux)
target_link_libraries(lx2d_platform_device PUBLIC lx2d_platform)

lx2d_test(platform_device_interface_test SOURCES linux/device_interface_test.cpp
          LIBS lx2d_platform_device lx2d_platform_fakes LABELS threaded)
