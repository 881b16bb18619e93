// The spy window and the reader-selection dialog as a host meets them: the
// library loaded at run time and connected to the simulated reader, its
// windows on a virtual display (tests/diag/with_xvfb.sh), looked at with
// xdotool and imagemagick as a user would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "library_host.h"
#include "platform/helper_process.h"
#include "platform/registry.h"

namespace lx2d::test {
namespace {

namespace pf = lx2d::platform;
using namespace std::chrono_literals;

constexpr const char* kSettingsKey = "Software\\Lx2dTest";

// Runs a tool on the test display; its output lines.
std::vector<std::string> Tool(const std::vector<std::string>& command) {
  const char* display = std::getenv("LX2D_TEST_DISPLAY");
  std::vector<std::string> args{"DISPLAY=" + std::string(display == nullptr ? "" : display)};
  args.insert(args.end(), command.begin(), command.end());
  auto tool = pf::CHelperProcess::Start("/usr/bin/env", args);
  std::vector<std::string> lines;
  if (tool == nullptr) return lines;
  tool->CloseInput();
  for (std::string line; tool->ReadLine(line, 20000) == 1;) lines.push_back(line);
  tool->Finish(5000);
  return lines;
}

// The X windows whose title is exactly `title`; with `visible`, only those
// mapped on screen.
std::vector<std::string> WindowsTitled(const std::string& title, bool visible = false) {
  std::vector<std::string> command{"xdotool", "search"};
  if (visible) command.push_back("--onlyvisible");
  command.insert(command.end(), {"--name", "^" + title + "$"});
  return Tool(command);
}

// The single window titled `title`, once it shows; "" when none came.
std::string AwaitWindow(const std::string& title) {
  std::string found;
  WaitUntil(
      [&] {
        const auto windows = WindowsTitled(title, true);
        if (windows.size() == 1) found = windows[0];
        return !found.empty();
      },
      30s);
  return found;
}

bool AwaitNoWindow(const std::string& title) {
  return WaitUntil([&] { return WindowsTitled(title).empty(); }, 30s);
}

// Takes a screenshot of `window` into `path` once the window has drawn
// itself (a blank one compresses to a few hundred bytes); false when it
// stayed blank.
bool Screenshot(const std::string& window, const std::filesystem::path& path) {
  return WaitUntil(
      [&] {
        Tool({"import", "-window", window, path.string()});
        std::error_code error;
        return std::filesystem::file_size(path, error) > 1000 && !error;
      },
      30s);
}

// Does `act` until the dialog has gone (a key or click sent while its
// window was still settling may go nowhere).
void UntilDialogEnds(const std::function<void()>& act) {
  WaitUntil(
      [&] {
        act();
        return WaitUntil([&] { return WindowsTitled("Online setup").empty(); }, 3s);
      },
      60s);
}

// Clicks at (x, y) pixels inside `window`.
void Click(const std::string& window, int x, int y) {
  Tool({"xdotool", "mousemove", "--window", window, std::to_string(x), std::to_string(y), "click",
        "1"});
}

// Pixels of a point inside a control at dialog units (x, y, w, h): its centre.
int CentreX(int x, int w) { return (2 * x + w) * 6 / 8; }
int CentreY(int y, int h) { return (2 * y + h) * 13 / 16; }

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

int32_t StoredDword(const char* name) {
  pf::HKEY key = 0;
  if (pf::DefaultRegistry().OpenKey(pf::HKEY_CURRENT_USER, kSettingsKey, pf::KEY_READ, &key) !=
      pf::ERROR_SUCCESS) {
    return -1;
  }
  int32_t value = -1;
  pf::DWORD type = 0;
  pf::DWORD size = sizeof value;
  pf::DefaultRegistry().QueryValue(key, name, &type, reinterpret_cast<uint8_t*>(&value), &size);
  pf::DefaultRegistry().CloseKey(key);
  return value;
}

// Where a screenshot goes: the test's folder, or LX2D_TEST_SCREENSHOT_DIR
// when set (docs/ keeps the ones made this way).
std::filesystem::path ScreenshotPath(const std::string& folder, const char* name) {
  const char* kept = std::getenv("LX2D_TEST_SCREENSHOT_DIR");
  return std::filesystem::path(kept != nullptr ? kept : folder) / name;
}

class DiagTest : public ::testing::Test {
 protected:
  RDLK_RESULT SpyWindow(unsigned char onOff) {
    uint32_t length = 0;
    return lib.DeviceIOControl(RDLK_IOCTL_SPY_WINDOW, &onOff, 1, nullptr, 0, &length);
  }

