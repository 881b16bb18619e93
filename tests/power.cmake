# The power-control driver channel against the simulated driver: in process,
# and across processes with the lx2d-power-driver-sim program.
lx2d_test(misc_common_test SOURCES power/misc_common_test.cpp
          LIBS lx2d_power_channel lx2d_power_driver_sim_core lx2d_platform_fakes)
target_include_directories(misc_common_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/power)

lx2d_test(power_driver_process_test SOURCES power/power_driver_process_test.cpp
          LIBS lx2d_power_channel lx2d_platform_fakes)
target_compile_definitions(power_driver_process_test PRIVATE
                           LX2D_POWER_DRIVER_SIM="$<TARGET_FILE:lx2d-power-driver-sim>")
add_dependencies(power_driver_process_test lx2d-power-driver-sim)
set_tests_properties(power_driver_process_test PROPERTIES TIMEOUT 240)

lx2d_test(power_driver_sim_test SOURCES power/driver_sim_test.cpp
          LIBS lx2d_power_channel lx2d_power_driver_sim_core lx2d_platform_fakes)
target_include_directories(power_driver_sim_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/power)
