// A helper program run as a child process that talks line by line over its
// standard input and output, and whether a desktop display is reachable.
// The library shows its windows through such a helper, so that no toolkit
// is loaded into the host process.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lx2d::platform {

// True when the environment names a display (DISPLAY or WAYLAND_DISPLAY
// set and not empty).
bool DisplayAvailable();

class CHelperProcess {
 public:
  // Starts `program` with `args` (argv[1...]), its standard input and output
  // connected to this object and its standard error inherited. Results: the
  // helper; null when the program could not be started (missing, not
  // executable, out of resources).
  static std::unique_ptr<CHelperProcess> Start(const std::string& program,
                                               const std::vector<std::string>& args);

  // Closes the pipes; a helper still running is ended as Finish(0) does.
  ~CHelperProcess();
  CHelperProcess(const CHelperProcess&) = delete;
  CHelperProcess& operator=(const CHelperProcess&) = delete;

  // Writes `bytes` to the helper's input, waiting at most `timeoutMs` for
  // room. Results: true when all went out; false when the helper has closed
  // its input or exited, its input is already closed, or the time ran out
  // (then part of the bytes may have gone out). Never raises SIGPIPE.
  bool Write(std::string_view bytes, int timeoutMs);

  // Ends the helper's input (it reads end of file). Idempotent.
  void CloseInput();

  // Reads one line from the helper's output, without its "\n", waiting at
  // most `timeoutMs` (negative: without limit). Results: 1 with `line` set;
  // 0 when the time ran out (a partial line is kept for the next call); -1
  // at end of output (the helper closed it or exited); a last line without
  // "\n" is returned first.
  int ReadLine(std::string& line, int timeoutMs);

  // Closes the helper's input, waits at most `graceMs` for it to exit, then
  // kills it, and reaps it. Results: its exit status (0 to 255), or -1 when
  // it was killed or ended by a signal. Idempotent (later calls give the
  // same result).
  int Finish(int graceMs);

 private:
  CHelperProcess(int pid, int input, int output) : pid_(pid), input_(input), output_(output) {}

  int pid_;
  int input_;
  int output_;
  bool reaped_ = false;
  int status_ = -1;
  std::string pending_;
};

}  // namespace lx2d::platform