  CLibraryTest host;
  CScannerLibrary& lib = host.Library();
};

using DiagSpyWindow = DiagTest;

TEST_F(DiagSpyWindow, RequestsAndBarcode_TracedAndSaved) {
  ASSERT_TRUE(host.Connected());
  ASSERT_EQ(SpyWindow(1), RDLK_SUCCESS);
  const std::string window = AwaitWindow("Spy Window");
  ASSERT_FALSE(window.empty());

  const unsigned char request[] = {0x02, 0x10};
  unsigned char reply[64];
  uint32_t length = 0;
  ASSERT_EQ(lib.SetupRead(request, sizeof request, reply, sizeof reply, &length), RDLK_SUCCESS);
  ASSERT_EQ(lib.StatusRead(request, sizeof request, reply, sizeof reply, &length), RDLK_SUCCESS);
  const unsigned char readWord[] = {100, 0, 0, 0};
  ASSERT_EQ(lib.DeviceIOControl(RDLK_IOCTL_READ_WORD, readWord, 4, reply, sizeof reply, &length),
            RDLK_SUCCESS);
  ASSERT_TRUE(host.Reader().Command("bcd HELLO"));
  ASSERT_TRUE(WaitUntil([&] {
    return lib.GetBarcodeData(reply, sizeof reply, &length) == RDLK_SUCCESS && length > 0;
  }));
  ASSERT_TRUE(host.Reader().Command("evt 0101"));
  ASSERT_TRUE(WaitUntil([&] {
    return lib.GetEventNotification(reply, sizeof reply, &length) == RDLK_SUCCESS && length > 0;
  }));


  // Save, through the button and the file dialog.
  const auto log = std::filesystem::path(host.Folder()) / "saved" / "spy-log.txt";
  std::filesystem::create_directories(log.parent_path());
  Click(window, CentreX(209, 50), CentreY(368, 14));
  const std::string chooser = AwaitWindow("Save As");
  ASSERT_FALSE(chooser.empty());
  // The name field has the focus and holds "log.txt"; a path typed over it
  // names the file. Typed again should the keys have gone nowhere.
  ASSERT_TRUE(WaitUntil(
      [&] {
        if (std::filesystem::exists(log)) return true;
        if (!WindowsTitled("Save As", true).empty()) {
          Tool({"xdotool", "windowfocus", "--sync", chooser, "key", "ctrl+a", "type", "--delay",
                "5", log.string()});
          Tool({"xdotool", "windowfocus", "--sync", chooser, "key", "Return"});
        }
        return WaitUntil([&] { return std::filesystem::exists(log); }, 3s);
      },
      60s));
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(log).find("BCD") != std::string::npos; }, 30s))
      << ReadFile(log);

  const std::string text = ReadFile(log);
  EXPECT_EQ(text.back(), '\n');
  std::istringstream lines(text);
  const std::regex traceLine(R"(\d{5}, .+)");
  for (std::string line; std::getline(lines, line);) {
    EXPECT_TRUE(std::regex_match(line, traceLine)) << line;
  }
  for (const char* expected :
       {"Tx: (SR  ) 02 ", "Tx: (STR ) 02 ", "Rx: (ACK ) 02 ", "Rx: (SRP ) 02 ", "Rx: (STRP) 02 ",
        "Rx: (BCD ) 02 ", "ReadWord    (timeout  100): x0000"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
  // Taken last: by now the view has shown every line it saved.
  EXPECT_TRUE(Screenshot(window, ScreenshotPath(host.Folder(), "spy-window.png")));
  ASSERT_EQ(SpyWindow(0), RDLK_SUCCESS);
  EXPECT_TRUE(AwaitNoWindow("Spy Window"));
}

TEST_F(DiagSpyWindow, OpenCloseThreeTimes_OneWindowEachTime_DisconnectCloses) {
  ASSERT_TRUE(host.Connected());
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(SpyWindow(1), RDLK_SUCCESS);
    ASSERT_FALSE(AwaitWindow("Spy Window").empty());
    // Opening again while it shows keeps the one window.
    ASSERT_EQ(SpyWindow(1), RDLK_SUCCESS);
    EXPECT_EQ(WindowsTitled("Spy Window").size(), 1u);
    ASSERT_EQ(SpyWindow(0), RDLK_SUCCESS);
    ASSERT_TRUE(AwaitNoWindow("Spy Window"));
  }
  ASSERT_EQ(SpyWindow(1), RDLK_SUCCESS);
  ASSERT_FALSE(AwaitWindow("Spy Window").empty());
  ASSERT_EQ(lib.Disconnect(), RDLK_SUCCESS);
  EXPECT_TRUE(AwaitNoWindow("Spy Window"));
}

