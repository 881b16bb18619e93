# Fuzz targets of the settings file engine.
lx2d_fuzzer(fuzz_settings_file ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_settings_file.cpp lx2d_utility_app)
