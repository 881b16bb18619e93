#include "reader_choice.h"

#include <charconv>
#include <vector>

namespace lx2d {
namespace {

constexpr int kMaxAnswers = 3;
constexpr int kMaxReaders = 256;  // more would not be read from a list anyway

struct Reader {
  std::string description;
  std::string path;
};

std::vector<Reader> ListReaders(IReaderPort& port) {
  std::vector<Reader> readers;
  std::string description;
  for (int index = 0; index < kMaxReaders && port.EnumDevices(index, &description); ++index) {
    Reader reader{description, {}};
    port.FindDevice(reader.path, description);
    readers.push_back(std::move(reader));
  }
  return readers;
}

std::string Question(const std::vector<Reader>& readers, size_t preferred) {
  std::string text = "Reader ports:\n";
  for (size_t i = 0; i < readers.size(); ++i) {
    text += "  " + std::to_string(i + 1) + "  " + readers[i].description + "  (" + readers[i].path +
            ")\n";
  }
  return text + "Reader to use [1-" + std::to_string(readers.size()) + "] (" +
         std::to_string(preferred + 1) + "), or q to cancel: ";
}

// The list index an answer names; nullopt when it names none.
std::optional<size_t> Pick(std::string_view answer, size_t count, size_t preferred) {
  while (!answer.empty() && answer.front() == ' ') answer.remove_prefix(1);
  while (!answer.empty() && (answer.back() == ' ' || answer.back() == '\r'))
    answer.remove_suffix(1);
  if (answer.empty()) return preferred;
  size_t number = 0;
  const auto [end, status] = std::from_chars(answer.data(), answer.data() + answer.size(), number);
  if (status != std::errc() || end != answer.data() + answer.size() || number < 1 ||
      number > count) {
    return std::nullopt;
  }
  return number - 1;
}

}  // namespace

uint16_t ChooseReaderWithoutDisplay(IReaderPort& port, std::string& description,
                                    const AskQuestion& ask) {
  const std::vector<Reader> readers = ListReaders(port);
  if (readers.empty()) return kReaderChoiceNoReader;
  const std::string last = port.ChosenReader();
  size_t preferred = 0;
  for (size_t i = 0; i < readers.size(); ++i) {
    if (!last.empty() && readers[i].path == last) preferred = i;
  }
  std::optional<size_t> chosen;
  for (int attempt = 0; attempt < kMaxAnswers && !chosen; ++attempt) {
    const std::optional<std::string> answer = ask(Question(readers, preferred));
    if (!answer) {
      chosen = 0;  // nobody to ask
    } else if (*answer == "q" || *answer == "Q") {
      return kReaderChoiceCancelled;
    } else {
      chosen = Pick(*answer, readers.size(), preferred);
    }
  }
  if (!chosen) return kReaderChoiceCancelled;
  description = readers[*chosen].description;
  port.SetChosenReader(readers[*chosen].path);
  return 0;
}

}  // namespace lx2d
