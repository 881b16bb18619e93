#include "result_messages.h"

#include "barcode_dll.h"

namespace lx2d {

std::u16string LibraryResultText(UiLanguage language, uint16_t result) {
  const std::u16string_view text = LoadUtilityString(language, kIdsLibraryResultBase + result);
  return text.empty() ? UnlistedLibraryResultText(language, result) : std::u16string(text);
}

std::u16string BindingFailureText(UiLanguage language, int bindingResult, uint16_t lastResult,
                                  std::u16string_view libraryFileName) {
  if (bindingResult == kBindNotLoadable) {
    return std::u16string(LoadUtilityString(language, kIdsCannotLoadLibrary)) +
           std::u16string(libraryFileName);
  }
  if (bindingResult == kBindVersionCheckFailed) {
    return std::u16string(LoadUtilityString(language, kIdsVersionCheckFailed)) + u"\n" +
           LibraryResultText(language, lastResult);
  }
  return std::u16string(
      LoadUtilityString(language, kIdsBindingResultBase + static_cast<uint32_t>(bindingResult)));
}

}  // namespace lx2d
