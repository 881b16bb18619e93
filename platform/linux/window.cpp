// Windows, message queues and the synchronous send. Each window owns a
// non-blocking datagram socket (window_folder.h); the thread that created it
// reads that socket inside GetMessage, PeekMessage and its own SendMessage
// waits. Posted messages are moved into the thread's queue; sent messages
// carry a SEQPACKET socket for the answer and are handled at once, so the
// sender's wait ends with the answer or, when the window goes away, with the
// socket's end.
#include "platform/window.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "end_session.h"
#include "platform/last_error.h"
#include "window_folder.h"

namespace lx2d::platform {

namespace {

// Like Windows, a thread's queue takes at most this many posted messages;
// beyond it posters see ERROR_NOT_ENOUGH_QUOTA (the socket fills up).
constexpr std::size_t kMaxQueuedMessages = 10000;
// While a send cannot be queued because the target's queue is full, it is
// tried again this often.
constexpr int kFullQueueRetryMs = 10;

struct WindowRecord {
  HWND handle = 0;
  int fd = -1;
  std::string folder;
  std::string className;
  HWND parent = 0;
  WNDPROC proc = nullptr;
  std::intptr_t userData = 0;
  std::thread::id owner;
  bool destroying = false;
};

struct ProcessTables {
  std::mutex mutex;
  std::map<std::string, WNDCLASS> classes;  // by folded name
  std::map<HWND, WindowRecord> windows;
  ATOM nextAtom = 0xC000;
};

// Never destroyed: windows of other threads may outlive static destruction.
ProcessTables& Tables() {
  static auto* tables = new ProcessTables;
  return *tables;
}

std::string Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

void CloseWindowFiles(const WindowRecord& record) {
  UnpublishWindow(record.folder, record.handle);
  close(record.fd);
}

struct ThreadQueue {
  std::deque<MSG> posted;
  bool quitPosted = false;
  int quitCode = 0;
  std::vector<HWND> windows;  // created by this thread and not destroyed

