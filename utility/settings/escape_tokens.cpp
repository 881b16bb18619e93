#include "escape_tokens.h"

#include <algorithm>

#include "parameter_record.h"

namespace lx2d {
namespace {

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWithToken(std::string_view text, std::string_view token) {
  return text.size() >= token.size() &&
         std::equal(token.begin(), token.end(), text.begin(),
                    [](char a, char b) { return FoldAscii(a) == FoldAscii(b); });
}

}  // namespace

void ReplaceEscapeTokens(CSettingItem& item) {
  if (!item.record || item.record->size() < 4 || item.value != 0) return;
  const std::vector<uint8_t>& old = *item.record;
  std::string_view text(reinterpret_cast<const char*>(old.data()) + 4, old.size() - 4);
  std::string replaced;
  replaced.reserve(text.size());
  while (!text.empty()) {
    const auto token =
        text.front() != '<'
            ? std::end(kEscapeTokens)
            : std::find_if(std::begin(kEscapeTokens), std::end(kEscapeTokens),
                           [&](const EscapeToken& t) { return StartsWithToken(text, t.token); });
    if (token == std::end(kEscapeTokens)) {
      replaced.push_back(text.front());
      text.remove_prefix(1);
    } else {
      replaced.push_back(static_cast<char>(token->byte));
      text.remove_prefix(token->token.size());
    }
  }
  item.record = MakeTextRecord(old[0], old[1], replaced);
  item.value = 1;
}

}  // namespace lx2d
