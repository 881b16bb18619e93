// The utility's string tables: English, French and Japanese texts under the
// same numeric ids, chosen by the user interface language.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lx2d {

enum class UiLanguage : uint8_t { kEnglish, kFrench, kJapanese };

// String ids.
inline constexpr uint32_t kIdsAppTitle = 0xE000;         // "LX2D_SET" in every table
inline constexpr uint32_t kIdsFutureOsWarning = 207;     // question for an unknown newer OS
inline constexpr uint32_t kIdsLibraryResultBase = 230;   // + a library result code
inline constexpr uint32_t kIdsBindingResultBase = 200;   // + a binding result (81 to 98)
inline constexpr uint32_t kIdsCannotLoadLibrary = 280;   // followed by the library file name
inline constexpr uint32_t kIdsVersionCheckFailed = 283;  // then a line feed and 230 + result

// The language named by the first of LC_ALL, LC_MESSAGES and LANG that is
// set and not empty: "fr..." French, "ja..." Japanese, anything else
// English.
UiLanguage UiLanguageFromLocale(std::string_view lcAll, std::string_view lcMessages,
                                std::string_view lang);

// The same, from the process environment.
UiLanguage CurrentUiLanguage();

// The text of `id` in `language`; empty for an id without a text.
std::u16string_view LoadUtilityString(UiLanguage language, uint32_t id);

// A text for a library result that has none in the tables, naming the
// number ("Library error 13").
std::u16string UnlistedLibraryResultText(UiLanguage language, uint32_t result);

}  // namespace lx2d
