// CProtocol, the VSCP protocol engine: the link layer (frames with their
// acknowledgements, retries, sequence numbers and contention rules), the
// transaction of one request, and the receive thread that collects reports
// and raw data the reader sends unasked and announces them to the host by
// registered window messages.
//
// Locking: every link operation (Transact, ControlExchange, ReceiveFrame,
// ReceiveReply, ReceiveAndDispatch, DispatchFrame) and every access to the
// buffers runs with CommandMutex() held. The receive thread takes it per
// poll. SetHostTarget, SetDataCapture and SetObserver may be called from any
// thread at any time.
//
// Deliberate choices of this engine:
// a read error other than a time-out (device closed or gone) ends a receive
// at once instead of spinning out the time-out; raw bytes that arrive just
// before a frame, or instead of an awaited control answer, are delivered as
// raw data instead of being overwritten or dropped;
// WM_LOWLEVEL is not posted while the host has named no window; repeated
// BUSY and SYDN answers are bounded; a message past 640000 bytes fails.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

#include "command_mutex.h"
#include "frame_codec.h"
#include "host_messaging.h"
#include "link_clock.h"
#include "link_observer.h"
#include "message_list.h"
#include "transport.h"
#include "vscp_frame.h"

namespace lx2d {

// Results of ReceiveFrame.
inline constexpr int kReceivedFull = 1;         // a full frame is in the record
inline constexpr int kReceivedControl = 2;      // a control frame is in the record
inline constexpr int kReceiveTimeout = 3;       // nothing in time; the record may hold raw bytes
inline constexpr int kReceiveRawOverflow = 12;  // 640000 raw bytes without a pause or line feed

// Results of Transact and ReceiveReply (RunRequest maps them to library codes).
inline constexpr int kTransactOk = 0;            // the reply is in Reply()
inline constexpr int kTransactResult1 = 1;       // the reader answered RSLT 1 instead
inline constexpr int kTransactNoAnswer = 3;      // no ACK after 3 sends, no reply in time,
                                                 // or the reader stayed BUSY
inline constexpr int kTransactOverflow = 4;      // the reply grew past 640000 bytes; dropped
inline constexpr int kTransactRefused = 12;      // unknown request kind, or SYDN then ACK
inline constexpr int kTransactResult3 = 14;      // the reader answered RSLT 3 instead
inline constexpr int kTransactNakStart = 32;     // a reply frame refused with NAK 0x20
inline constexpr int kTransactNakSequence = 48;  // a reply frame refused with NAK 0x30
inline constexpr int kTransactNoInput = 256;     // contention wait on, no input in time

// NAK reasons the host sends.
inline constexpr uint8_t kNakSequence = 0x30;  // sequence number out of order
inline constexpr uint8_t kNakStart = 0x20;     // no F on a first frame, or another kind

// Fixed values of the link.
inline constexpr uint32_t kByteWaitMs = 50;        // one transport read
inline constexpr uint32_t kRawChunkMs = 50;        // end of a raw chunk
inline constexpr uint32_t kWriteTimeoutMs = 2000;  // handed to the transport
inline constexpr uint32_t kGirpMinTimeoutMs = 1000;
inline constexpr int kRequestSends = 3;        // sends of one request before giving up
inline constexpr int kMaxBusyRounds = 8;       // contention rounds in one transaction
inline constexpr int kMaxSydnResends = 3;      // re-sends caused by SYDN in one exchange
inline constexpr uint32_t kPostRetryMs = 500;  // pause before posting once more
inline constexpr uint32_t kPollPeriodMs = 10;  // receive thread cycle

// Message box texts and captions the engine shows.
inline constexpr std::string_view kCaption = "RDLK_HID";
inline constexpr std::string_view kBoxBadBcd =
    "size parameter of the BCD frame does not correspond with data";
inline constexpr std::string_view kBoxBadBcdex = "Invalid fields in BCDEX frame";
inline constexpr std::string_view kBoxNoCopy = "cannot allocate buffer to save Vscp frame";
inline constexpr std::string_view kBoxOverflow = "Buffer overflow";
inline constexpr std::string_view kBoxOverflowCaption = "ERROR";
inline constexpr std::string_view kBoxNoMemory = "Allocation error";

// The host's data capture callback: a received payload or raw chunk.
using DataCaptureCallback = int32_t (*)(uint8_t* data, uint32_t length);

// The four registered window messages, in this order.
enum class HostMessage : uint8_t { kVscpFrame, kRawData, kMultiframe, kLowLevel };
inline constexpr std::string_view kHostMessageNames[] = {
    "WM_VSCP_FRAME", "WM_RAW_DATA", "WM_MULTIFRAME_IN_PROGRESS", "WM_LOWLEVEL"};

class CProtocol {
 public:
  // Registers the four window messages. `transport` and `host` outlive the
  // engine; `observer` may be null (no diagnostics); `clock` null means the
  // monotonic clock.
  CProtocol(ITransport& transport, IHostMessaging& host, ILinkObserver* observer = nullptr,
            ILinkClock* clock = nullptr);
  // Stops the receive thread first: nothing of it runs after the engine.
  ~CProtocol();

