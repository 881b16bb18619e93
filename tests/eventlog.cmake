# Cross-process tests of the event log: writer processes racing to create one
# log and filling it at once.
add_executable(lx2d_event_log_writer ${CMAKE_CURRENT_SOURCE_DIR}/eventlog/event_log_writer.cpp)
target_link_libraries(lx2d_event_log_writer PRIVATE lx2d_event_log Threads::Threads)
target_include_directories(lx2d_event_log_writer PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/eventlog)
set_target_properties(lx2d_event_log_writer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

lx2d_test(event_log_stress_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/eventlog/event_log_stress_test.cpp
          LIBS lx2d_event_log_reader lx2d_platform_fakes LABELS threaded)
target_include_directories(event_log_stress_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/eventlog)
add_dependencies(event_log_stress_test lx2d_event_log_writer)

# The library connected to the simulated reader, its log read by lx2d-evtlog.
# A log of its own, so that other suites' records do not mix in.
add_executable(library_event_log_test ${CMAKE_CURRENT_SOURCE_DIR}/eventlog/library_event_log_test.cpp)
target_link_libraries(library_event_log_test PRIVATE lx2d_library_host lx2d_event_log_reader
                      GTest::gtest_main)
target_compile_definitions(library_event_log_test PRIVATE
                           LX2D_TEST_EVTLOG="$<TARGET_FILE:lx2d-evtlog>")
add_dependencies(library_event_log_test lx2d-evtlog)
set_target_properties(library_event_log_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_test(NAME library_event_log_test COMMAND library_event_log_test)
set_tests_properties(library_event_log_test PROPERTIES
  TIMEOUT 120 LABELS library
  ENVIRONMENT "LX2D_EVTLOG_PREFIX=lx2dtest_library_event_log_"
  ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=path_list_append:allow_user_segv_handler=1")
