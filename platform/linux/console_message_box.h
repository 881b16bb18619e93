// The message box of a program without windows: the standard error stream and
// the controlling terminal.
#pragma once

#include <string>

#include "platform/message_box.h"

namespace lx2d::platform {

class CConsoleMessageBox final : public IMessageBox {
 public:
  // Questions are written to `promptFile` and answered from `answerFile`
  // (both the controlling terminal normally); `errorStream` receives the box
  // lines. Tests pass files and a pipe.
  explicit CConsoleMessageBox(std::string answerFile = "/dev/tty",
                              std::string promptFile = "/dev/tty", int errorStream = 2);

  // Writes "<caption>: <text>\n" to the error stream. A box with more than one
  // button then asks on the terminal, e.g. "[Yes/No] (No): ", and takes the
  // button whose name starts with the letter typed (upper or lower case); an
  // empty line, the end of input, three unusable answers or no terminal at all
  // give the default button; so does a program in the background (not in the
  // foreground process group of the answering terminal), which is never
  // stopped by its shell for reading the terminal.
  int Show(HWND owner, std::string_view text, std::string_view caption, UINT style) override;

 private:
  std::string answerPath;
  std::string promptPath;
  int errorFd;
};

}  // namespace lx2d::platform
