# Benchmarks of the scanner-access library loaded by a host, against the
# simulated reader.
# library_bench: libRDLK_HID.so; library_serial_bench: libRDLK_Rs.so with the
# simulator on a pseudo-terminal.
foreach(variant HID Rs)
  set(target library_bench)
  set(serial 0)
  if(variant STREQUAL Rs)
    set(target library_serial_bench)
    set(serial 1)
  endif()
  add_executable(${target} ${CMAKE_CURRENT_SOURCE_DIR}/library_bench.cpp)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/scanlib/include)
  target_link_libraries(${target} PRIVATE lx2d_platform_fakes benchmark::benchmark)
  target_compile_definitions(${target} PRIVATE
    LX2D_BENCH_LIBRARY="$<TARGET_FILE:RDLK_${variant}>"
    LX2D_BENCH_SIMULATOR="$<TARGET_FILE:lx2d-reader-sim>"
    LX2D_BENCH_SERIAL=${serial})
  add_dependencies(${target} RDLK_${variant} lx2d-reader-sim)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endforeach()