TEST_F(DiagSpyWindow, OpenedBeforeConnect_StaysThroughFailedConnect_DisconnectCloses) {
  ASSERT_TRUE(host.InitializeUserKey());
  ASSERT_EQ(SpyWindow(1), RDLK_SUCCESS);
  ASSERT_FALSE(AwaitWindow("Spy Window").empty());
  // No reader: the window stays to show what happened.
  EXPECT_NE(lib.Connect(), RDLK_SUCCESS);
  EXPECT_EQ(WindowsTitled("Spy Window").size(), 1u);
  ASSERT_EQ(lib.Disconnect(), RDLK_SUCCESS);
  EXPECT_TRUE(AwaitNoWindow("Spy Window"));
}

TEST_F(DiagSpyWindow, Moved_RectangleStored_ReopenedThere) {
  ASSERT_TRUE(host.Connected());
  ASSERT_EQ(SpyWindow(1), RDLK_SUCCESS);
  std::string window = AwaitWindow("Spy Window");
  ASSERT_FALSE(window.empty());
  Tool({"xdotool", "windowmove", "--sync", window, "40", "30"});
  ASSERT_TRUE(WaitUntil([] { return StoredDword("SpyRectLeft") == 40; }, 30s));
  EXPECT_EQ(StoredDword("SpyRectTop"), 30);
  EXPECT_EQ(StoredDword("SpyRectRight") - StoredDword("SpyRectLeft"), 620);
  EXPECT_EQ(StoredDword("SpyRectBottom") - StoredDword("SpyRectTop"), 676);

  ASSERT_EQ(SpyWindow(0), RDLK_SUCCESS);
  ASSERT_TRUE(AwaitNoWindow("Spy Window"));
  ASSERT_EQ(SpyWindow(1), RDLK_SUCCESS);
  window = AwaitWindow("Spy Window");
  ASSERT_FALSE(window.empty());
  const auto geometry = Tool({"xdotool", "getwindowgeometry", window});
  ASSERT_GE(geometry.size(), 2u);
  EXPECT_NE(geometry[1].find("Position: 40,30"), std::string::npos) << geometry[1];
}

using DiagNoDisplay = DiagTest;

