# Cross-module tests of this area: the platform services between processes
# and the registry command line end to end.
foreach(helper window_peer registry_writer session_probe)
  add_executable(lx2d_${helper} ${CMAKE_CURRENT_SOURCE_DIR}/platform/${helper}.cpp)
  target_link_libraries(lx2d_${helper} PRIVATE lx2d_platform)
  set_target_properties(lx2d_${helper} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
endforeach()

lx2d_test(platform_cross_process_test
          SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/platform/cross_process_test.cpp
          LIBS lx2d_platform_fakes)
add_dependencies(platform_cross_process_test lx2d_window_peer lx2d_registry_writer)

# A reader of another user holding a read transaction on the machine hive.
find_package(SQLite3 REQUIRED)
add_executable(lx2d_registry_reader_hold ${CMAKE_CURRENT_SOURCE_DIR}/platform/registry_reader_hold.cpp)
target_link_libraries(lx2d_registry_reader_hold PRIVATE SQLite::SQLite3)
set_target_properties(lx2d_registry_reader_hold PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
lx2d_test(platform_registry_users_test
          SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/platform/registry_users_test.cpp
          LIBS lx2d_platform_fakes)
add_dependencies(platform_registry_users_test lx2d_registry_reader_hold)

lx2d_test(platform_session_folder_test
          SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/platform/session_test.cpp
          LIBS lx2d_platform_fakes)
add_dependencies(platform_session_folder_test lx2d_window_peer lx2d_session_probe)

add_test(NAME lx2d_reg_add_query
         COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/platform/lx2d_reg_check.sh $<TARGET_FILE:lx2d-reg>)
set_tests_properties(lx2d_reg_add_query PROPERTIES PASS_REGULAR_EXPRESSION "^ok\n$")

add_test(NAME lx2d_win_spy_send
         COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/platform/lx2d_win_check.sh $<TARGET_FILE:lx2d-win>)
set_tests_properties(lx2d_win_spy_send PROPERTIES PASS_REGULAR_EXPRESSION "^ok\n$")
