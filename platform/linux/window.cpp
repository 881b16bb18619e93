// Windows, message queues and the synchronous send. Each window owns a
// non-blocking datagram socket (window_folder.h). A socket holds only
// net.unix.max_dgram_qlen unread datagrams, so one pump thread per process
// reads every window socket as soon as something arrives and moves it into
// the inbox of the thread that owns the window; a thread that is busy for a
// while therefore loses nothing until its inbox holds kMaxQueuedMessages.
// Sent messages carry a SEQPACKET socket for the answer; the pump hands them
// to the owner, which runs the procedure inside GetMessage, PeekMessage and
// its own SendMessage waits, so the sender's wait ends with the answer or,
// when the window goes away, with the socket's end.
#include "platform/window.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "end_session.h"
#include "platform/last_error.h"
#include "window_folder.h"

namespace lx2d::platform {

namespace {

// Like Windows, a thread's queue takes at most this many posted messages;
// beyond it the pump leaves the thread's sockets unread, they fill up and
// posters see ERROR_NOT_ENOUGH_QUOTA.
constexpr std::size_t kMaxQueuedMessages = 10000;
// While a send cannot be queued because the target's socket is full, it is
// tried again this often.
constexpr int kFullQueueRetryMs = 10;
// A post waits this long for room in a socket the pump has not emptied yet
// (a loaded machine may hold the pump back); a full queue answers after it.
constexpr int kPostRoomWaitMs = 500;
// The pump reads at most this many datagrams of one socket in a turn, so a
// flooded window does not hold the tables (and the other windows) for long.
constexpr int kPumpBatch = 64;
// The pump's epoll key for its control eventfd (no window has handle 0).
constexpr std::uint64_t kControlKey = 0;

// A sent message waiting for its window's owner.
struct PendingSend {
  HWND window = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  int replyFd = -1;
};

// The message queue of one thread, filled by the thread itself and by the
// pump. Shared between the two, so whichever lets go last frees it.
struct Inbox {
  Inbox() : wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~Inbox() {
    for (const PendingSend& send : sends) close(send.replyFd);  // the senders see the end
    if (wakeFd >= 0) close(wakeFd);
  }
  Inbox(const Inbox&) = delete;
  Inbox& operator=(const Inbox&) = delete;

