// Key arguments of lx2d-reg: a root (HKLM, HKCU, HKEY_LOCAL_MACHINE,
// HKEY_CURRENT_USER, any letter case) optionally followed by '\' and a subkey.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace lx2d::reg {

struct KeyPath {
  platform::HKEY root;
  std::string subKey;  // "" for the root itself; no trailing '\'

  // "HKEY_LOCAL_MACHINE\SOFTWARE\..." as query and export write it.
  std::string FullName() const;
};

// nullopt when `text` does not start with a known root.
std::optional<KeyPath> ParseKeyPath(std::string_view text);

// The long name of a root: "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER".
const char* RootName(platform::HKEY root);

}  // namespace lx2d::reg
