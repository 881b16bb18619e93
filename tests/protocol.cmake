# Cross-module tests of this area: the protocol engine against a scripted reader.
add_library(lx2d_scripted_reader STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/protocol/scripted_reader.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/protocol/recording_host.cpp)
target_include_directories(lx2d_scripted_reader PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/protocol)
target_link_libraries(lx2d_scripted_reader PUBLIC lx2d_protocol)

lx2d_test(protocol_transaction_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/protocol/transaction_test.cpp
          LIBS lx2d_scripted_reader LABELS threaded)
lx2d_test(protocol_receive_thread_test
          SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/protocol/receive_thread_test.cpp
          LIBS lx2d_scripted_reader LABELS threaded)
lx2d_test(protocol_platform_messaging_test
          SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/protocol/platform_messaging_test.cpp
          LIBS lx2d_scripted_reader lx2d_protocol_platform lx2d_platform_fakes)
lx2d_test(protocol_receive_limit_test
          SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/protocol/receive_limit_test.cpp LIBS lx2d_scripted_reader)
