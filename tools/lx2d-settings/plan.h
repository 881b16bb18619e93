// lx2d-settings plan: what the utility would send to the reader and write
// to the registry for a settings file, without touching either.
#pragma once

#include <filesystem>
#include <ostream>

namespace lx2d {

// Prints the library calls and waits of ApplySettingsFile, its result, the
// registry writes of WriteEmulatorPreferences given the registry as it is,
// and its result. Returns the exit status: 0; 2 with one line on `errors`
// when the file cannot be read or the machine hive is damaged (naming the
// hive's file).
int RunPlan(const std::filesystem::path& file, std::ostream& out, std::ostream& errors);

}  // namespace lx2d
