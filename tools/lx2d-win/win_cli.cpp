#include "win_cli.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <ostream>

#include "platform/last_error.h"

namespace lx2d::win {

using namespace platform;

namespace {

struct StandardMessage {
  UINT number;
  const char* name;
};

constexpr StandardMessage kStandardMessages[] = {
    {WM_NULL, "WM_NULL"},
    {WM_CREATE, "WM_CREATE"},
    {WM_DESTROY, "WM_DESTROY"},
    {WM_MOVE, "WM_MOVE"},
    {WM_SIZE, "WM_SIZE"},
    {WM_CLOSE, "WM_CLOSE"},
    {WM_QUERYENDSESSION, "WM_QUERYENDSESSION"},
    {WM_QUIT, "WM_QUIT"},
    {WM_ENDSESSION, "WM_ENDSESSION"},
    {WM_NCDESTROY, "WM_NCDESTROY"},
    {WM_COMMAND, "WM_COMMAND"},
    {WM_SYSCOMMAND, "WM_SYSCOMMAND"},
    {WM_TIMER, "WM_TIMER"},
    {WM_USER, "WM_USER"},
};

constexpr const char* kUsage =
    "usage: lx2d-win list\n"
    "       lx2d-win spy [--class NAME] [--count N]\n"
    "       lx2d-win send CLASS MESSAGE [WPARAM] [LPARAM]\n";

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

// A number for a field `bits` wide: decimal or 0x hex, digits only (no
// blanks, no '+', no sign after 0x), within the field. With `signedToo` a
// decimal may be negative down to the field's signed minimum and is taken as
// its two's complement pattern. nullopt otherwise.
std::optional<std::uint64_t> ParseField(const std::string& text, unsigned bits, bool signedToo) {
  const std::uint64_t max = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  bool negative = !hex && signedToo && !text.empty() && text[0] == '-';
  std::string digits = text.substr(hex ? 2 : negative ? 1 : 0);
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  const unsigned base = hex ? 16 : 10;
  for (char c : digits) {
    int digit = c >= '0' && c <= '9'          ? c - '0'
                : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
    if (digit < 0 || value > (max - static_cast<unsigned>(digit)) / base) return std::nullopt;
    value = value * base + static_cast<unsigned>(digit);
  }
  if (!negative) return value;
  const std::uint64_t smallest = std::uint64_t{1} << (bits - 1);  // magnitude of the minimum
  if (value > smallest) return std::nullopt;
  return (~value + 1) & max;
}

// One line, like the other tools; the usage itself comes with --help.
int Usage(std::ostream& err, const std::string& message) {
  err << "lx2d-win: " << message << " (lx2d-win --help shows the usage)\n";
  return kExitUsage;
}

// Spy state: the stream and how many messages remain (-1: no limit).
std::ostream* spyOut = nullptr;
long spyRemaining = -1;

LRESULT SpyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  bool ownLife = message == WM_CREATE || message == WM_DESTROY || message == WM_NCDESTROY;
  if (!ownLife && spyRemaining != 0) {
    *spyOut << SpyLine(message, wParam, lParam) << std::endl;  // flushed: others read it live
    if (spyRemaining > 0 && --spyRemaining == 0) {
      PostMessage(window, WM_CLOSE, 0, 0);
    }
  }
  switch (message) {
    case WM_QUERYENDSESSION:
      PostMessage(window, WM_CLOSE, 0, 0);
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return 0;  // the spy only watches
  }
}

int List(std::ostream& out) {
  for (const TWindowInfo& info : ListWindows()) {
    char handle[24];
    std::snprintf(handle, sizeof(handle), "0x%08lx", static_cast<unsigned long>(info.handle));
    out << handle << "    " << info.className << "    " << info.processId << "    " << info.title
        << "\n";
  }
  return kExitSuccess;
}

int Spy(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string className = "Lx2dSpy";
  spyRemaining = -1;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--class" && i + 1 < args.size()) {
      className = args[++i];
    } else if (args[i] == "--count" && i + 1 < args.size()) {
      std::optional<std::uint64_t> count = ParseField(args[++i], 31, false);
      if (!count || *count == 0) return Usage(err, "--count needs a positive number");
      spyRemaining = static_cast<long>(*count);
    } else {
      return Usage(err, "unknown spy option " + args[i]);
    }
  }
  spyOut = &out;
  WNDCLASS windowClass;
  windowClass.lpfnWndProc = SpyProc;
  windowClass.lpszClassName = className;
  HWND window = 0;
  if (RegisterClass(windowClass) != 0) {
    window = CreateWindowEx(0, className, "lx2d-win spy", WS_POPUP, 0, 0, 0, 0, 0, 0, nullptr);
  }
  if (window == 0) {
    err << "lx2d-win: cannot create a window (error " << GetLastError() << ")\n";
    return kExitFailed;
  }
  char handle[24];
  std::snprintf(handle, sizeof(handle), "0x%08lx", static_cast<unsigned long>(window));
  out << handle << std::endl;
  MSG msg;
  while (GetMessage(&msg, 0, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  return kExitSuccess;
}

int Send(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 3 || args.size() > 5)
    return Usage(err, "send takes CLASS MESSAGE [WPARAM] [LPARAM]");
  std::optional<std::uint64_t> wParam = args.size() > 3 ? ParseField(args[3], 64, true) : 0;
  if (!wParam) return Usage(err, "WPARAM " + args[3] + " is not a 64-bit number");
  std::optional<std::uint64_t> lParam = args.size() > 4 ? ParseField(args[4], 64, true) : 0;
  if (!lParam) return Usage(err, "LPARAM " + args[4] + " is not a 64-bit number");
  UINT message = MessageNumber(args[2]);
  if (message == 0) {
    return Usage(err, "MESSAGE \"" + args[2] + "\" is no name nor a number in 1..0xFFFFFFFF");
  }
  HWND window = FindWindow(args[1]);
  if (window == 0) {
    err << "lx2d-win: no window of class " << args[1] << "\n";
    return kExitFailed;
  }
  SetLastError(ERROR_SUCCESS);
  LRESULT answer =
      SendMessage(window, message, static_cast<WPARAM>(*wParam), static_cast<LPARAM>(*lParam));
  if (answer == 0 && GetLastError() != ERROR_SUCCESS) {
    err << "lx2d-win: the window went away before answering\n";
    return kExitFailed;
  }
  out << answer << "\n";
  return kExitSuccess;
}

}  // namespace