  std::mutex mutex;
  std::deque<MSG> posted;
  std::deque<PendingSend> sends;
  // Windows whose sockets the pump stopped reading because posted was full.
  std::vector<HWND> parked;
  const int wakeFd;  // eventfd: readable after the pump added something
};

struct WindowRecord {
  HWND handle = 0;
  int fd = -1;
  std::string folder;
  std::string className;
  HWND parent = 0;
  WNDPROC proc = nullptr;
  std::intptr_t userData = 0;
  std::thread::id owner;
  std::shared_ptr<Inbox> inbox;  // the owner's
  bool destroying = false;
};

struct ProcessTables {
  std::mutex mutex;
  std::map<std::string, WNDCLASS> classes;  // by folded name
  std::map<HWND, WindowRecord> windows;
  ATOM nextAtom = 0xC000;
  // The pump: every window socket is in epollFd (one-shot, re-armed after
  // each read); controlFd tells it a window went away. It runs while windows
  // exist and ends by itself once the last one is gone.
  int epollFd = -1;
  int controlFd = -1;
  bool pumpRunning = false;
};

// Never destroyed: windows of other threads and the pump may outlive static
// destruction. Built in static storage rather than on the heap, so that a
// library holding this code (libRDLK_HID.so) leaves nothing behind when it
// is unloaded.
ProcessTables& Tables() {
  alignas(ProcessTables) static unsigned char storage[sizeof(ProcessTables)];
  static ProcessTables* tables = new (storage) ProcessTables;
  return *tables;
}

std::string Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

void Signal(int eventFd) {
  std::uint64_t one = 1;
  ssize_t ignored = write(eventFd, &one, sizeof(one));
  (void)ignored;  // the counter cannot overflow in practice; a failed wake is a spurious one less
}

void ClearSignal(int eventFd) {
  std::uint64_t count;
  ssize_t ignored = read(eventFd, &count, sizeof(count));
  (void)ignored;
}

// Arms (or re-arms) the pump for one window socket. tables.mutex is held.
bool ArmLocked(const ProcessTables& tables, const WindowRecord& record, int operation) {
  epoll_event event{};
  event.events = EPOLLIN | EPOLLONESHOT;
  event.data.u64 = record.handle;
  return epoll_ctl(tables.epollFd, operation, record.fd, &event) == 0;
}

// Removes a window of this process: its socket leaves the pump and closes (the
// datagrams in it go; waiting senders see the end). tables.mutex is held.
void ForgetLocked(ProcessTables& tables, std::map<HWND, WindowRecord>::iterator found) {
  epoll_ctl(tables.epollFd, EPOLL_CTL_DEL, found->second.fd, nullptr);
  close(found->second.fd);
  tables.windows.erase(found);
  Signal(tables.controlFd);  // the pump ends with the last window
}

// Lets the pump read the sockets it parked while the inbox was full.
void Rearm(const std::vector<HWND>& windows) {
  if (windows.empty()) return;
  ProcessTables& tables = Tables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  for (HWND window : windows) {
    auto found = tables.windows.find(window);
    if (found != tables.windows.end()) ArmLocked(tables, found->second, EPOLL_CTL_MOD);
  }
}

// The windows to re-arm once `inbox` has room again. inbox.mutex is held.
std::vector<HWND> TakeParkedLocked(Inbox& inbox) {
  std::vector<HWND> parked;
  if (inbox.posted.size() < kMaxQueuedMessages) parked.swap(inbox.parked);
  return parked;
}

struct ThreadQueue {
  std::shared_ptr<Inbox> inbox = std::make_shared<Inbox>();
  bool quitPosted = false;
  int quitCode = 0;
  std::vector<HWND> windows;  // created by this thread and not destroyed

