# Benchmarks of the HID transport against the simulated reader.
add_executable(hid_bench ${CMAKE_CURRENT_SOURCE_DIR}/hid_bench.cpp)
target_link_libraries(hid_bench PRIVATE lx2d_transport lx2d_protocol lx2d_reader_sim_device
                      lx2d_platform_fakes benchmark::benchmark)
target_include_directories(hid_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/hid)
set_target_properties(hid_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
