#include "setup_model.h"

#include <gtest/gtest.h>

#include <deque>

namespace lx2d {
namespace {

TEST(SetupDlgModel, Entries_SortedWithFirstSelected) {
  CSetupDlgModel model({"beta reader 2", "Alpha reader 9", "alpha reader 1"});
  EXPECT_EQ(model.Entries(),
            (std::vector<std::string>{"alpha reader 1", "Alpha reader 9", "beta reader 2"}));
  EXPECT_EQ(model.Selected(), 0);
  EXPECT_FALSE(model.Selection().has_value());
  model.Ok();
  EXPECT_EQ(model.Selection(), "alpha reader 1");
}

TEST(SetupDlgModel, NoReader_OkGivesEmptySelection_CancelGivesNone) {
  CSetupDlgModel model({});
  EXPECT_EQ(model.Selected(), -1);
  EXPECT_FALSE(model.Select(0));
  model.Ok();
  EXPECT_EQ(model.Selection(), "");
  model.Cancel();
  EXPECT_FALSE(model.Selection().has_value());
}

// Answers the terminal questions from a list; end of file after the last.
struct ScriptedTerminal {
  std::deque<std::optional<std::string>> answers;
  std::string shown;
  std::optional<std::string> operator()(std::string_view prompt) {
    shown += prompt;
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

TEST(SetupDlgModel, Terminal_AnswersChooseOrCancel) {
  struct Case {
    const char* what;
    std::vector<std::optional<std::string>> answers;
    std::optional<std::string> selection;
  };
  const Case kCases[] = {
      {"Enter takes the first", {""}, "A reader"},
      {"a number chooses", {"2"}, "B reader"},
      {"q cancels", {"q"}, std::nullopt},
      {"end of file cancels", {std::nullopt}, std::nullopt},
      {"out of range asks again", {"3", "0", "x", "2"}, "B reader"},
      {"wrong then end of file", {"9"}, std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    CSetupDlgModel model({"B reader", "A reader"});
    ScriptedTerminal terminal{{c.answers.begin(), c.answers.end()}, ""};
    RunTerminalSetup(model, std::ref(terminal));
    EXPECT_EQ(model.Selection(), c.selection);
  }
}

TEST(SetupDlgModel, Terminal_ListsNumberedSortedEntries) {
  CSetupDlgModel model({"B reader", "A reader"});
  ScriptedTerminal terminal{{std::string("7"), std::string("")}, ""};
  RunTerminalSetup(model, std::ref(terminal));
  EXPECT_EQ(terminal.shown,
            "Online setup\nSelect Device and click OK\n  1) A reader\n  2) B reader\n"
            "Number (Enter: 1, q: cancel) > No entry \"7\".\nNumber (Enter: 1, q: cancel) > ");
  EXPECT_EQ(model.Selection(), "A reader");
}

TEST(SetupDlgModel, Terminal_NoReader_EnterGivesEmptySelection) {
  CSetupDlgModel model({});
  ScriptedTerminal terminal{{std::string("")}, ""};
  RunTerminalSetup(model, std::ref(terminal));
  EXPECT_EQ(model.Selection(), "");
  EXPECT_NE(terminal.shown.find("(no reader found)"), std::string::npos);
}

}  // namespace
}  // namespace lx2d
