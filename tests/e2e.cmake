# End-to-end runs of LX2D_B_SET against the simulated reader, with the real
# scanner library and the emulator stand-in.
lx2d_test(utility_e2e_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/e2e/utility_e2e_test.cpp
          LIBS lx2d_utility_app lx2d_platform_fakes LABELS threaded)
target_compile_definitions(utility_e2e_test PRIVATE LX2D_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                                                    LX2D_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(utility_e2e_test LX2D_B_SET RDLK_HID RDLK_Rs lx2d-reader-sim lx2d-emu-stub lx2d-reg
                 lx2d-settings lx2d-power-driver-sim)
set_tests_properties(utility_e2e_test PROPERTIES TIMEOUT 300)
