// The configuration dialog's choice of reader where no window can be shown:
// the question on the controlling terminal, or, with nobody there, the
// first reader.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "reader_port.h"

namespace lx2d {

// Result when there is no reader to choose from ("Interface port not
// available", as Connect answers for a reader it cannot find).
inline constexpr uint16_t kReaderChoiceNoReader = 9;

// Puts a question and answers the reply; nullopt when nobody can answer.
using AskQuestion = std::function<std::optional<std::string>(std::string_view question)>;

// Lists the readers of `port` and asks which one to use: a number from the
// list, an empty answer for the one chosen last (when listed, else the
// first), or "q" to cancel; after three answers that are none of these the
// choice is cancelled. With nobody to ask, the first reader is taken.
// 0 with the reader's description in `description` and the reader
// remembered with SetChosenReader; kReaderChoiceCancelled;
// kReaderChoiceNoReader.
uint16_t ChooseReaderWithoutDisplay(IReaderPort& port, std::string& description,
                                    const AskQuestion& ask);

}  // namespace lx2d
