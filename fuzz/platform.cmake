# Fuzz targets of this area: the window datagram decoder (any process may
# write to a window socket) and the registry file import of lx2d-reg.
lx2d_fuzzer(fuzz_window_wire ${CMAKE_SOURCE_DIR}/platform/linux/fuzz_window_wire.cpp lx2d_platform)
if(TARGET fuzz_window_wire)
  target_include_directories(fuzz_window_wire PRIVATE ${CMAKE_SOURCE_DIR}/platform/linux)
endif()
lx2d_fuzzer(fuzz_reg_import ${CMAKE_SOURCE_DIR}/tools/lx2d-reg/fuzz_reg_import.cpp
            lx2d_reg_cli lx2d_platform_fakes)