  // A thread that ends takes its windows with it (without messages: no
  // window procedure may run on a thread that is going away).
  ~ThreadQueue() {
    ProcessTables& tables = Tables();
    std::lock_guard<std::mutex> lock(tables.mutex);
    for (HWND window : windows) {
      auto found = tables.windows.find(window);
      if (found == tables.windows.end()) continue;
      CloseWindowFiles(found->second);
      tables.windows.erase(found);
    }
  }
};

thread_local ThreadQueue queue;

// Looks a window of this process up; false when it does not exist.
bool FindRecord(HWND window, WindowRecord* record) {
  ProcessTables& tables = Tables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  auto found = tables.windows.find(window);
  if (found == tables.windows.end()) return false;
  *record = found->second;
  return true;
}

bool OwnedByThisThread(HWND window) {
  WindowRecord record;
  return FindRecord(window, &record) && record.owner == std::this_thread::get_id();
}

LRESULT CallProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRecord record;
  if (!FindRecord(window, &record) || record.proc == nullptr) return 0;
  if (message == WM_QUERYENDSESSION) NoteEndOfSessionDelivered();
  return record.proc(window, message, wParam, lParam);
}

// One datagram from a window socket. False when none is waiting (or the
// datagram was not ours, which is then dropped).
bool ReceiveOne(int fd, WireMessage* message, int* replyFd, bool* more) {
  *replyFd = -1;
  std::uint8_t bytes[kWireSize + 1];
  iovec part{bytes, sizeof(bytes)};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
  msghdr header{};
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  header.msg_control = control;
  header.msg_controllen = sizeof(control);
  ssize_t got;
  do {
    got = recvmsg(fd, &header, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
  } while (got < 0 && errno == EINTR);
  *more = got >= 0;
  if (got < 0) return false;
  for (cmsghdr* item = CMSG_FIRSTHDR(&header); item != nullptr; item = CMSG_NXTHDR(&header, item)) {
    if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SCM_RIGHTS) continue;
    std::size_t count = (item->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (std::size_t i = 0; i < count; ++i) {
      int passed;
      std::memcpy(&passed, CMSG_DATA(item) + i * sizeof(int), sizeof(int));
      if (*replyFd < 0) {
        *replyFd = passed;
      } else {
        close(passed);  // more than one socket: keep the first only
      }
    }
  }
  bool valid = (header.msg_flags & MSG_TRUNC) == 0 &&
               DecodeWire(bytes, static_cast<std::size_t>(got), message) &&
               message->kind != WireKind::kReply;
  if (valid && message->kind == WireKind::kSent && *replyFd >= 0) return true;
  if (valid && message->kind == WireKind::kPosted) {
    if (*replyFd >= 0) close(*replyFd);
    *replyFd = -1;
    return true;
  }
  if (*replyFd >= 0) close(*replyFd);
  *replyFd = -1;
  return false;
}

void Answer(int replyFd, UINT message, LRESULT result) {
  WireMessage reply;
  reply.kind = WireKind::kReply;
  reply.message = message;
  reply.senderPid = getpid();
  reply.result = result;
  WireBytes bytes = EncodeWire(reply);
  ssize_t ignored = send(replyFd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  (void)ignored;  // a sender that gave up is no concern of the window
  close(replyFd);
}

// Reads every waiting datagram of this thread's windows: sent messages are
// handled now, posted ones join the queue (until it is full).
void DrainWindows() {
  std::vector<HWND> windows = queue.windows;
  for (HWND window : windows) {
    while (queue.posted.size() < kMaxQueuedMessages) {
      WindowRecord record;
      if (!FindRecord(window, &record)) break;
      WireMessage message;
      int replyFd = -1;
      bool more = false;
      if (!ReceiveOne(record.fd, &message, &replyFd, &more)) {
        if (more) continue;  // a foreign datagram was dropped; look at the next
        break;
      }
      if (message.kind == WireKind::kSent) {
        LRESULT result = CallProcedure(window, message.message, message.wParam, message.lParam);
        Answer(replyFd, message.message, result);
      } else {
        queue.posted.push_back(MSG{window, message.message, message.wParam, message.lParam});
      }
    }
  }
}

// Blocks until one of this thread's windows or `extraFd` (when >= 0) has
// input, or `timeoutMs` passes (-1: no limit). True when extraFd is ready.
bool WaitForInput(int extraFd, int timeoutMs) {
  std::vector<pollfd> fds;
  if (extraFd >= 0) fds.push_back(pollfd{extraFd, POLLIN, 0});
  // With a full queue the sockets stay unread, so waiting on them would spin.
  bool roomInQueue = queue.posted.size() < kMaxQueuedMessages;
  for (HWND window : roomInQueue ? queue.windows : std::vector<HWND>{}) {
    WindowRecord record;
    if (FindRecord(window, &record)) fds.push_back(pollfd{record.fd, POLLIN, 0});
  }
  int ready;
  do {
    ready = poll(fds.data(), fds.size(), timeoutMs);
  } while (ready < 0 && errno == EINTR);
  return extraFd >= 0 && ready > 0 && fds[0].revents != 0;
}

bool Matches(const MSG& message, HWND filter, UINT min, UINT max) {
  if (filter != 0 && message.hwnd != filter) return false;
  if (min == 0 && max == 0) return true;
  return message.message >= min && message.message <= max;
}

bool TakeQueued(MSG* msg, HWND filter, UINT min, UINT max, bool remove) {
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (!Matches(*it, filter, min, max)) continue;
    *msg = *it;
    if (remove) queue.posted.erase(it);
    return true;
  }
  return false;
}

void DropQueuedFor(HWND window) {
  std::erase_if(queue.posted, [window](const MSG& message) { return message.hwnd == window; });
}

BOOL Post(const WireMessage& message) {
  DWORD status = SendToWindow(message.window, EncodeWire(message), -1);
  if (status == ERROR_SUCCESS) return TRUE;
  SetLastError(status);
  return FALSE;
}

}  // namespace

std::vector<HWND> ProcessTopLevelWindows() {
  ProcessTables& tables = Tables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  std::vector<HWND> windows;
  for (const auto& [handle, record] : tables.windows) {
    if (record.parent == 0) windows.push_back(handle);
  }
  return windows;
}

ATOM RegisterClass(const WNDCLASS& windowClass) {
  if (windowClass.lpszClassName.empty() || windowClass.lpfnWndProc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  ProcessTables& tables = Tables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  auto [entry, added] = tables.classes.emplace(Fold(windowClass.lpszClassName), windowClass);
  if (!added) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  return tables.nextAtom++;
}

HWND CreateWindowEx(DWORD exStyle, std::string_view className, std::string_view windowName,
                    DWORD style, int /*x*/, int /*y*/, int /*width*/, int /*height*/, HWND parent,
                    UINT /*id*/, void* param) {
  ProcessTables& tables = Tables();
  WNDCLASS windowClass;
  {
    std::lock_guard<std::mutex> lock(tables.mutex);
    auto found = tables.classes.find(Fold(className));
    if (found == tables.classes.end()) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return 0;
    }
    windowClass = found->second;
  }
  std::string folder;
  DWORD status = OpenWindowsFolder(&folder);
  int fd = -1;
  HWND window = 0;
  if (status == ERROR_SUCCESS) status = BindWindowSocket(folder, &fd, &window);
  if (status != ERROR_SUCCESS) {
    SetLastError(status);
    return 0;
  }
  WindowRecord record;
  record.handle = window;
  record.fd = fd;
  record.folder = folder;
  record.className = windowClass.lpszClassName;
  record.parent = parent;
  record.proc = windowClass.lpfnWndProc;
  record.owner = std::this_thread::get_id();
  WindowDescription description{
      TWindowInfo{window, windowClass.lpszClassName, std::string(windowName), getpid()}, parent};
  status = PublishWindow(folder, description);
  if (status != ERROR_SUCCESS) {
    CloseWindowFiles(record);
    SetLastError(status);
    return 0;
  }
  {
    std::lock_guard<std::mutex> lock(tables.mutex);
    tables.windows.emplace(window, record);
  }
  queue.windows.push_back(window);
  if (parent == 0) WatchEndOfSession();

  CREATESTRUCT create;
  create.lpCreateParams = param;
  create.hwndParent = parent;
  create.style = style;
  create.lpszName = std::string(windowName);
  create.lpszClass = windowClass.lpszClassName;
  create.dwExStyle = exStyle;
  if (CallProcedure(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    // A refused creation leaves no window behind and sends nothing more.
    {
      std::lock_guard<std::mutex> lock(tables.mutex);
      auto found = tables.windows.find(window);
      if (found != tables.windows.end()) {
        CloseWindowFiles(found->second);
        tables.windows.erase(found);
      }
    }
    std::erase(queue.windows, window);
    DropQueuedFor(window);
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return window;
}

BOOL DestroyWindow(HWND window) {
  ProcessTables& tables = Tables();
  {
    std::lock_guard<std::mutex> lock(tables.mutex);
    auto found = tables.windows.find(window);
    if (found == tables.windows.end()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (found->second.owner != std::this_thread::get_id()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (found->second.destroying) return TRUE;  // destroyed from its own WM_DESTROY
    found->second.destroying = true;
    // Lookups stop finding it before its last messages run.
    UnpublishWindow(found->second.folder, window);
  }
  CallProcedure(window, WM_DESTROY, 0, 0);
  CallProcedure(window, WM_NCDESTROY, 0, 0);
  {
    std::lock_guard<std::mutex> lock(tables.mutex);
    auto found = tables.windows.find(window);
    if (found != tables.windows.end()) {
      close(found->second.fd);  // queued datagrams go; waiting senders see the end
      tables.windows.erase(found);
    }
  }
  std::erase(queue.windows, window);
  DropQueuedFor(window);
  return TRUE;
}

BOOL IsWindow(HWND window) {
  WindowRecord record;
  if (FindRecord(window, &record)) return record.destroying ? FALSE : TRUE;
  for (const WindowDescription& description : ListWindowDescriptions()) {
    if (description.info.handle == window) return TRUE;
  }
  return FALSE;
}

LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessage(window, WM_CLOSE, 0, 0);
      return 0;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    default:
      return 0;
  }
}

std::intptr_t GetWindowLongPtr(HWND window, int index) {
  ProcessTables& tables = Tables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  auto found = tables.windows.find(window);
  if (index != GWLP_USERDATA || found == tables.windows.end()) return 0;
  return found->second.userData;
}

std::intptr_t SetWindowLongPtr(HWND window, int index, std::intptr_t value) {
  ProcessTables& tables = Tables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  auto found = tables.windows.find(window);
  if (index != GWLP_USERDATA || found == tables.windows.end()) return 0;
  std::intptr_t previous = found->second.userData;
  found->second.userData = value;
  return previous;
}

HWND FindWindow(std::string_view className, const std::string* windowName) {
  std::string wanted = Fold(className);
  for (const WindowDescription& description : ListWindowDescriptions()) {
    if (description.parent != 0 || Fold(description.info.className) != wanted) continue;
    if (windowName != nullptr && description.info.title != *windowName) continue;
    return description.info.handle;
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return 0;
}

std::vector<TWindowInfo> ListWindows() {
  std::vector<TWindowInfo> windows;
  for (const WindowDescription& description : ListWindowDescriptions()) {
    if (description.parent == 0) windows.push_back(description.info);
  }
  return windows;
}

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WireMessage wire;
  wire.kind = WireKind::kPosted;
  wire.message = message;
  wire.wParam = wParam;
  wire.lParam = lParam;
  wire.senderPid = getpid();
  if (window != HWND_BROADCAST && OwnedByThisThread(window)) {
    // The thread's own queue directly: a window socket holds only a few
    // datagrams (net.unix.max_dgram_qlen) until its thread reads it, which
    // would cut a thread that posts to itself far below the Windows quota.
    if (queue.posted.size() >= kMaxQueuedMessages) {
      SetLastError(ERROR_NOT_ENOUGH_QUOTA);
      return FALSE;
    }
    queue.posted.push_back(MSG{window, message, wParam, lParam});
    return TRUE;
  }
  if (window != HWND_BROADCAST) {
    wire.window = static_cast<std::uint32_t>(window);
    return Post(wire);
  }
  for (const WindowDescription& description : ListWindowDescriptions()) {
    if (description.parent != 0) continue;
    wire.window = static_cast<std::uint32_t>(description.info.handle);
    Post(wire);  // a window that just went away or is full misses this one
  }
  return TRUE;
}

BOOL PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (queue.posted.size() >= kMaxQueuedMessages) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
  }
  queue.posted.push_back(MSG{0, message, wParam, lParam});
  return TRUE;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window == HWND_BROADCAST) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (OwnedByThisThread(window)) return CallProcedure(window, message, wParam, lParam);

