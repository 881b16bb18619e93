#include "reg_key_path.h"

namespace lx2d::reg {

namespace {

struct RootSpelling {
  const char* spelling;
  platform::HKEY root;
};

constexpr RootSpelling kRoots[] = {
    {"HKLM", platform::HKEY_LOCAL_MACHINE},
    {"HKEY_LOCAL_MACHINE", platform::HKEY_LOCAL_MACHINE},
    {"HKCU", platform::HKEY_CURRENT_USER},
    {"HKEY_CURRENT_USER", platform::HKEY_CURRENT_USER},
};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

const char* RootName(platform::HKEY root) {
  return root == platform::HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string KeyPath::FullName() const {
  return subKey.empty() ? std::string(RootName(root)) : std::string(RootName(root)) + "\\" + subKey;
}

std::optional<KeyPath> ParseKeyPath(std::string_view text) {
  std::size_t slash = text.find('\\');
  std::string_view head = text.substr(0, slash);
  for (const RootSpelling& spelling : kRoots) {
    if (!SameIgnoringCase(head, spelling.spelling)) continue;
    KeyPath path{spelling.root, {}};
    if (slash != std::string_view::npos) path.subKey = std::string(text.substr(slash + 1));
    while (!path.subKey.empty() && path.subKey.back() == '\\') path.subKey.pop_back();
    return path;
  }
  return std::nullopt;
}

}  // namespace lx2d::reg
