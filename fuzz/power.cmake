# Fuzz target of the power-control driver channel: hostile reply capsules
# and handshake replies.
lx2d_fuzzer(fuzz_power_replies ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_power_replies.cpp
            lx2d_power_channel lx2d_power_driver_sim_core)
if(TARGET fuzz_power_replies)
  target_include_directories(fuzz_power_replies PRIVATE ${CMAKE_SOURCE_DIR}/tests/power)
endif()