std::string MessageName(UINT message) {
  for (const StandardMessage& standard : kStandardMessages) {
    if (standard.number == message) return standard.name;
  }
  std::string registered = GetRegisteredMessageName(message);
  if (!registered.empty()) return registered;
  char text[24];
  std::snprintf(text, sizeof(text), "0x%04x", message);
  return text;
}

UINT MessageNumber(const std::string& text) {
  if (text.empty()) return 0;
  for (const StandardMessage& standard : kStandardMessages) {
    if (text == standard.name) return standard.number;
  }
  // What starts like a number must be one that fits: never a name to register.
  const char first = text[0];
  if ((first >= '0' && first <= '9') || first == '-' || first == '+' || first == ' ' ||
      first == '\t') {
    std::optional<std::uint64_t> number = ParseField(text, 32, false);
    return number ? static_cast<UINT>(*number) : 0;
  }
  return RegisterWindowMessage(text);
}

std::string SpyLine(UINT message, WPARAM wParam, LPARAM lParam) {
  return MessageName(message) + " " + Hex(wParam) + " " + Hex(static_cast<std::uint64_t>(lParam));
}

int RunWinCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return Usage(err, "no command");
  if (args[0] == "--help" || args[0] == "-h") {
    out << kUsage;
    return kExitSuccess;
  }
  if (args[0] == "list" && args.size() == 1) return List(out);
  if (args[0] == "spy") return Spy(args, out, err);
  if (args[0] == "send") return Send(args, out, err);
  return Usage(err, "unknown command " + args[0]);
}

}  // namespace lx2d::win