TEST_F(DiagNoDisplay, OpenSpyWindow_ShowsNothing_RequestsGoOn) {
  ASSERT_EQ(std::getenv("DISPLAY"), nullptr);
  ASSERT_TRUE(host.Connected());
  EXPECT_EQ(SpyWindow(1), RDLK_SUCCESS);
  EXPECT_TRUE(WindowsTitled("Spy Window").empty());
  const unsigned char request[] = {0x02, 0x10};
  unsigned char reply[64];
  uint32_t length = 0;
  EXPECT_EQ(lib.SetupRead(request, sizeof request, reply, sizeof reply, &length), RDLK_SUCCESS);
  EXPECT_EQ(SpyWindow(0), RDLK_SUCCESS);
}

using DiagSetupDialog = DiagTest;

TEST_F(DiagSetupDialog, Enter_TakesFirstReader_ConnectFindsIt) {
  ASSERT_TRUE(host.InitializeUserKey());
  ASSERT_TRUE(host.Reader().Start());
  RDLK_RESULT result = 0xFFFF;
  std::thread dialog([&] { result = lib.ConfigurationDialog(); });
  const std::string window = AwaitWindow("Online setup");
  bool drawn = false;
  if (!window.empty()) {
    drawn = Screenshot(window, ScreenshotPath(host.Folder(), "online-setup.png"));
    UntilDialogEnds([&] { Tool({"xdotool", "windowfocus", "--sync", window, "key", "Return"}); });
  }
  dialog.join();
  ASSERT_FALSE(window.empty()) << "dialog result " << result;
  EXPECT_TRUE(drawn);
  EXPECT_EQ(result, RDLK_SUCCESS);
  EXPECT_EQ(lib.Connect(), RDLK_SUCCESS);
}

TEST_F(DiagSetupDialog, CancelOrEscape_Returns11) {
  ASSERT_TRUE(host.InitializeUserKey());
  ASSERT_TRUE(host.Reader().Start());
  struct Case {
    const char* what;
    std::function<void(const std::string&)> act;
  };
  const Case kCases[] = {
      {"Cancel button", [](const std::string& w) { Click(w, CentreX(96, 50), CentreY(64, 14)); }},
      {"Escape key",
       [](const std::string& w) {
         Tool({"xdotool", "windowfocus", "--sync", w, "key", "Escape"});
       }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    RDLK_RESULT result = 0xFFFF;
    std::thread dialog([&] { result = lib.ConfigurationDialog(); });
    const std::string window = AwaitWindow("Online setup");
    if (!window.empty()) UntilDialogEnds([&] { c.act(window); });
    dialog.join();
    ASSERT_FALSE(window.empty());
    EXPECT_EQ(result, RDLK_CANCELLED);
  }
}

TEST_F(DiagSetupDialog, NoReader_OkStoresEmptySelection_Returns0) {
  ASSERT_TRUE(host.InitializeUserKey());
  RDLK_RESULT result = 0xFFFF;
  std::thread dialog([&] { result = lib.ConfigurationDialog(); });
  const std::string window = AwaitWindow("Online setup");
  if (!window.empty()) {
    UntilDialogEnds([&] { Tool({"xdotool", "windowfocus", "--sync", window, "key", "Return"}); });
  }
  dialog.join();
  ASSERT_FALSE(window.empty());
  EXPECT_EQ(result, RDLK_SUCCESS);
}

// Run by terminal_setup_check.py on a pseudo-terminal without a display:
// the dialog's result must be LX2D_TEST_SETUP_RESULT; with 0, Connect must
// then find the reader chosen.
TEST_F(DiagTest, TerminalHost) {
  const char* expected = std::getenv("LX2D_TEST_SETUP_RESULT");
  if (expected == nullptr) GTEST_SKIP() << "run by terminal_setup_check.py";
  ASSERT_TRUE(host.InitializeUserKey());
  ASSERT_TRUE(host.Reader().Start());
  const RDLK_RESULT result = lib.ConfigurationDialog();
  EXPECT_EQ(result, std::atoi(expected));
  if (result == RDLK_SUCCESS) {
    EXPECT_EQ(lib.Connect(), RDLK_SUCCESS);
  }
}

}  // namespace
}  // namespace lx2d::test
