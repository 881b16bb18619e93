# Crash capture: the exception records of the exports' guards (ExInfo.dat).
add_library(lx2d_crash_capture STATIC ${CMAKE_CURRENT_LIST_DIR}/crash_capture.cpp)
target_include_directories(lx2d_crash_capture PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(lx2d_crash_capture PUBLIC lx2d_platform)

lx2d_test(crash_capture_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/crash_capture_test.cpp
          LIBS lx2d_crash_capture lx2d_platform_fakes)
lx2d_allow_fault_handlers(crash_capture_test)
