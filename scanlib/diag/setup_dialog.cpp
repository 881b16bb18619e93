// The reader-selection dialog: window first, terminal second.
#include "setup_dialog.h"

#include <charconv>

#include "platform/helper_process.h"
#include "platform/terminal.h"
#include "setup_model.h"

namespace lx2d {
namespace {

// The view's answer: true when it gave one (OK or Cancel applied to
// `model`); false when it could not be asked.
bool AskInWindow(const std::string& viewProgram, CSetupDlgModel& model) {
  if (!platform::DisplayAvailable()) return false;
  auto view = platform::CHelperProcess::Start(viewProgram, {"setup"});
  if (view == nullptr) return false;
  std::string entries;
  for (const std::string& entry : model.Entries()) {
    for (char c : entry) entries.push_back(c == '\n' || c == '\r' ? ' ' : c);
    entries.push_back('\n');
  }
  if (!view->Write(entries, 10000)) return false;
  view->CloseInput();
  std::string answer;
  // Modal: the user takes as long as they like.
  const bool answered = view->ReadLine(answer, -1) == 1;
  view->Finish(5000);
  if (!answered) return false;
  if (answer == "cancel") {
    model.Cancel();
    return true;
  }
  constexpr std::string_view kOk = "ok ";
  if (answer.compare(0, kOk.size(), kOk) != 0) return false;
  int index = -1;
  const char* first = answer.data() + kOk.size();
  const char* last = answer.data() + answer.size();
  const auto [end, error] = std::from_chars(first, last, index);
  if (error != std::errc() || end != last) return false;
  if (index >= 0 && !model.Select(index)) return false;
  model.Ok();
  return true;
}

}  // namespace

SetupResult RunSetupDialog(const std::string& viewProgram, std::vector<std::string> entries) {
  CSetupDlgModel model(std::move(entries));
  if (!AskInWindow(viewProgram, model)) {
    if (!platform::HasTerminal()) return {SetupOutcome::kNoUserFound, {}};
    RunTerminalSetup(model, [](std::string_view prompt) -> std::optional<std::string> {
      std::string line;
      if (platform::AskTerminal(prompt, line) != platform::TerminalAnswer::kLine)
        return std::nullopt;
      return line;
    });
  }
  const auto& selection = model.Selection();
  if (!selection) return {SetupOutcome::kCancelled, {}};
  return {SetupOutcome::kOk, *selection};
}

}  // namespace lx2d
