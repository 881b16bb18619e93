#include "auth_key.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/paths.h"
#include "platform/protected_file.h"
#include "power_crypto.h"

namespace lx2d::power {
namespace {

// Built into a key at run time so that no key stands in the program as a
// literal someone could mistake for the real one.
constexpr std::string_view kDevelopmentPhrase = "LX2D power-control driver development key";

}  // namespace

std::string AuthKeyPath() {
  return platform::GetDirectory(platform::Directory::kSystem) + "/power/auth.key";
}

bool DevelopmentAuthKey(AuthKey& key) {
  Digest digest{};
  const bool ok = Sha1({std::span(reinterpret_cast<const uint8_t*>(kDevelopmentPhrase.data()),
                                  kDevelopmentPhrase.size())},
                       digest);
  std::copy_n(digest.begin(), key.size(), key.begin());
  Wipe(digest);
  return ok;
}

AuthKeySource LoadAuthKey(const std::string& path, AuthKey& key, std::string& problem) {
  problem.clear();
  std::vector<uint8_t> bytes;
  const platform::ProtectedFileStatus status = platform::ReadProtectedFile(path, key.size(), bytes);
  const std::string refused = "authentication key file " + path + " refused: ";
  switch (status) {
    case platform::ProtectedFileStatus::kOk:
      std::copy(bytes.begin(), bytes.end(), key.begin());
      Wipe(bytes);
      return AuthKeySource::kFile;
    case platform::ProtectedFileStatus::kMissing:
      if (DevelopmentAuthKey(key)) return AuthKeySource::kDevelopment;
      problem = "the development key could not be built";
      return AuthKeySource::kRefused;
    case platform::ProtectedFileStatus::kWrongSize:
      problem = refused + "it must hold exactly 16 bytes";
      break;
    case platform::ProtectedFileStatus::kWritableByOthers:
      problem = refused +
                "others than its owner may write it, or it belongs to neither root "
                "nor this user (chown root, chmod 600)";
      break;
    case platform::ProtectedFileStatus::kNotRegular:
      problem = refused + "it is not a regular file";
      break;
    case platform::ProtectedFileStatus::kUnreadable:
      problem = refused + "it cannot be read";
      break;
  }
  return AuthKeySource::kRefused;
}

}  // namespace lx2d::power
