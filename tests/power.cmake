# The power-control driver channel against the simulated driver: in process,
# and across processes with the lx2d-power-driver-sim program.
lx2d_test(power_channel_test SOURCES power/misc_common_test.cpp
          LIBS lx2d_power_channel lx2d_power_driver_sim_core lx2d_platform_fakes)
target_include_directories(power_channel_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/power)
