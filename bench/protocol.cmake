# Benchmarks of the protocol engine.
add_executable(protocol_bench ${CMAKE_CURRENT_SOURCE_DIR}/protocol_bench.cpp)
target_link_libraries(protocol_bench PRIVATE lx2d_protocol benchmark::benchmark)
set_target_properties(protocol_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
