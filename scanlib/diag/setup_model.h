// The reader-selection dialog without a display: its sorted device list,
// the entry selected, OK and Cancel; and the same choice asked as a
// numbered list on a terminal.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lx2d {

class CSetupDlgModel {
 public:
  // The entries as the combo box keeps them (sorted without regard to
  // case, as a sorted combo box does); the first one selected.
  explicit CSetupDlgModel(std::vector<std::string> entries);

  const std::vector<std::string>& Entries() const { return entries_; }
  // Index of the selected entry; -1 when the list is empty.
  int Selected() const { return selected_; }
  // Selects `index`; false (selection unchanged) when it is out of range.
  bool Select(int index);

  // OK: the selected entry's text becomes the selection ("" with an empty
  // list). Cancel: the selection is emptied.
  void Ok();
  void Cancel();

  // The chosen text after OK; nothing after Cancel or before either.
  const std::optional<std::string>& Selection() const { return selection_; }

 private:
  std::vector<std::string> entries_;
  int selected_;
  std::optional<std::string> selection_;
};

// One question on a terminal: the prompt to show, the answer read; nothing
// at end of file.
using AskLine = std::function<std::optional<std::string>(std::string_view prompt)>;

// Runs the dialog as text: lists the entries numbered from 1 and asks for a
// number. A number chooses its entry, Enter alone takes the selected one,
// "q" or end of file cancels; anything else asks again. Ends in Ok() or
// Cancel() on `model`.
void RunTerminalSetup(CSetupDlgModel& model, const AskLine& ask);

}  // namespace lx2d