  CProtocol(const CProtocol&) = delete;
  CProtocol& operator=(const CProtocol&) = delete;

  // --- Link layer -----------------------------------------------------------

  // Sends a request frame with the current flags (0x60 + tx sequence, E, R).
  // Returns the transport's write result, which nobody acts upon.
  int SendFrame(uint8_t number, uint8_t kind, uint16_t extension1, uint16_t extension2,
                std::span<const uint8_t> payload);
  int SendControl(uint8_t number, uint8_t code, uint8_t data);

  // Reads until a frame of an accepted class (kAcceptFull, kAcceptControl)
  // or a chunk of raw data has arrived: kReceivedFull, kReceivedControl,
  // kReceiveTimeout or kReceiveRawOverflow. The time-out is quadrupled
  // while a frame is in progress; raw bytes end after 50 ms or a line feed.
  // Each limit holds to within one input report's interval, however slowly
  // the reader sends.
  int ReceiveFrame(FrameAccept accept, VscpFrame& record, uint32_t timeoutMs);

  // Sends control frame `code` and waits for one control answer: 0 when it
  // was `expected`, 1 otherwise.
  int ControlExchange(uint8_t code, uint8_t data, uint8_t expected);

  // One request and its reply (results kTransact*). On kTransactOk the reply
  // is in Reply().
  int Transact(uint8_t kind, std::span<const uint8_t> payload, uint16_t extension1,
               uint16_t extension2);

  // Collects one message of `expectedKind` (0: any kind) into `out`,
  // acknowledging each frame: kTransactOk, kTransactResult1,
  // kTransactNoAnswer, kTransactOverflow, kTransactResult3,
  // kTransactNakStart or kTransactNakSequence. `requestHadR` is the R flag
  // the request went out with.
  int ReceiveReply(bool requestHadR, VscpFrame& out, uint8_t expectedKind);

  const VscpFrame& Reply() const { return reply_; }

  // --- Unsolicited data -----------------------------------------------------

  // Receives one message and delivers it; true when a report was posted.
  bool ReceiveAndDispatch();

  // Stores and announces `frame` when its kind is a report; true when the
  // message was posted.
  bool DispatchFrame(const VscpFrame& frame);

  bool StartReceiveThread();  // false when the thread cannot be created
  void StopReceiveThread();   // waits for the thread to end

  // The lock of every exchange with the reader and of the buffers.
  CCommandMutex& CommandMutex() { return commandMutex_; }

  // Buffers; read and change them with CommandMutex() held.
  CVscpMessageList& Messages() { return messages_; }
  std::vector<uint8_t>& RawData() { return raw_; }

  // --- Settings ---------------------------------------------------------------

  // MessageIdentify: where messages go (0: broadcast) and the id in lParam.
  void SetHostTarget(HostWindow window, uint8_t dllId);
  HostWindow HostTarget() const { return hostWindow_.load(); }

  // StartDataCapture: while `enabled`, no BCD layout message box; a non-null
  // callback receives every posted payload and raw chunk first.
  void SetDataCapture(bool enabled, DataCaptureCallback callback);
  DataCaptureCallback DataCapture() const { return captureCallback_.load(); }

