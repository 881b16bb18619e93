// lx2d-settings check: finds the mistakes in a settings file that the
// utility forgives silently.
#pragma once

#include <filesystem>
#include <ostream>

namespace lx2d {

// Prints one line per problem ("line N: [Section] KEY: what is wrong"),
// then whether BCR_TYPE lets the file be used and a summary. Returns 0 when
// clean, 1 when problems were found, 2 when the file cannot be read (with a
// message on `errors`).
int RunCheck(const std::filesystem::path& file, std::ostream& out, std::ostream& errors);

}  // namespace lx2d
