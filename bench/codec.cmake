# Benchmarks of the frame codec.
add_executable(codec_bench ${CMAKE_CURRENT_SOURCE_DIR}/codec_bench.cpp)
target_link_libraries(codec_bench PRIVATE lx2d_vscp_codec benchmark::benchmark)
set_target_properties(codec_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
