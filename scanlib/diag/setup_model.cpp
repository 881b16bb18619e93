// The reader-selection dialog's state and its terminal form.
#include "setup_model.h"

#include <algorithm>
#include <charconv>

namespace lx2d {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool CaseInsensitiveLess(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Lower(x) < Lower(y); });
}

}  // namespace

CSetupDlgModel::CSetupDlgModel(std::vector<std::string> entries)
    : entries_(std::move(entries)), selected_(entries_.empty() ? -1 : 0) {
  std::stable_sort(entries_.begin(), entries_.end(), CaseInsensitiveLess);
}

bool CSetupDlgModel::Select(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return false;
  selected_ = index;
  return true;
}

void CSetupDlgModel::Ok() { selection_ = selected_ < 0 ? std::string() : entries_[selected_]; }

void CSetupDlgModel::Cancel() { selection_.reset(); }

void RunTerminalSetup(CSetupDlgModel& model, const AskLine& ask) {
  std::string listing = "Online setup\nSelect Device and click OK\n";
  const auto& entries = model.Entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    listing += "  " + std::to_string(i + 1) + ") " + entries[i] + "\n";
  }
  if (entries.empty()) listing += "  (no reader found)\n";
  std::string prompt = listing;
  for (;;) {
    prompt += model.Selected() < 0
                  ? "Enter: OK, q: cancel > "
                  : "Number (Enter: " + std::to_string(model.Selected() + 1) + ", q: cancel) > ";
    const std::optional<std::string> answer = ask(prompt);
    if (!answer || *answer == "q" || *answer == "Q") {
      model.Cancel();
      return;
    }
    if (answer->empty()) {
      model.Ok();
      return;
    }
    int number = 0;
    const auto [end, error] =
        std::from_chars(answer->data(), answer->data() + answer->size(), number);
    if (error == std::errc() && end == answer->data() + answer->size() &&
        model.Select(number - 1)) {
      model.Ok();
      return;
    }
    prompt = "No entry \"" + *answer + "\".\n";
  }
}

}  // namespace lx2d
