// The message system within one process: windows on several threads reached
// through their sockets, the message loop, and the registered numbers. The
// cross-process behaviour is tested in tests/platform.
#include "platform/window.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/fakes/temp_directory.h"
#include "platform/last_error.h"

namespace lx2d::platform {
namespace {

constexpr UINT kEcho = WM_USER + 1;      // answers wParam + lParam
constexpr UINT kSendBack = WM_USER + 2;  // sends kEcho to the window in wParam
constexpr UINT kQuitLoop = WM_USER + 3;  // ends the owner's loop

struct Seen {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

std::mutex seenMutex;
std::vector<Seen> seen;

std::vector<Seen> TakeSeen() {
  std::lock_guard<std::mutex> lock(seenMutex);
  std::vector<Seen> copy;
  copy.swap(seen);
  return copy;
}

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard<std::mutex> lock(seenMutex);
    seen.push_back(Seen{window, message, wParam, lParam});
  }
  switch (message) {
    case kEcho:
      return static_cast<LRESULT>(wParam) + lParam;
    case kSendBack:
      return SendMessage(static_cast<HWND>(wParam), kEcho, 1, lParam);
    case kQuitLoop:
      PostQuitMessage(static_cast<int>(wParam));
      return 0;
    default:
      return DefWindowProc(window, message, wParam, lParam);
  }
}

LRESULT RefusingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) return -1;
  return DefWindowProc(window, message, wParam, lParam);
}

void RegisterOnce(const char* name, WNDPROC proc) {
  WNDCLASS windowClass;
  windowClass.lpfnWndProc = proc;
  windowClass.lpszClassName = name;
  RegisterClass(windowClass);  // already there for the second test: fine
}

HWND Create(const char* className, HWND parent = 0, const char* title = "") {
  RegisterOnce(className, RecordingProc);
  return CreateWindowEx(0, className, title, WS_POPUP, 0, 0, 0, 0, parent, 0, nullptr);
}

// A window on a thread of its own running a message loop until kQuitLoop.
class CWindowThread {
 public:
  explicit CWindowThread(const char* className) {
    thread = std::thread([this, className] {
      HWND created = Create(className);
      {
        std::lock_guard<std::mutex> lock(mutex);
        window = created;
      }
      ready.notify_all();
      MSG msg;
      while (GetMessage(&msg, 0, 0, 0) > 0) DispatchMessage(&msg);
      if (IsWindow(created)) DestroyWindow(created);
    });
    std::unique_lock<std::mutex> lock(mutex);
    ready.wait(lock, [this] { return window != kUnset; });
  }
  ~CWindowThread() {
    PostMessage(window, kQuitLoop, 0, 0);
    thread.join();
  }
  HWND Window() const { return window; }

 private:
  static constexpr HWND kUnset = ~HWND{0};
  std::mutex mutex;
  std::condition_variable ready;
  HWND window = kUnset;
  std::thread thread;
};

// Dispatches this thread's messages until `count` messages `message` came
// (or a generous time passed) and answers their wParams in order.
std::vector<WPARAM> Collect(UINT message, std::size_t count) {
  std::vector<WPARAM> got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  MSG msg;
  while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
    if (!PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    DispatchMessage(&msg);
    if (msg.message == message) got.push_back(msg.wParam);
  }
  return got;
}

std::vector<WPARAM> Counting(WPARAM first, WPARAM last) {
  std::vector<WPARAM> numbers;
  for (WPARAM i = first; i <= last; ++i) numbers.push_back(i);
  return numbers;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.UseForAllDirectories();
    TakeSeen();
  }
  CTempDirectory folder;
};