  // A thread that ends takes its windows with it (without messages: no
  // window procedure may run on a thread that is going away). Sends still
  // waiting in the inbox end when the last holder lets go of it.
  ~ThreadQueue() {
    ProcessTables& tables = Tables();
    std::lock_guard<std::mutex> lock(tables.mutex);
    for (HWND window : windows) {
      auto found = tables.windows.find(window);
      if (found == tables.windows.end()) continue;
      UnpublishWindow(found->second.folder, window);
      ForgetLocked(tables, found);
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

// Moves what waits in one window's socket into its owner's inbox, a batch at
// a time, and re-arms the socket unless the inbox is full.
void DrainWindow(HWND window) {
  ProcessTables& tables = Tables();
  std::lock_guard<std::mutex> lock(tables.mutex);  // keeps the socket open while read
  auto found = tables.windows.find(window);
  if (found == tables.windows.end()) return;  // went away after the event
  const WindowRecord& record = found->second;
  Inbox& inbox = *record.inbox;
  bool added = false;
  bool parked = false;
  {
    std::lock_guard<std::mutex> inboxLock(inbox.mutex);
    for (int read = 0; read < kPumpBatch; ++read) {
      if (inbox.posted.size() >= kMaxQueuedMessages) {
        // Decided under the inbox lock, so the owner's next take sees it.
        inbox.parked.push_back(window);
        parked = true;
        break;
      }
      WireMessage message;
      int replyFd = -1;
      bool more = false;
      if (!ReceiveOne(record.fd, &message, &replyFd, &more)) {
        if (more) continue;  // a foreign datagram was dropped; look at the next
        break;
      }
      if (message.kind == WireKind::kSent) {
        inbox.sends.push_back(
            PendingSend{window, message.message, message.wParam, message.lParam, replyFd});
      } else {
        inbox.posted.push_back(MSG{window, message.message, message.wParam, message.lParam});
      }
      added = true;
    }
  }
  if (!parked) ArmLocked(tables, record, EPOLL_CTL_MOD);  // reports again what is still there
  if (added) Signal(inbox.wakeFd);
}

// The pump thread: runs until the last window of the process is gone.
void RunPump() {
  ProcessTables& tables = Tables();
  int epollFd;
  int controlFd;
  {
    std::lock_guard<std::mutex> lock(tables.mutex);
    epollFd = tables.epollFd;
    controlFd = tables.controlFd;
  }
  epoll_event events[16];
  while (true) {
    int ready = epoll_wait(epollFd, events, static_cast<int>(std::size(events)), -1);
    if (ready < 0 && errno == EINTR) continue;
    bool control = ready < 0;  // cannot wait any more: stop, and be restarted by the next window
    for (int i = 0; i < ready; ++i) {
      if (events[i].data.u64 == kControlKey) {
        control = true;
      } else {
        DrainWindow(static_cast<HWND>(events[i].data.u64));
      }
    }
    if (!control) continue;
    ClearSignal(controlFd);
    std::lock_guard<std::mutex> lock(tables.mutex);
    if (ready < 0 || tables.windows.empty()) {
      tables.pumpRunning = false;  // a new window starts a new pump
      return;
    }
  }
}

// Makes sure the pump exists and watches `record`'s socket. tables.mutex is
// held. ERROR_SUCCESS or ERROR_NOT_ENOUGH_MEMORY.
DWORD WatchLocked(ProcessTables& tables, const WindowRecord& record) {
  if (tables.epollFd < 0) {
    int epollFd = epoll_create1(EPOLL_CLOEXEC);
    int controlFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kControlKey;
    if (epollFd < 0 || controlFd < 0 || epoll_ctl(epollFd, EPOLL_CTL_ADD, controlFd, &event) != 0) {
      if (epollFd >= 0) close(epollFd);
      if (controlFd >= 0) close(controlFd);
      return ERROR_NOT_ENOUGH_MEMORY;
    }
    tables.epollFd = epollFd;
    tables.controlFd = controlFd;
  }
  if (!ArmLocked(tables, record, EPOLL_CTL_ADD)) return ERROR_NOT_ENOUGH_MEMORY;
  if (tables.pumpRunning) return ERROR_SUCCESS;
  try {
    std::thread(RunPump).detach();
  } catch (const std::system_error&) {
    epoll_ctl(tables.epollFd, EPOLL_CTL_DEL, record.fd, nullptr);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  tables.pumpRunning = true;
  return ERROR_SUCCESS;
}

// Runs the procedures of the messages sent to this thread's windows, in the
// order they came.
void HandleSends() {
  Inbox& inbox = *queue.inbox;
  while (true) {
    PendingSend send;
    {
      std::lock_guard<std::mutex> lock(inbox.mutex);
      if (inbox.sends.empty()) return;
      send = inbox.sends.front();
      inbox.sends.pop_front();
    }
    Answer(send.replyFd, send.message,
           CallProcedure(send.window, send.message, send.wParam, send.lParam));
  }
}

// Blocks until the pump brought this thread something, `extraFd` (when >= 0)
// has input, or `timeoutMs` passes (-1: no limit). True when extraFd is ready.
bool WaitForInput(int extraFd, int timeoutMs) {
  pollfd fds[2] = {{queue.inbox->wakeFd, POLLIN, 0}, {extraFd, POLLIN, 0}};
  int ready;
  do {
    ready = poll(fds, extraFd >= 0 ? 2 : 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  return extraFd >= 0 && ready > 0 && fds[1].revents != 0;
}

// Clears the wake-up before the inbox is looked at, so anything the pump adds
// afterwards wakes the next wait.
void TakeWakeUp() { ClearSignal(queue.inbox->wakeFd); }

bool Matches(const MSG& message, HWND filter, UINT min, UINT max) {
  if (filter != 0 && message.hwnd != filter) return false;
  if (min == 0 && max == 0) return true;
  return message.message >= min && message.message <= max;
}

bool TakeQueued(MSG* msg, HWND filter, UINT min, UINT max, bool remove) {
  Inbox& inbox = *queue.inbox;
  std::vector<HWND> parked;
  bool taken = false;
  {
    std::lock_guard<std::mutex> lock(inbox.mutex);
    for (auto it = inbox.posted.begin(); it != inbox.posted.end(); ++it) {
      if (!Matches(*it, filter, min, max)) continue;
      *msg = *it;
      if (remove) inbox.posted.erase(it);
      taken = true;
      break;
    }
    if (taken && remove) parked = TakeParkedLocked(inbox);
  }
  Rearm(parked);
  return taken;
}

// Drops what waits for a window that is gone: its posted messages, and its
// sent ones, whose senders then see the end of the reply socket.
void DropQueuedFor(HWND window) {
  Inbox& inbox = *queue.inbox;
  std::vector<HWND> parked;
  std::vector<int> replyFds;
  {
    std::lock_guard<std::mutex> lock(inbox.mutex);
    std::erase_if(inbox.posted, [window](const MSG& message) { return message.hwnd == window; });
    std::erase_if(inbox.sends, [window, &replyFds](const PendingSend& send) {
      if (send.window == window) replyFds.push_back(send.replyFd);
      return send.window == window;
    });
    parked = TakeParkedLocked(inbox);
  }
  for (int fd : replyFds) close(fd);
  Rearm(parked);
}

// Queues a message of this thread for itself. TRUE, or FALSE with
// ERROR_NOT_ENOUGH_QUOTA when the queue is full.
BOOL QueueForThisThread(const MSG& message) {
  Inbox& inbox = *queue.inbox;
  std::lock_guard<std::mutex> lock(inbox.mutex);
  if (inbox.posted.size() >= kMaxQueuedMessages) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
  }
  inbox.posted.push_back(message);
  return TRUE;
}

BOOL Post(const WireMessage& message) {
  DWORD status = SendToWindow(message.window, EncodeWire(message), -1, kPostRoomWaitMs);
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
  record.inbox = queue.inbox;
  WindowDescription description{
      TWindowInfo{window, windowClass.lpszClassName, std::string(windowName), getpid()}, parent};
  status = record.inbox->wakeFd < 0 ? ERROR_NOT_ENOUGH_MEMORY : PublishWindow(folder, description);
  if (status == ERROR_SUCCESS) {
    std::lock_guard<std::mutex> lock(tables.mutex);
    status = WatchLocked(tables, record);
    if (status == ERROR_SUCCESS) tables.windows.emplace(window, record);
  }
  if (status != ERROR_SUCCESS) {
    UnpublishWindow(folder, window);
    close(fd);
    SetLastError(status);
    return 0;
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
        UnpublishWindow(found->second.folder, window);
        ForgetLocked(tables, found);
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
    if (found != tables.windows.end()) ForgetLocked(tables, found);
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
    // datagrams (net.unix.max_dgram_qlen) and the pump is not needed here.
    return QueueForThisThread(MSG{window, message, wParam, lParam});
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
  return QueueForThisThread(MSG{0, message, wParam, lParam});
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
  while ((status = SendToWindow(window, bytes, pair[1], 0)) == ERROR_NOT_ENOUGH_QUOTA) {
    TakeWakeUp();
    HandleSends();  // the target is busy: keep our own windows served
    WaitForInput(-1, kFullQueueRetryMs);
  }
  close(pair[1]);  // from now on only the window holds the other end
  if (status != ERROR_SUCCESS) {
    close(pair[0]);
    SetLastError(status);
    return 0;
  }
  while (true) {
    TakeWakeUp();
    HandleSends();
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
    TakeWakeUp();
    HandleSends();
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
  TakeWakeUp();
  HandleSends();
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
