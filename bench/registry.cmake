# Benchmarks of the registry store behind lx2d-reg: enumeration, import and
# export of large keys and deep trees.
add_executable(registry_bench ${CMAKE_CURRENT_SOURCE_DIR}/registry_bench.cpp)
target_link_libraries(registry_bench PRIVATE lx2d_reg_cli lx2d_platform_fakes benchmark::benchmark)
set_target_properties(registry_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
