# Benchmarks of the scanner-access library loaded by a host, against the
# simulated reader.
add_executable(library_bench ${CMAKE_CURRENT_SOURCE_DIR}/library_bench.cpp)
target_include_directories(library_bench PRIVATE ${CMAKE_SOURCE_DIR}/scanlib/include)
target_link_libraries(library_bench PRIVATE lx2d_platform_fakes benchmark::benchmark)
target_compile_definitions(library_bench PRIVATE
  LX2D_BENCH_LIBRARY="$<TARGET_FILE:RDLK_HID>"
  LX2D_BENCH_SIMULATOR="$<TARGET_FILE:lx2d-reader-sim>")
add_dependencies(library_bench RDLK_HID lx2d-reader-sim)
set_target_properties(library_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
