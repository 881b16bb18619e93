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
