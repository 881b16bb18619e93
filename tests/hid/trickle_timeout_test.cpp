// A reader that trickles one byte per input report, over a real virtual HID
// device, cannot stretch a receive of the protocol engine past its limit:
// the engine looks at the clock once per report, whatever the pacing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "frame_codec.h"
#include "in_process_reader.h"
#include "platform/fakes/temp_directory.h"
#include "platform/hid.h"
#include "protocol.h"
#include "usb_hid.h"

namespace lx2d::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Reports of 3 bytes (id, count, one payload byte): STX, then 'A' every
// `interval`, a frame that never ends.
class CTricklingDevice {
 public:
  explicit CTricklingDevice(std::chrono::milliseconds interval) : interval_(interval) {
    created = platform::CreateVirtualHidDevice(temp.Path(), "trickle",
                                               SimulatedReaderInfo(3, "TRICKLE"), device);
    if (created != platform::kHidOk) return;
    service = platform::MakeHidService({false, temp.Path()});
    thread = std::thread([this] { Serve(); });
  }
  ~CTricklingDevice() {
    if (!thread.joinable()) return;
    stop.store(true);
    device->Wake();
    thread.join();
  }

  void StartTrickle() { trickling.store(true); }

  platform::CTempDirectory temp;
  uint32_t created = platform::kHidErrorGenFailure;
  std::unique_ptr<platform::IVirtualHidDevice> device;
  std::unique_ptr<platform::IHidService> service;

 private:
  void Serve() {
    uint8_t buffer[3];
    uint8_t report[3] = {2, 1, kStx};
    Clock::time_point next = Clock::now();
    while (!stop.load()) {
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
      device->Wait(buffer, static_cast<uint32_t>(std::clamp<int64_t>(wait.count(), 1, 10)));
      if (!trickling.load() || !device->Connected() || Clock::now() < next) continue;
      device->SendReport(report);
      report[2] = 'A';
      next += interval_;
    }
  }

  std::chrono::milliseconds interval_;
  std::atomic<bool> stop{false};
  std::atomic<bool> trickling{false};
  std::thread thread;
};

TEST(TrickleTimeoutTest, EndlessFrameOneBytePerReport_ReceiveEndsNearFourTimesTheTimeout) {
  CTricklingDevice reader(30ms);
  ASSERT_EQ(reader.created, platform::kHidOk);
  CUsbHid hid(kReaderVendorId, kReaderProductId, reader.service.get());
  std::string path;
  ASSERT_EQ(hid.FindDevice(path, "2D Barcode Reader TRICKLE"), 0);
  ASSERT_EQ(hid.Open(path), 0);
  ASSERT_EQ(hid.ReportSize(), 3);
  CQuietHost host;
  CProtocol engine(hid, host);

  reader.StartTrickle();
  VscpFrame record;
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(engine.ReceiveFrame(kAcceptFull, record, 100), kReceiveTimeout);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  // Nominal 400 ms; the engine may overrun by one report interval. The
  // upper bound leaves room for a loaded machine, and is still far below
  // the seconds a clock look every few dozen bytes would take at this pace.
  EXPECT_GE(took, 400ms);
  EXPECT_LT(took, 800ms) << took.count() << " ms";
}

}  // namespace
}  // namespace lx2d::test
