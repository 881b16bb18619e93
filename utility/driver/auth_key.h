// The 16-byte key the utility and the power-control driver prove themselves
// with. It belongs to whoever provides the driver and is installed as
// LX2D_SYSTEM_DIR/power/auth.key: exactly 16 bytes, written by root (or the
// user who runs both sides) and by no one else. Without that file both sides
// use the development key, so the simulated driver works out of the box.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace lx2d::power {

inline constexpr size_t kAuthKeyBytes = 16;
using AuthKey = std::array<uint8_t, kAuthKeyBytes>;

// LX2D_SYSTEM_DIR/power/auth.key.
std::string AuthKeyPath();

enum class AuthKeySource : uint8_t {
  kFile,         // read from the key file
  kDevelopment,  // no key file: the development key
  kRefused,      // the key file exists but is not fit for use
};

// Loads the key from `path`. A missing file gives the development key; a
// file that is not exactly 16 bytes, that others than its owner may write,
// that is no regular file or cannot be read is refused, with the reason in
// `problem`.
AuthKeySource LoadAuthKey(const std::string& path, AuthKey& key, std::string& problem);

// The development key: the first 16 bytes of SHA-1 over a fixed phrase.
// False only when SHA-1 fails.
bool DevelopmentAuthKey(AuthKey& key);

}  // namespace lx2d::power
