# Fuzz targets of the frame codec.
lx2d_fuzzer(fuzz_frame_decoder ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_frame_decoder.cpp lx2d_vscp_codec)
