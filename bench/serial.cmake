# Benchmarks of the serial library against the simulated reader on a
# pseudo-terminal.
add_executable(serial_bench ${CMAKE_CURRENT_SOURCE_DIR}/serial_bench.cpp)
target_link_libraries(serial_bench PRIVATE lx2d_reader_sim_device lx2d_platform_fakes
                      lx2d_platform_serial benchmark::benchmark)
target_include_directories(serial_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/serial ${CMAKE_SOURCE_DIR}/tests/hid
                           ${CMAKE_SOURCE_DIR}/scanlib/include)
target_compile_definitions(serial_bench PRIVATE LX2D_SERIAL_LIBRARY="$<TARGET_FILE:RDLK_Rs>")
add_dependencies(serial_bench RDLK_Rs)
set_target_properties(serial_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