  int pair[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  WireMessage wire;
  wire.kind = WireKind::kSent;
  wire.window = static_cast<std::uint32_t>(window);
  wire.message = message;
  wire.wParam = wParam;
  wire.lParam = lParam;
  wire.senderPid = getpid();
  WireBytes bytes = EncodeWire(wire);
  DWORD status;
  while ((status = SendToWindow(window, bytes, pair[1])) == ERROR_NOT_ENOUGH_QUOTA) {
    WaitForInput(-1, kFullQueueRetryMs);  // the target is busy: keep our own windows served
    DrainWindows();
  }
  close(pair[1]);  // from now on only the window holds the other end
  if (status != ERROR_SUCCESS) {
    close(pair[0]);
    SetLastError(status);
    return 0;
  }
  while (true) {
    DrainWindows();
    if (!WaitForInput(pair[0], -1)) continue;
    std::uint8_t answer[kWireSize + 1];
    ssize_t got;
    do {
      got = recv(pair[0], answer, sizeof(answer), 0);
    } while (got < 0 && errno == EINTR);
    close(pair[0]);
    WireMessage reply;
    if (got > 0 && DecodeWire(answer, static_cast<std::size_t>(got), &reply) &&
        reply.kind == WireKind::kReply) {
      return reply.result;
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);  // the window went before answering
    return 0;
  }
}

BOOL GetMessage(MSG* msg, HWND filter, UINT min, UINT max) {
  if (msg == nullptr || (filter != 0 && !OwnedByThisThread(filter))) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  while (true) {
    DrainWindows();
    if (TakeQueued(msg, filter, min, max, true)) return TRUE;
    if (queue.quitPosted) {
      queue.quitPosted = false;
      *msg = MSG{0, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0};
      return FALSE;
    }
    WaitForInput(-1, -1);
  }
}

BOOL PeekMessage(MSG* msg, HWND filter, UINT min, UINT max, UINT removeFlags) {
  if (msg == nullptr) return FALSE;
  DrainWindows();
  bool remove = (removeFlags & PM_REMOVE) != 0;
  if (TakeQueued(msg, filter, min, max, remove)) return TRUE;
  if (queue.quitPosted) {
    if (remove) queue.quitPosted = false;
    *msg = MSG{0, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0};
    return TRUE;
  }
  return FALSE;
}

BOOL TranslateMessage(const MSG* /*msg*/) { return FALSE; }

LRESULT DispatchMessage(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == 0 || !OwnedByThisThread(msg->hwnd)) return 0;
  return CallProcedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) {
  queue.quitPosted = true;
  queue.quitCode = exitCode;
}

}  // namespace lx2d::platform
