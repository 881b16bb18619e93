#include "reader_choice.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace lx2d {
namespace {

// Readers by description and path; only the listing and the remembered
// choice are of use here.
class CListedReaders final : public IReaderPort {
 public:
  std::vector<std::pair<std::string, std::string>> readers;  // description, path
  std::string chosen;

  bool EnumDevices(int index, std::string* description) override {
    if (index < 0 || index >= static_cast<int>(readers.size())) return false;
    if (description != nullptr) *description = readers[static_cast<size_t>(index)].first;
    return true;
  }
  int FindDevice(std::string& path, std::string_view wanted) override {
    for (const auto& [description, at] : readers) {
      if (description == wanted) {
        path = at;
        return 0;
      }
    }
    return 1;
  }
  void SetChosenReader(std::string_view path) override { chosen = path; }
  std::string ChosenReader() const override { return chosen; }

  int Open(std::string_view) override { return -1; }
  int Close() override { return 0; }
  uint32_t WriteAll(std::span<const uint8_t>) override { return kTransportNotOpen; }
  void SetObserver(ILinkObserver*) override {}
  int WriteReports(std::span<const uint8_t>, uint32_t) override { return 0; }
  uint32_t ReadByte(uint8_t&, uint32_t) override { return kTransportNotOpen; }
  bool PollInput(uint32_t) override { return false; }
  bool WaitForInput(uint32_t) override { return false; }
};

// Answers from a script; nullopt once it is used up (nobody there).
struct ScriptedAnswers {
  std::deque<std::optional<std::string>> answers;
  std::vector<std::string> questions;
  AskQuestion Asker() {
    return [this](std::string_view question) -> std::optional<std::string> {
      questions.emplace_back(question);
      if (answers.empty()) return std::nullopt;
      auto answer = answers.front();
      answers.pop_front();
      return answer;
    };
  }
};

TEST(ReaderChoice, AnswersTable) {
  struct Case {
    const char* what;
    std::string chosenBefore;
    std::deque<std::optional<std::string>> answers;
    uint16_t result;
    std::string description;  // when chosen
    size_t questions;
  };
  const std::vector<Case> cases = {
      {"nobody at a terminal: the first", "/dev/ttyB", {std::nullopt}, 0, "Reader A SN1", 1},
      {"a number", "", {"2"}, 0, "Reader B SN2", 1},
      {"blanks around a number", "", {" 3 \r"}, 0, "Reader C", 1},
      {"empty: the one chosen last", "/dev/ttyB", {""}, 0, "Reader B SN2", 1},
      {"empty, last one gone: the first", "/dev/ttyZ", {""}, 0, "Reader A SN1", 1},
      {"q cancels", "", {"q"}, kReaderChoiceCancelled, "", 1},
      {"out of range, then right", "", {"4", "0", "1"}, 0, "Reader A SN1", 3},
      {"three wrong answers cancel", "", {"x", "-1", "2x"}, kReaderChoiceCancelled, "", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CListedReaders port;
    port.readers = {
        {"Reader A SN1", "/dev/ttyA"}, {"Reader B SN2", "/dev/ttyB"}, {"Reader C", "/dev/ttyC"}};
    port.chosen = c.chosenBefore;
    ScriptedAnswers script{c.answers, {}};
    std::string description = "untouched";
    EXPECT_EQ(ChooseReaderWithoutDisplay(port, description, script.Asker()), c.result);
    EXPECT_EQ(script.questions.size(), c.questions);
    if (c.result == 0) {
      EXPECT_EQ(description, c.description);
      std::string path;
      port.FindDevice(path, c.description);
      EXPECT_EQ(port.chosen, path);
    } else {
      EXPECT_EQ(description, "untouched");
      EXPECT_EQ(port.chosen, c.chosenBefore);
    }
  }
}

TEST(ReaderChoice, ChoiceRemembersThePath_QuestionListsEveryReader) {
  CListedReaders port;
  port.readers = {{"Reader A SN1", "/dev/ttyA"}, {"Reader B SN2", "/dev/ttyB"}};
  ScriptedAnswers script{{"2"}, {}};
  std::string description;
  ASSERT_EQ(ChooseReaderWithoutDisplay(port, description, script.Asker()), 0);
  EXPECT_EQ(port.chosen, "/dev/ttyB");
  ASSERT_EQ(script.questions.size(), 1u);
  EXPECT_EQ(script.questions[0],
            "Reader ports:\n"
            "  1  Reader A SN1  (/dev/ttyA)\n"
            "  2  Reader B SN2  (/dev/ttyB)\n"
            "Reader to use [1-2] (1), or q to cancel: ");
}

TEST(ReaderChoice, NoReader_NothingAsked) {
  CListedReaders port;
  ScriptedAnswers script{{"1"}, {}};
  std::string description = "untouched";
  EXPECT_EQ(ChooseReaderWithoutDisplay(port, description, script.Asker()), kReaderChoiceNoReader);
  EXPECT_TRUE(script.questions.empty());
  EXPECT_EQ(description, "untouched");
}

}  // namespace
}  // namespace lx2d
