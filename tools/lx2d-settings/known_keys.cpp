#include "known_keys.h"

#include <algorithm>

#include "apply_settings.h"
#include "bcr_type.h"
#include "emulator_preferences.h"
#include "profile_text.h"
#include "scenario.h"
#include "setting_reader.h"
#include "symbology_table.h"

namespace lx2d {
namespace {

KeyRule SymbologyRule(const SymbologyKey& key) {
  switch (key.rule) {
    case SendRule::kEnable:
    case SendRule::kExclusive:
      return {key.name, KeyForm::kNumber1, 0, 1, {}};
    case SendRule::kText:
      return {key.name, KeyForm::kText, 0, 0, {}};
    case SendRule::kOk:
    case SendRule::kOkOrEmpty:
    case SendRule::kNone:
      break;
  }
  return {key.name, KeyForm::kNumber1, 0, 255, {}};
}

KnownSection& SectionNamed(std::vector<KnownSection>& sections, std::u16string_view name,
                           bool afterDirectData) {
  const auto found = std::find_if(sections.begin(), sections.end(),
                                  [&](const KnownSection& s) { return s.name == name; });
  if (found != sections.end()) return *found;
  return sections.emplace_back(KnownSection{std::u16string(name), {}, afterDirectData});
}

std::vector<KnownSection> Gather() {
  std::vector<KnownSection> sections;
  SectionNamed(sections, kIdentificationSection, false).keys.push_back(kBcrTypeKey);
  for (const SequenceKey& key : kSequenceKeys) {
    // Steps before the direct data run whatever it holds.
    const bool early = key.section == u"NOT_FORCE_DEFAULT" ||
                       key.section == u"PROC_FORCE_DEFAULT" ||
                       key.section == u"Set_Direct_Data_By_CtrlCmd";
    SectionNamed(sections, key.section, !early).keys.push_back(key.rule);
  }
  for (int number = 1; number <= kScenarioCount; ++number) {
    for (const ScenarioKey& key : kScenarioKeys) {
      SectionNamed(sections, ScenarioSectionName(number, key.inRuleSection), true)
          .keys.push_back(key.rule);
    }
  }
  for (const SymbologySection& symbology : kSymbologySections) {
    KnownSection& section = SectionNamed(sections, symbology.name, true);
    for (const SymbologyKey& key : KeysOf(symbology)) section.keys.push_back(SymbologyRule(key));
  }
  for (const EmulatorPreference& preference : kEmulatorPreferences) {
    SectionNamed(sections, preference.section, false).keys.push_back(preference.rule);
  }
  return sections;
}

char16_t Fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? c - u'A' + u'a' : c; }

std::size_t Distance(std::u16string_view a, std::u16string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min(
          {row[j] + 1, row[j - 1] + 1, diagonal + (Fold(a[i - 1]) == Fold(b[j - 1]) ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

const std::vector<KnownSection>& KnownSections() {
  static const std::vector<KnownSection> sections = Gather();
  return sections;
}

const KnownSection* FindKnownSection(std::u16string_view name) {
  for (const KnownSection& section : KnownSections()) {
    if (EqualsIgnoringCase(section.name, name)) return &section;
  }
  return nullptr;
}

const KeyRule* FindKnownKey(const KnownSection& section, std::u16string_view key) {
  for (const KeyRule& rule : section.keys) {
    if (EqualsIgnoringCase(rule.name, key)) return &rule;
    if (rule.form != KeyForm::kByteList || key.size() <= rule.name.size() ||
        !EqualsIgnoringCase(key.substr(0, rule.name.size()), rule.name)) {
      continue;
    }
    const std::u16string_view digits = key.substr(rule.name.size());
    // Key names come from the file: stop at the first non-digit or once the
    // number is past the list's end, so a long name cannot overflow it.
    int number = 0;
    bool digitsOnly = digits.front() != u'0';
    for (const char16_t c : digits) {
      digitsOnly = digitsOnly && c >= u'0' && c <= u'9' && number <= kMaxByteListBytes;
      if (!digitsOnly) break;
      number = number * 10 + (c - u'0');
    }
    if (digitsOnly && number >= 1 && number <= kMaxByteListBytes) return &rule;
  }
  return nullptr;
}

std::optional<std::u16string> ClosestName(std::u16string_view name,
                                          std::span<const std::u16string> candidates) {
  const std::size_t limit = std::max<std::size_t>(2, name.size() / 4);
  std::optional<std::u16string> best;
  std::size_t bestDistance = limit + 1;
  for (const std::u16string& candidate : candidates) {
    const std::size_t distance = Distance(name, candidate);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = candidate;
    }
  }
  return best;
}

}  // namespace lx2d
