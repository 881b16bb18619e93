// The library's side of the spy window against a scripted view program: the
// events it sends, the moves it stores, and closing.
#include "spy_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace lx2d {
namespace {

using namespace std::chrono_literals;

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return condition();
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// The ctest entry names a display (DISPLAY=:lx2d-test) that nobody opens:
// these views are shell scripts.
class SpyWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("spy_window_test_" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // A view program running `body` (sh).
  std::string View(const std::string& body) {
    const auto path = folder_ / "view.sh";
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path.string();
  }

  std::filesystem::path folder_;
};

TEST_F(SpyWindowTest, Events_ReachTheViewInOrder_ClosingEndsItsInput) {
  const auto received = folder_ / "received";
  // Echoes its arguments, says it shows, then keeps what it is sent.
  const std::string view = View("echo \"$@\" > '" + received.string() +
                                ".args'; echo ready; cat > '" + received.string() + ".tmp'; mv '" +
                                received.string() + ".tmp' '" + received.string() + "'");
  auto window =
      CSpyWindow::Open(view, SpyRect{1, 2, 300, 400}, [](const SpyRect&) { return true; });
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->Tracing());
  const uint8_t raw[] = {0x41, 0x0A};
  window->Trace("Tx: (SR  ) 02 05", 0xFF);
  window->MessageRow({0, false, 0, raw, 0, 2});
  window->MessageRow({7, true, 0x60, raw, 0x60, 5});
  window.reset();  // the view sees the end of its input and has ended
  ASSERT_TRUE(std::filesystem::exists(received));

  EXPECT_EQ(ReadAll(received.string() + ".args").substr(0, 16), "spy 1 2 300 400 ");
  std::istringstream lines(ReadAll(received));
  std::string trace, rawRow, report;
  std::getline(lines, trace);
  std::getline(lines, rawRow);
  std::getline(lines, report);
  EXPECT_EQ(trace.substr(0, 2), "T ");
  EXPECT_NE(trace.find(" 255 Tx: (SR  ) 02 05"), std::string::npos) << trace;
  EXPECT_EQ(rawRow, "M 0 0 0 0 2 410A");
  // A report's row needs its kind only.
  EXPECT_EQ(report, "M 7 1 96 96 5 ");
}

TEST_F(SpyWindowTest, Moves_StoredOnTheWindowThread_RetriedWhileRefused) {
  const std::string view = View("echo ready; echo 'rect 40 30 660 706'; cat > /dev/null");
  std::atomic<int> offers{0};
  std::atomic<int> stored{0};
  SpyRect last;
  std::mutex lastMutex;
  auto window = CSpyWindow::Open(view, SpyRect{}, [&](const SpyRect& rect) {
    // Refused twice, as while an export runs.
    if (++offers <= 2) return false;
    std::lock_guard<std::mutex> lock(lastMutex);
    last = rect;
    ++stored;
    return true;
  });
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return stored.load() == 1; }));
  window.reset();
  EXPECT_EQ(stored.load(), 1);
  EXPECT_EQ(offers.load(), 3);
  std::lock_guard<std::mutex> lock(lastMutex);
  EXPECT_EQ(last, (SpyRect{40, 30, 660, 706}));
}

TEST_F(SpyWindowTest, ViewWithoutWindow_NothingKept) {
  struct Case {
    const char* what;
    std::string program;
  };
  const Case kCases[] = {
      {"ends before showing", View("echo 'rect 1 2 3 4'; exit 3")},
      {"missing program", (folder_ / "no-such-view").string()},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    bool called = false;
    EXPECT_EQ(CSpyWindow::Open(c.program, SpyRect{}, [&](const SpyRect&) { return called = true; }),
              nullptr);
    EXPECT_FALSE(called);
  }
}

TEST_F(SpyWindowTest, UserClosedTheView_NotShowing_SendsDoNotBlock) {
  auto window =
      CSpyWindow::Open(View("echo ready"), SpyRect{}, [](const SpyRect&) { return true; });
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return !window->Showing(); }));
  // Nobody reads any more: the lines are dropped, the callers go on.
  for (int i = 0; i < 1000; ++i) window->Trace("a line nobody reads any more", 0);
  window.reset();
}

TEST_F(SpyWindowTest, ManyThreadsTracing_EveryLineWhole) {
  const auto received = folder_ / "received";
  const std::string view = View("echo ready; cat > '" + received.string() + ".tmp'; mv '" +
                                received.string() + ".tmp' '" + received.string() + "'");
  auto window = CSpyWindow::Open(view, SpyRect{}, [](const SpyRect&) { return true; });
  ASSERT_NE(window, nullptr);
  constexpr int kThreads = 4;
  constexpr int kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&window, t] {
      for (int i = 0; i < kLines; ++i) window->Trace("thread " + std::to_string(t) + " line", 0);
    });
  }
  for (std::thread& thread : threads) thread.join();
  window.reset();
  std::istringstream lines(ReadAll(received));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    ASSERT_NE(line.find(" 0 thread "), std::string::npos) << line;
    ASSERT_EQ(line.substr(line.size() - 5), " line") << line;
  }
  EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
}  // namespace lx2d
