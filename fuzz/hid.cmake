# Fuzz targets of the HID service: report descriptors and virtual device descriptions.
lx2d_fuzzer(fuzz_hid_parsers ${CMAKE_SOURCE_DIR}/platform/linux/hid_parsers_fuzz.cpp
            lx2d_platform_hid)
if(TARGET fuzz_hid_parsers)
  target_include_directories(fuzz_hid_parsers PRIVATE ${CMAKE_SOURCE_DIR}/platform/linux)
endif()
