// Reports and raw data the reader sends unasked, as a host receives them:
// window messages, the getters one report at a time, and all at once.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "library_host.h"
#include "platform/window.h"

namespace lx2d::test {
namespace {

namespace pf = lx2d::platform;

pf::LRESULT HostProc(pf::HWND window, pf::UINT message, pf::WPARAM wParam, pf::LPARAM lParam) {
  return pf::DefWindowProc(window, message, wParam, lParam);
}

class LibraryBuffer : public ::testing::Test {
 protected:
  LibraryBuffer() {
    pf::WNDCLASS windowClass;
    windowClass.lpfnWndProc = HostProc;
    windowClass.lpszClassName = "Lx2dLibraryTestHost";
    pf::RegisterClass(windowClass);
    window = pf::CreateWindowEx(0, "Lx2dLibraryTestHost", "host", 0, 0, 0, 0, 0, 0, 0, nullptr);
  }
  ~LibraryBuffer() override { pf::DestroyWindow(window); }

  // The next message `name` queued for this thread.
  bool Receive(const char* name, pf::MSG& msg) {
    const pf::UINT number = pf::RegisterWindowMessage(name);
    return WaitUntil([&] {
      while (pf::PeekMessage(&msg, 0, 0, 0, pf::PM_REMOVE)) {
        if (msg.message == number) return true;
      }
      return false;
    });
  }

  // The payload of a barcode report for `text`: its length, big-endian, first.
  static std::vector<unsigned char> Barcode(const std::string& text) {
    std::vector<unsigned char> payload{0, static_cast<unsigned char>(text.size())};
    payload.insert(payload.end(), text.begin(), text.end());
    return payload;
  }

