# The library's windows as a host meets them: the spy window and the
# reader-selection dialog on a private virtual display (Xvfb), and the
# dialog on a pseudo-terminal without a display.
add_executable(diag_window_test diag/diag_window_test.cpp)
target_link_libraries(diag_window_test PRIVATE lx2d_library_host GTest::gtest_main)
set_target_properties(diag_window_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

set(LX2D_DIAG_ENV "ASAN_OPTIONS=path_list_append:allow_user_segv_handler=1")

# lx2d_diag_test(NAME FILTER [PREFIX...]): the cases of FILTER, run behind
# the command PREFIX.
function(lx2d_diag_test name filter)
  add_test(NAME ${name} COMMAND ${ARGN} $<TARGET_FILE:diag_window_test> --gtest_filter=${filter})
  set_tests_properties(${name} PROPERTIES LABELS "library;gui" TIMEOUT 300
                                          ENVIRONMENT_MODIFICATION "${LX2D_DIAG_ENV}")
endfunction()

find_program(LX2D_XVFB Xvfb)
find_program(LX2D_XDOTOOL xdotool)
find_program(LX2D_IMPORT import)
if(TARGET lx2d-diag-view AND LX2D_XVFB AND LX2D_XDOTOOL AND LX2D_IMPORT)
  add_dependencies(diag_window_test lx2d-diag-view)
  set(xvfb ${CMAKE_CURRENT_SOURCE_DIR}/diag/with_xvfb.sh)
  lx2d_diag_test(diag_spy_window "DiagSpyWindow.*" ${xvfb})
  lx2d_diag_test(diag_setup_dialog "DiagSetupDialog.*" ${xvfb})
  lx2d_diag_test(diag_spy_window_no_display "DiagNoDisplay.*" ${xvfb} env -u DISPLAY
                 -u WAYLAND_DISPLAY)
else()
  message(STATUS "GTK 3, Xvfb, xdotool or imagemagick missing: window tests left out")
endif()

find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND)
  add_test(NAME diag_setup_terminal
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/diag/terminal_setup_check.py
                   $<TARGET_FILE:diag_window_test>)
  set_tests_properties(diag_setup_terminal PROPERTIES LABELS "library" TIMEOUT 300
                                                      ENVIRONMENT_MODIFICATION "${LX2D_DIAG_ENV}")
endif()
