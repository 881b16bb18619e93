# Fuzz targets of the protocol engine.
lx2d_fuzzer(fuzz_protocol_receive ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_protocol_receive.cpp lx2d_protocol)