  void SetObserver(ILinkObserver* observer);

  // Link parameters; their defaults are 500 ms, off, 0 ms, off. Change them
  // with CommandMutex() held, like the rest of the link state.
  void SetReplyTimeout(uint16_t ms) { replyTimeoutMs_ = ms; }
  void SetContentionWait(bool on, uint32_t durationMs);
  void SetHostPriority(bool on) { hostPriority_ = on; }

  // Link state, for diagnostics and tests.
  uint8_t FrameCounter() const { return frameCounter_; }
  uint8_t TxSequence() const { return txSequence_; }
  uint8_t ExpectedRxSequence() const { return expectedRxSequence_; }
  bool RFlag() const { return rFlag_; }
  bool EFlag() const { return eFlag_; }

 private:
  int RequestExchange(uint8_t number, uint8_t kind, std::span<const uint8_t> payload,
                      uint16_t extension1, uint16_t extension2);
  // Receives one control frame with the reply time-out: its code, or
  // kNoControlAnswer when none came (raw bytes that came instead are
  // delivered as raw data).
  static constexpr int kNoControlAnswer = -1;
  int ReceiveControlAnswer();
  void AcceptControl(const VscpFrame& frame);
  void EndReceive();
  // The limit of a receive in its present state: 50 ms once raw bytes came
  // (outside a frame), four times the time-out while a frame is in
  // progress, else the time-out.
  uint64_t ReceiveLimit(const VscpFrame& record, uint32_t timeoutMs) const;
  // The wait of one transport read: 50 ms, or less when the limit is nearer.
  static uint32_t ByteWait(uint64_t limit, uint64_t elapsed);
  // No memory for a received frame or message: says so and ends the process.
  [[noreturn]] void AllocationFailed();
  void DeliverRaw(std::span<const uint8_t> bytes);
  bool Post(HostMessage which, HostWindow window, uint64_t wParam, int64_t lParam, bool retry);
  HostWindow ReportTarget();
  int64_t IdParam(uint32_t low) const;
  void CaptureData(uint8_t* data, size_t length);
  void TraceLine(const VscpFrame& frame, bool sent);
  ILinkObserver& Observer() const { return *observer_.load(); }
  void ReceiveLoop();

  ITransport& transport_;
  IHostMessaging& host_;
  ILinkClock& clock_;
  std::atomic<ILinkObserver*> observer_;
  uint32_t messageIds_[4] = {};  // registered numbers, by HostMessage

  // Link state.
  uint8_t frameCounter_ = 0;
  uint8_t txSequence_ = 0;
  uint8_t expectedRxSequence_ = 0;
  bool rFlag_ = true;
  bool eFlag_ = false;
  uint16_t lastChecksum_ = 0;
  uint8_t lastFlags_ = 0;
  uint16_t replyTimeoutMs_ = 500;
  bool contentionWait_ = false;
  uint32_t contentionWaitMs_ = 0;
  bool hostPriority_ = false;

  // Working records, kept so a busy link does not allocate per frame.
  CFrameDecoder decoder_;
  std::vector<uint8_t> wire_;     // wire bytes of the frame in progress, for the event log
  std::vector<uint8_t> txBytes_;  // encoded frame being sent
  VscpFrame reply_;               // reply of the current transaction
  VscpFrame incoming_;            // frame being received by ReceiveReply
  VscpFrame control_;             // control answer being received
  VscpFrame dispatched_;          // message being received by ReceiveAndDispatch

  // Unsolicited data and the host target.
  CVscpMessageList messages_;
  std::vector<uint8_t> raw_;
  std::atomic<HostWindow> hostWindow_{0};
  std::atomic<uint8_t> dllId_{0};
  std::atomic<bool> captureEnabled_{false};
  std::atomic<DataCaptureCallback> captureCallback_{nullptr};

  // Receive thread.
  CCommandMutex commandMutex_;
  std::mutex stopMutex_;
  std::condition_variable stopWake_;
  bool stopRequested_ = true;  // guarded by stopMutex_
  std::thread thread_;
};

}  // namespace lx2d
