#include "check.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bcr_type.h"
#include "escape_tokens.h"
#include "file_source.h"
#include "known_keys.h"
#include "platform/text.h"
#include "profile_text.h"
#include "setting_reader.h"
#include "thread_code_page.h"

namespace lx2d {
namespace {

using platform::Utf16ToUtf8;

constexpr std::size_t kMaxInsertBytes = 255;

struct Problem {
  int line;
  std::string text;
};

class CChecker {
 public:
  CChecker(const CSettingReader& settingReader, const std::filesystem::path& settingsFile,
           const std::vector<ProfileSection>& fileSections)
      : reader(settingReader), file(settingsFile), sections(fileSections) {}

  std::vector<Problem> Run() {
    std::map<const KnownSection*, const ProfileSection*> firstOf;
    for (const ProfileSection& section : sections) {
      const KnownSection* known = FindKnownSection(section.name);
      if (!known) {
        Report(section.line, "[" + Utf16ToUtf8(section.name) + "]: section is never read" +
                                 Suggestion(section.name, SectionNames()));
      } else if (const auto first = firstOf.find(known); first != firstOf.end()) {
        Report(section.line, "[" + Utf16ToUtf8(section.name) +
                                 "]: repeated section; only the one at line " +
                                 std::to_string(first->second->line) + " is read");
      } else {
        firstOf[known] = &section;
        CheckKeys(*known, section);
      }
    }
    CheckDirectData(firstOf);
    std::stable_sort(problems.begin(), problems.end(),
                     [](const Problem& a, const Problem& b) { return a.line < b.line; });
    return problems;
  }

 private:
  void CheckKeys(const KnownSection& known, const ProfileSection& section) {
    const std::string where = "[" + Utf16ToUtf8(section.name) + "] ";
    std::map<std::u16string, int> firstLine;
    for (const ProfileEntry& entry : section.entries) {
      const std::string key = where + Utf16ToUtf8(entry.key);
      const KeyRule* rule = FindKnownKey(known, entry.key);
      std::u16string folded;
      for (const char16_t c : entry.key)
        folded.push_back((c >= u'a' && c <= u'z') ? c - u'a' + u'A' : c);
      if (!rule) {
        std::vector<std::u16string> names;
        for (const KeyRule& candidate : known.keys) names.emplace_back(candidate.name);
        Report(entry.line, key + ": key is never read" + Suggestion(entry.key, names));
      } else if (const auto first = firstLine.find(folded); first != firstLine.end()) {
        Report(entry.line, key + ": repeated key; only the one at line " +
                               std::to_string(first->second) + " is read");
      } else if (!entry.hasValue) {
        Report(entry.line, key + ": no '=', so the key counts as absent");
        firstLine[folded] = entry.line;
      } else {
        firstLine[folded] = entry.line;
        if (rule->form != KeyForm::kByteList) CheckValue(known, entry, *rule, key);
      }
    }
    for (const KeyRule& rule : known.keys) {
      const bool present =
          std::any_of(section.entries.begin(), section.entries.end(),
                      [&](const ProfileEntry& e) { return FindKnownKey(known, e.key) == &rule; });
      if (rule.form == KeyForm::kByteList && present) CheckByteList(known, section, rule);
    }
  }

  void CheckValue(const KnownSection& known, const ProfileEntry& entry, const KeyRule& rule,
                  const std::string& key) {
    CSettingItem item = ReadRuleKey(reader, file, known.name, rule);
    const std::string raw = " '" + Utf16ToUtf8(item.rawText) + "'";
    if (rule.form == KeyForm::kText) {
      if (rule.name == u"Insert_String" && item.Is(SETTING_OK)) {
        ReplaceEscapeTokens(item);
        if (item.RecordLength() - 4 > static_cast<int32_t>(kMaxInsertBytes)) {
          Report(entry.line,
                 key + raw + ": more than 255 bytes after escape tokens; the rule is not sent");
        }
      }
      return;
    }
    if (item.Is(SETTING_INVALID)) {
      const bool range = IsOutOfRange(item, rule.names);
      std::string why =
          range ? "out of range for a " +
                      std::string(rule.form == KeyForm::kNumber1 ? "one" : "two") + "-byte number"
          : rule.names.empty() ? "not a number"
                               : "not one of the names this key takes" + NameSuggestion(item, rule);
      Report(entry.line, key + raw + ": invalid, " + why + "; nothing is sent");
    } else if (item.Is(SETTING_OK) && (item.value < rule.low || item.value > rule.high)) {
      Report(entry.line, key + raw + ": value " + std::to_string(item.value) + " is outside " +
                             std::to_string(rule.low) + " to " + std::to_string(rule.high) +
                             "; ignored");
    }
  }

