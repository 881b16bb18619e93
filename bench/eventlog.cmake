# Benchmarks of the event log's writers.
add_executable(event_log_bench ${CMAKE_CURRENT_SOURCE_DIR}/event_log_bench.cpp)
target_link_libraries(event_log_bench PRIVATE lx2d_event_log lx2d_platform_fakes benchmark::benchmark)
set_target_properties(event_log_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
