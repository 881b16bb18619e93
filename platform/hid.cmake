# The HID service (hidraw and virtual HID devices).
pkg_check_modules(LIBUDEV REQUIRED IMPORTED_TARGET libudev)

add_library(lx2d_platform_hid STATIC
  linux/hid_descriptor.cpp
  linux/hid_fd_device.cpp
  linux/hid_hidraw.cpp
  linux/hid_path.cpp
  linux/hid_service.cpp
  linux/hid_virtual_device.cpp
  linux/hid_virtual_host.cpp
  linux/hid_virtual_info.cpp)
target_include_directories(lx2d_platform_hid PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                           PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/linux)
target_link_libraries(lx2d_platform_hid PUBLIC lx2d_platform PRIVATE PkgConfig::LIBUDEV)

lx2d_test(hid_descriptor_test SOURCES linux/hid_descriptor_test.cpp LIBS lx2d_platform_hid)
target_include_directories(hid_descriptor_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/linux)
lx2d_test(hid_virtual_test SOURCES linux/hid_virtual_test.cpp
          LIBS lx2d_platform_hid lx2d_platform_fakes LABELS threaded)
target_include_directories(hid_virtual_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/linux)

# The udev rule that opens the readers' hidraw nodes to the logged-in user.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/udev/70-lx2d-reader.rules
        DESTINATION lib/udev/rules.d)
