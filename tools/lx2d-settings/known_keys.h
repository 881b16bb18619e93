// Every section and key the engine reads, gathered from the engine's own
// tables, and the closest known name to a misspelt one.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "key_rule.h"

namespace lx2d {

struct KnownSection {
  std::u16string name;
  std::vector<KeyRule> keys;
  // Not applied when a direct-data section ends the run.
  bool afterDirectData;
};

// In the order the engine reads them.
const std::vector<KnownSection>& KnownSections();

// The section of that name (without regard to ASCII case), or null.
const KnownSection* FindKnownSection(std::u16string_view name);

// The rule that reads `key` in `section` (DATA1 to DATA128 belong to a byte
// list DATA), or null.
const KeyRule* FindKnownKey(const KnownSection& section, std::u16string_view key);

// The candidate closest to `name` when it is close enough to be a typo.
std::optional<std::u16string> ClosestName(std::u16string_view name,
                                          std::span<const std::u16string> candidates);

}  // namespace lx2d
