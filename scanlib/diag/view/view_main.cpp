// lx2d-diag-view: the library's windows, in a process of their own so that
// no toolkit is loaded into the host program (see docs/diag-windows.md).
//
//   lx2d-diag-view spy LEFT TOP RIGHT BOTTOM OPEN_TICK_MS
//   lx2d-diag-view setup            (entries on standard input, one a line)
#include <gtk/gtk.h>

#include <charconv>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include "compact_style.h"
#include "setup_view.h"
#include "spy_view.h"

namespace {

template <class Number>
bool Parse(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The toolkit could not reach the display: the library then shows nothing
// (spy window) or asks on the terminal (dialog).
int NoDisplay() {
  std::fputs("lx2d-diag-view: cannot open the display\n", stderr);
  return 3;
}

int Usage() {
  std::fputs(
      "usage: lx2d-diag-view spy LEFT TOP RIGHT BOTTOM OPEN_TICK_MS\n"
      "       lx2d-diag-view setup   (entries on standard input)\n",
      stderr);
  return 2;
}

}  // namespace

// Fontconfig and GTK keep their caches until the process ends; that is not
// a leak of ours, so a sanitized build does not report it.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string_view mode = argv[1];
  if (mode == "spy" && argc == 7) {
    lx2d::SpyRect rect;
    int64_t openTick = 0;
    if (!Parse(argv[2], rect.left) || !Parse(argv[3], rect.top) || !Parse(argv[4], rect.right) ||
        !Parse(argv[5], rect.bottom) || !Parse(argv[6], openTick)) {
      return Usage();
    }
    if (!gtk_init_check(&argc, &argv)) return NoDisplay();
    lx2d::view::UseCompactStyle();
    return lx2d::view::RunSpyWindow(rect, openTick);
  }
  if (mode == "setup" && argc == 2) {
    std::vector<std::string> entries;
    for (std::string line; std::getline(std::cin, line);) entries.push_back(line);
    if (!gtk_init_check(&argc, &argv)) return NoDisplay();
    lx2d::view::UseCompactStyle();
    return lx2d::view::RunSetupDialog(std::move(entries));
  }
  return Usage();
}
