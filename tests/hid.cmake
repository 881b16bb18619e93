# Cross-module tests of the HID transport and the simulated reader.
lx2d_test(transport_sim_test SOURCES hid/transport_sim_test.cpp
          LIBS lx2d_transport lx2d_protocol lx2d_reader_sim_device lx2d_platform_fakes
          LABELS threaded)
target_include_directories(transport_sim_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/hid)
