// Reading a small file that holds key material: it is taken only when no one
// but its owner can have written it, and the owner is root or the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lx2d::platform {

enum class ProtectedFileStatus : uint8_t {
  kOk,                // `bytes` holds the whole file
  kMissing,           // no such file
  kUnreadable,        // no permission to read it, or a read failed
  kNotRegular,        // not a regular file (a folder, a device, a link)
  kWritableByOthers,  // group or others may write it, or it belongs to
                      // another user than root or the caller
  kWrongSize,         // its size is not `size` (nothing is read)
};

// Reads the file at `path`, which must be exactly `size` bytes.
ProtectedFileStatus ReadProtectedFile(const std::string& path, size_t size,
                                      std::vector<uint8_t>& bytes);

}  // namespace lx2d::platform