TEST_F(WindowTest, RegisterWindowMessage_SameNumberForEverySpelling) {
  UINT message = RegisterWindowMessage("WM_VSCP_FRAME");
  EXPECT_GE(message, kFirstRegisteredMessage);
  EXPECT_LE(message, kLastRegisteredMessage);
  EXPECT_EQ(RegisterWindowMessage("wm_vscp_frame"), message);
  EXPECT_EQ(GetRegisteredMessageName(message), "WM_VSCP_FRAME");
  SetLastError(0);
  EXPECT_EQ(RegisterWindowMessage(""), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// Host programs in other languages compute these numbers themselves
// (docs/window-messages.md), so they must never change.
TEST_F(WindowTest, RegisterWindowMessage_SystemNamesFixedAndDistinct) {
  struct Registered {
    const char* name;
    UINT number;
  };
  const Registered kNames[] = {
      {"WM_VSCP_FRAME", 0xF690},
      {"WM_RAW_DATA", 0xE451},
      {"WM_MULTIFRAME_IN_PROGRESS", 0xCB44},
      {"WM_LOWLEVEL", 0xE646},
      {"WM_KORV_FORCE_POWERON", 0xC9BF},
      {"WM_KORV_RESTORE_POWERSTATE", 0xD388},
  };
  std::set<UINT> numbers;
  for (const Registered& entry : kNames) {
    EXPECT_EQ(RegisterWindowMessage(entry.name), entry.number) << entry.name;
    numbers.insert(entry.number);
  }
  EXPECT_EQ(numbers.size(), std::size(kNames));
}

TEST_F(WindowTest, CreateWindow_FoundByClassUntilDestroyed) {
  HWND window = Create("Find_Class", 0, "Title");
  ASSERT_NE(window, 0u);
  EXPECT_EQ(FindWindow("find_CLASS"), window);
  std::string title = "Title";
  std::string other = "Other";
  EXPECT_EQ(FindWindow("Find_Class", &title), window);
  EXPECT_EQ(FindWindow("Find_Class", &other), 0u);
  HWND child = Create("Find_Class", window);
  ASSERT_NE(child, 0u);
  std::vector<TWindowInfo> listed = ListWindows();
  ASSERT_EQ(listed.size(), 1u);  // children are not top-level windows
  EXPECT_EQ(listed[0].className, "Find_Class");
  EXPECT_EQ(listed[0].processId, getpid());

  EXPECT_EQ(DestroyWindow(window), TRUE);
  EXPECT_EQ(FindWindow("Find_Class"), 0u);
  EXPECT_EQ(IsWindow(window), FALSE);
  EXPECT_EQ(DestroyWindow(window), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  DestroyWindow(child);

  std::vector<UINT> messages;
  for (const Seen& s : TakeSeen()) {
    if (s.window == window) messages.push_back(s.message);
  }
  EXPECT_EQ(messages, (std::vector<UINT>{WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(WindowTest, CreateWindow_RefusedCreationLeavesNoWindow) {
  RegisterOnce("Refusing_Class", RefusingProc);
  EXPECT_EQ(CreateWindowEx(0, "Refusing_Class", "", 0, 0, 0, 0, 0, 0, 0, nullptr), 0u);
  EXPECT_EQ(FindWindow("Refusing_Class"), 0u);
  EXPECT_EQ(CreateWindowEx(0, "No_Such_Class", "", 0, 0, 0, 0, 0, 0, 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
  WNDCLASS again;
  again.lpfnWndProc = RefusingProc;
  again.lpszClassName = "REFUSING_class";
  EXPECT_EQ(RegisterClass(again), 0);
  EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
}

TEST_F(WindowTest, MessageLoop_PostedInOrderThenQuitWithExitCode) {
  HWND window = Create("Loop_Class");
  ASSERT_NE(window, 0u);
  // More than a window socket buffers: a thread's posts to itself all arrive.
  constexpr WPARAM kPosted = 100;
  std::vector<WPARAM> expected;
  for (WPARAM i = 1; i <= kPosted; ++i) {
    ASSERT_EQ(PostMessage(window, WM_COMMAND, i, 0), TRUE) << i;
    expected.push_back(i);
  }
  PostQuitMessage(-29);  // posted before the last, retrieved only after all of them
  ASSERT_EQ(PostMessage(window, WM_COMMAND, kPosted + 1, 0), TRUE);
  expected.push_back(kPosted + 1);
  std::vector<WPARAM> commands;
  MSG msg;
  BOOL result;
  while ((result = GetMessage(&msg, 0, 0, 0)) > 0) {
    EXPECT_EQ(TranslateMessage(&msg), FALSE);
    DispatchMessage(&msg);
    commands.push_back(msg.wParam);
  }
  EXPECT_EQ(result, 0);
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(static_cast<int>(msg.wParam), -29);
  EXPECT_EQ(commands, expected);
  EXPECT_EQ(PeekMessage(&msg, 0, 0, 0, PM_REMOVE), FALSE);
  DestroyWindow(window);
}

TEST_F(WindowTest, SysCommandClose_DestroysAndDropsLaterMessages) {
  HWND window = Create("Close_Class");
  ASSERT_NE(window, 0u);
  PostMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessage(window, WM_COMMAND, 0x8004, 0);  // must never be handled
  MSG msg;
  while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
  EXPECT_EQ(IsWindow(window), FALSE);
  std::vector<UINT> messages;
  for (const Seen& s : TakeSeen()) messages.push_back(s.message);
  EXPECT_EQ(messages,
            (std::vector<UINT>{WM_CREATE, WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(WindowTest, PeekMessage_FiltersByWindowAndRange) {
  HWND first = Create("Filter_Class");
  HWND second = Create("Filter_Class");
  PostMessage(first, WM_USER + 10, 1, 0);
  PostMessage(second, WM_USER + 20, 2, 0);
  PostThreadMessage(WM_APP, 3, 0);
  MSG msg;
  ASSERT_EQ(PeekMessage(&msg, second, 0, 0, PM_NOREMOVE), TRUE);
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_EQ(PeekMessage(&msg, 0, WM_APP, WM_APP, PM_REMOVE), TRUE);
  EXPECT_EQ(msg.hwnd, 0u);
  EXPECT_EQ(msg.wParam, 3u);
  ASSERT_EQ(PeekMessage(&msg, 0, WM_USER + 20, WM_USER + 20, PM_REMOVE), TRUE);
  EXPECT_EQ(msg.hwnd, second);
  ASSERT_EQ(GetMessage(&msg, first, 0, 0), TRUE);
  EXPECT_EQ(msg.wParam, 1u);
  EXPECT_EQ(PeekMessage(&msg, 0, 0, 0, PM_REMOVE), FALSE);
  DestroyWindow(first);
  DestroyWindow(second);
}

TEST_F(WindowTest, PostMessage_MissingOrStaleWindow_InvalidHandle) {
  EXPECT_EQ(PostMessage(0x12345678, WM_USER, 0, 0), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(PostMessage(0, WM_USER, 0, 0), FALSE);
  EXPECT_EQ(SendMessage(0x12345678, WM_USER, 0, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);

  // A socket whose owner died without cleaning up, with its description.
  HWND window = Create("Stale_Class");
  std::string socketPath = folder.Path() + "/run/windows/" + [&] {
    char text[24];
    std::snprintf(text, sizeof(text), "%08lx", static_cast<unsigned long>(window));
    return std::string(text);
  }() + ".sock";
  ASSERT_EQ(DestroyWindow(window), TRUE);
  int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  close(fd);
  EXPECT_EQ(PostMessage(window, WM_USER, 0, 0), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_NE(access(socketPath.c_str(), F_OK), 0);  // cleaned on the way
}

// Messages posted by other threads while the owner is busy (here: waiting
// in join) wait for it in its queue, far beyond what a socket holds.
TEST_F(WindowTest, PostMessage_OwnerBusy_AllArriveInOrder) {
  HWND window = Create("Busy_Class");
  ASSERT_NE(window, 0u);
  constexpr WPARAM kPosted = 500;
  std::atomic<WPARAM> accepted{0};
  std::thread poster([&] {
    for (WPARAM i = 1; i <= kPosted; ++i) {
      if (PostMessage(window, WM_COMMAND, i, 0) == FALSE) return;
      accepted = i;
    }
  });
  poster.join();
  ASSERT_EQ(accepted.load(), kPosted);
  // A message sent meanwhile is still answered by the owner's loop.
  std::atomic<LRESULT> answer{0};
  std::thread sender([&] { answer = SendMessage(window, kEcho, 40, 2); });
  EXPECT_EQ(Collect(WM_COMMAND, kPosted), Counting(1, kPosted));
  // The send is handled by then, or by the next look at the queue.
  MSG msg;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (answer == 0 && std::chrono::steady_clock::now() < deadline) {
    PeekMessage(&msg, 0, 0, 0, PM_NOREMOVE);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  sender.join();
  EXPECT_EQ(answer.load(), 42);
  DestroyWindow(window);
}

// The queue holds what Windows holds; beyond it posters are refused, and
// taking one message makes room again without losing any accepted one.
TEST_F(WindowTest, PostMessage_FullQueue_NotEnoughQuotaUntilOwnerTakes) {
  constexpr WPARAM kWindowsQuota = 10000;
  HWND window = Create("Full_Class");
  WPARAM accepted = 0;
  DWORD failure = 0;
  auto postUntilRefused = [&] {
    std::thread poster([&] {
      while (PostMessage(window, WM_USER, accepted, 0) == TRUE) ++accepted;
      failure = GetLastError();
    });
    poster.join();
  };
  postUntilRefused();
  EXPECT_EQ(failure, ERROR_NOT_ENOUGH_QUOTA);
  // The socket buffers a few more beyond the queue.
  EXPECT_GE(accepted, kWindowsQuota);
  EXPECT_LE(accepted, kWindowsQuota + 1000);
  EXPECT_EQ(PostThreadMessage(WM_APP, 0, 0), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_QUOTA);

  MSG msg;
  ASSERT_EQ(PeekMessage(&msg, 0, 0, 0, PM_REMOVE), TRUE);
  EXPECT_EQ(msg.wParam, 0u);
  WPARAM beforeRoom = accepted;
  postUntilRefused();
  EXPECT_GT(accepted, beforeRoom);
  EXPECT_EQ(Collect(WM_USER, accepted - 1), Counting(1, accepted - 1));
  EXPECT_EQ(PeekMessage(&msg, 0, 0, 0, PM_REMOVE), FALSE);
  DestroyWindow(window);
}

TEST_F(WindowTest, SendMessage_OtherThreadAnswers) {
  CWindowThread owner("Send_Class");
  EXPECT_EQ(SendMessage(owner.Window(), kEcho, 40, 2), 42);
  EXPECT_EQ(FindWindow("Send_Class"), owner.Window());
}

TEST_F(WindowTest, SendMessage_NestedSendBack_NoDeadlock) {
  CWindowThread owner("Nested_Class");
  HWND mine = Create("Nested_Mine_Class");
  // The owner's procedure sends to our window while we wait for its answer.
  EXPECT_EQ(SendMessage(owner.Window(), kSendBack, mine, 41), 42);
  DestroyWindow(mine);
}

TEST_F(WindowTest, SendMessage_WindowGoesBeforeAnswer_Fails) {
  RegisterOnce("Vanish_Class", RecordingProc);
  // The owner never handles the send: it destroys the window, or its thread
  // ends and takes the window with it.
  for (bool destroy : {true, false}) {
    std::atomic<HWND> window{0};
    std::atomic<bool> sending{false};
    std::thread owner([&] {
      window = CreateWindowEx(0, "Vanish_Class", "", 0, 0, 0, 0, 0, 0, 0, nullptr);
      while (!sending) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (destroy) DestroyWindow(window);
    });
    while (window == 0) std::this_thread::yield();
    sending = true;
    SetLastError(0);
    EXPECT_EQ(SendMessage(window, kEcho, 1, 1), 0) << destroy;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE) << destroy;
    owner.join();
    EXPECT_EQ(IsWindow(window), FALSE) << destroy;
  }
}

TEST_F(WindowTest, Broadcast_ReachesEveryTopLevelWindow) {
  CWindowThread other("Broadcast_Other_Class");
  HWND mine = Create("Broadcast_Class");
  HWND child = Create("Broadcast_Class", mine);
  UINT message = RegisterWindowMessage("WM_LX2D_TEST_BROADCAST");
  EXPECT_EQ(PostMessage(HWND_BROADCAST, message, 7, 8), TRUE);
  MSG msg;
  ASSERT_EQ(GetMessage(&msg, 0, message, message), TRUE);
  EXPECT_EQ(msg.hwnd, mine);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(PeekMessage(&msg, child, 0, 0, PM_NOREMOVE), FALSE);
  // The other thread dispatches its copy. Sent messages go before posted
  // ones, so an answered send does not prove the copy was dispatched; ask
  // again until it has been, within a bound.
  bool otherGotIt = false;
  for (int round = 0; round < 500 && !otherGotIt; ++round) {
    EXPECT_EQ(SendMessage(other.Window(), kEcho, 0, 0), 0);
    for (const Seen& s : TakeSeen()) {
      otherGotIt = otherGotIt || (s.window == other.Window() && s.message == message);
    }
    if (!otherGotIt) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(otherGotIt);
  DestroyWindow(child);
  DestroyWindow(mine);
}

TEST_F(WindowTest, UserData_KeptPerWindow) {
  HWND window = Create("Data_Class");
  EXPECT_EQ(SetWindowLongPtr(window, GWLP_USERDATA, 1234), 0);
  EXPECT_EQ(GetWindowLongPtr(window, GWLP_USERDATA), 1234);
  EXPECT_EQ(GetWindowLongPtr(window, 0), 0);
  DestroyWindow(window);
  EXPECT_EQ(GetWindowLongPtr(window, GWLP_USERDATA), 0);
}

}  // namespace
}  // namespace lx2d::platform