  void CheckByteList(const KnownSection& known, const ProfileSection& section,
                     const KeyRule& rule) {
    const std::string where = "[" + Utf16ToUtf8(section.name) + "] ";
    int stop = 0;  // the first DATAn the engine does not take
    for (int n = 1; n <= kMaxByteListBytes && stop == 0; ++n) {
      const std::u16string key = std::u16string(rule.name) + Digits(n);
      const CSettingItem item = reader.ReadKey(file, known.name, key);
      const CSettingItem asByte = reader.ReadNumber(file, known.name, {key, 0, 0}, 1);
      if (!item.Is(SETTING_OK)) {
        stop = n;
      } else if (!asByte.Is(SETTING_OK)) {
        Report(LineOf(section, key), where + Utf16ToUtf8(key) + " '" + Utf16ToUtf8(item.rawText) +
                                         "': not a byte from 0 to 255; the list ends before it");
        stop = n;
      }
    }
    for (const ProfileEntry& entry : section.entries) {
      const KeyRule* owner = FindKnownKey(known, entry.key);
      if (owner != &rule || EqualsIgnoringCase(entry.key, rule.name)) continue;
      if (stop != 0 && Number(entry.key.substr(rule.name.size())) > stop) {
        Report(entry.line, where + Utf16ToUtf8(entry.key) + ": never read, the list ends at " +
                               Utf16ToUtf8(rule.name) + std::to_string(stop));
      }
    }
  }

  void CheckDirectData(const std::map<const KnownSection*, const ProfileSection*>& firstOf) {
    for (const char16_t* name : {u"Set_Direct_Data_By_CtrlCmd", u"SET_DIRECT_DATA"}) {
      const KnownSection* direct = FindKnownSection(name);
      if (!firstOf.contains(direct) ||
          !reader.ReadByteList(file, direct->name, u"DATA").Is(SETTING_OK)) {
        continue;
      }
      for (const auto& [known, section] : firstOf) {
        if (known != direct && known->afterDirectData) {
          Report(section->line, "[" + Utf16ToUtf8(section->name) + "]: not applied, [" +
                                    Utf16ToUtf8(direct->name) + "] ends the run before it");
        }
      }
      return;
    }
  }

  std::string Suggestion(std::u16string_view name, std::span<const std::u16string> candidates) {
    const std::optional<std::u16string> closest = ClosestName(name, candidates);
    return closest ? " (did you mean " + Utf16ToUtf8(*closest) + "?)" : "";
  }

  std::string NameSuggestion(const CSettingItem& item, const KeyRule& rule) {
    std::vector<std::u16string> names;
    for (const SETTING_VALUE_NAME& name : rule.names) names.emplace_back(name.name);
    return Suggestion(item.rawText, names);
  }

  static std::vector<std::u16string> SectionNames() {
    std::vector<std::u16string> names;
    for (const KnownSection& section : KnownSections()) names.push_back(section.name);
    return names;
  }

  static std::u16string Digits(int n) {
    std::u16string text;
    for (const char c : std::to_string(n)) text.push_back(static_cast<char16_t>(c));
    return text;
  }

  static int Number(std::u16string_view digits) {
    int n = 0;
    for (const char16_t c : digits) n = n * 10 + (c - u'0');
    return n;
  }

  static int LineOf(const ProfileSection& section, std::u16string_view key) {
    for (const ProfileEntry& entry : section.entries) {
      if (EqualsIgnoringCase(entry.key, key)) return entry.line;
    }
    return section.line;
  }

  void Report(int line, std::string text) { problems.push_back({line, std::move(text)}); }

  const CSettingReader& reader;
  const std::filesystem::path& file;
  const std::vector<ProfileSection>& sections;
  std::vector<Problem> problems;
};

}  // namespace

int RunCheck(const std::filesystem::path& file, std::ostream& out, std::ostream& errors) {
  const CDiskFileSource files;
  std::string bytes;
  if (!files.Exists(file) || !files.ReadAll(file, bytes)) {
    errors << "lx2d-settings: cannot read " << file.string() << '\n';
    return 2;
  }
  const CThreadCodePage codePage;
  const CSettingReader reader(files, codePage);
  const std::vector<ProfileSection> sections = ParseProfile(DecodeProfileBytes(bytes, codePage));
  std::vector<Problem> problems = CChecker(reader, file, sections).Run();
  for (const Problem& problem : problems)
    out << "line " << problem.line << ": " << problem.text << '\n';

  const CSettingItem bcrType = ReadRuleKey(reader, file, kIdentificationSection, kBcrTypeKey);
  const std::string raw = Utf16ToUtf8(bcrType.rawText);
  if (IsUsableBcrType(bcrType.value)) {
    out << "BCR_TYPE " << raw << " (" << bcrType.value << "): the file is used\n";
  } else {
    out << "BCR_TYPE " << (bcrType.Is(SETTING_MISSING) ? "missing" : raw)
        << ": the file is not used (it needs VELTRIX_QM20_2D, VELTRIX_QM20_2D_WITHOUT_FACTORY_DEF, "
           "VELTRIX_QM20_2D_TYPE_A or VELTRIX_QM70_2D_USB_HID_TYPE_B)\n";
  }
  const std::size_t count = problems.size() + (IsUsableBcrType(bcrType.value) ? 0 : 1);
  out << (count == 0 ? std::string("no problems") : std::to_string(count) + " problem(s)") << '\n';
  return count == 0 ? 0 : 1;
}

}  // namespace lx2d