  CLibraryTest host;
  CScannerLibrary& lib = host.Library();
  pf::HWND window = 0;
};

TEST_F(LibraryBuffer, ReportsOneAtATime_AnnouncedAndTakenOldestFirst) {
  ASSERT_NE(window, 0u);
  ASSERT_TRUE(host.Connected());
  // No window named yet: the message is broadcast, so ours gets it too.
  ASSERT_TRUE(host.Reader().Command("bcd HELLO"));
  pf::MSG msg;
  ASSERT_TRUE(Receive(RDLK_WM_VSCP_FRAME, msg));
  EXPECT_EQ(msg.wParam, 0x60u);
  EXPECT_EQ(msg.lParam, 7);

  ASSERT_EQ(lib.MessageIdentify(window, 0x5A), RDLK_SUCCESS);
  ASSERT_TRUE(host.Reader().Command("bcd WORLDWIDE"));
  ASSERT_TRUE(Receive(RDLK_WM_VSCP_FRAME, msg));
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(msg.wParam, 0x60u);
  EXPECT_EQ(msg.lParam, 0x5A000000 + 11);

  unsigned char data[64];
  uint32_t length = 0xFFFF;
  // Too small: the report stays.
  EXPECT_EQ(lib.GetBarcodeData(data, 6, &length), RDLK_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(lib.GetBarcodeData(data, 7, &length), RDLK_SUCCESS);
  EXPECT_EQ(std::vector<unsigned char>(data, data + length), Barcode("HELLO"));
  EXPECT_EQ(lib.GetBarcodeData(data, sizeof data, &length), RDLK_SUCCESS);
  EXPECT_EQ(std::vector<unsigned char>(data, data + length), Barcode("WORLDWIDE"));
  // Nothing left; other kinds never had any.
  EXPECT_EQ(lib.GetBarcodeData(data, sizeof data, &length), RDLK_SUCCESS);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(lib.GetSetupBarcodeData(data, sizeof data, &length), RDLK_SUCCESS);
  EXPECT_EQ(length, 0u);
}

TEST_F(LibraryBuffer, KindsKeptApart_EachGetterTakesItsOwn) {
  ASSERT_TRUE(host.Connected());
  ASSERT_EQ(lib.MessageIdentify(window, 1), RDLK_SUCCESS);
  for (const char* command : {"sbcd SETUP", "evt 0101", "bcd CODE"}) {
    ASSERT_TRUE(host.Reader().Command(command));
    pf::MSG msg;
    ASSERT_TRUE(Receive(RDLK_WM_VSCP_FRAME, msg)) << command;
  }
  unsigned char data[64];
  uint32_t length = 0;
  EXPECT_EQ(lib.GetBarcodeData(data, sizeof data, &length), RDLK_SUCCESS);
  EXPECT_EQ(std::vector<unsigned char>(data, data + length), Barcode("CODE"));
  EXPECT_EQ(lib.GetEventNotification(data, sizeof data, &length), RDLK_SUCCESS);
  EXPECT_EQ(std::vector<unsigned char>(data, data + length), (std::vector<unsigned char>{1, 1}));
  EXPECT_EQ(lib.GetSetupBarcodeData(data, sizeof data, &length), RDLK_SUCCESS);
  EXPECT_EQ(std::vector<unsigned char>(data, data + length), Barcode("SETUP"));
}

TEST_F(LibraryBuffer, TakeAll_WhatFitsIsCopiedAndEveryReportOfTheKindGoes) {
  ASSERT_TRUE(host.Connected());
  ASSERT_EQ(lib.MessageIdentify(window, 0), RDLK_SUCCESS);
  // Payloads of 10 and 20 bytes, then two events.
  for (const char* command : {"bcd 12345678", "bcd 123456789012345678", "evt 0101", "evt 0202"}) {
    ASSERT_TRUE(host.Reader().Command(command));
    pf::MSG msg;
    ASSERT_TRUE(Receive(RDLK_WM_VSCP_FRAME, msg)) << command;
  }
  struct Case {
    uint32_t code;
    uint32_t capacity;
    RDLK_RESULT result;
    std::vector<unsigned char> output;
  };
  const Case kCases[] = {
      {RDLK_IOCTL_TAKE_ALL_BARCODES, 25, RDLK_BUFFER_TOO_SMALL, Barcode("12345678")},
      {RDLK_IOCTL_TAKE_ALL_BARCODES, 64, RDLK_SUCCESS, {}},  // both were removed
      {RDLK_IOCTL_TAKE_ALL_BARCODES_EX, 64, RDLK_SUCCESS, {}},
      {RDLK_IOCTL_TAKE_ALL_EVENTS, 64, RDLK_SUCCESS, {1, 1, 2, 2}},
      {RDLK_IOCTL_TAKE_ALL_EVENTS, 64, RDLK_SUCCESS, {}},
  };
  for (const Case& c : kCases) {
    unsigned char output[64];
    uint32_t length = 0xFFFF;
    // Any input will do.
    EXPECT_EQ(lib.DeviceIOControl(c.code, "x", 1, output, c.capacity, &length), c.result) << c.code;
    EXPECT_EQ(std::vector<unsigned char>(output, output + length), c.output) << c.code;
  }
}

TEST_F(LibraryBuffer, RawData_AllOrNothing) {
  ASSERT_TRUE(host.Connected());
  ASSERT_EQ(lib.MessageIdentify(window, 3), RDLK_SUCCESS);
  ASSERT_TRUE(host.Reader().Command("raw ABC"));
  pf::MSG msg;
  ASSERT_TRUE(Receive(RDLK_WM_RAW_DATA, msg));
  EXPECT_EQ(msg.wParam, 0u);
  EXPECT_EQ(msg.lParam, 4);
  unsigned char data[8];
  uint32_t length = 0xFFFF;
  EXPECT_EQ(lib.GetRawData(data, 3, &length), RDLK_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(lib.GetRawData(data, sizeof data, &length), RDLK_SUCCESS);
  EXPECT_EQ(std::string(data, data + length), "ABC\n");
  EXPECT_EQ(lib.GetRawData(data, sizeof data, &length), RDLK_SUCCESS);
  EXPECT_EQ(length, 0u);
}

}  // namespace
}  // namespace lx2d::test
