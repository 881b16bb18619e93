// The trace lines of DeviceIOControl's byte-level codes, as the observers
// attached to the library (the spy window) receive them. Runs the library's
// code in this process against the simulated reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library_host.h"
#include "platform/fakes/memory_registry.h"
#include "vscp_communication.h"

namespace lx2d::test {
namespace {

namespace pf = lx2d::platform;

class CRecordingTracer final : public ILinkObserver {
 public:
  bool Tracing() const override { return true; }
  void Trace(std::string_view line, uint32_t colour) override {
    if (colour == 0) lines.emplace_back(line);  // frames come in colour
  }
  std::vector<std::string> lines;
};

class LibraryTrace : public ::testing::Test {
 protected:
  LibraryTrace() {
    folders.ExportForAllDirectories();
    previous = pf::SetDefaultRegistry(&registry);
    library.Observer().Attach(&tracer);
    uint8_t flag = 0;
    library.Initialize("HKCU\\Software\\Lx2dTest", &flag);
  }
  ~LibraryTrace() override {
    library.Disconnect();
    library.Observer().Detach(&tracer);
    pf::SetDefaultRegistry(previous);
  }

  // DeviceIOControl with a 4-byte time-out then `data`; the trace line.
  std::string Traced(uint32_t code, uint32_t timeout, std::vector<uint8_t> data = {}) {
    std::vector<uint8_t> input{static_cast<uint8_t>(timeout), static_cast<uint8_t>(timeout >> 8), 0,
                               0};
    input.insert(input.end(), data.begin(), data.end());
    uint8_t output[16];
    uint32_t length = 0;
    tracer.lines.clear();
    EXPECT_EQ(library.DeviceIoControl(code, input.data(), static_cast<uint32_t>(input.size()),
                                      {output, sizeof output, &length}),
              kResultOk);
    return tracer.lines.empty() ? "" : tracer.lines.back();
  }

  std::string Hold(uint8_t value) {
    uint32_t length = 0;
    tracer.lines.clear();
    EXPECT_EQ(library.DeviceIoControl(RDLK_IOCTL_RECEIVE_THREAD, &value, 1, {nullptr, 0, &length}),
              kResultOk);
    return tracer.lines.empty() ? "" : tracer.lines.back();
  }

  pf::CTempDirectory folders;
  pf::CMemoryRegistry registry;
  pf::IRegistry* previous = nullptr;
  CRecordingTracer tracer;
  CSimulatedReader reader;
  CVscpCommunication library;
};

TEST_F(LibraryTrace, NoReaderOpen_LinesOfEveryByteCode) {
  struct Case {
    uint32_t code;
    std::vector<uint8_t> data;
    const char* line;
  };
  const Case kCases[] = {
      {RDLK_IOCTL_READ_BYTE, {}, "ReadByte    (timeout  100): error 255"},
      {RDLK_IOCTL_READ_WORD, {}, "ReadWord    (timeout  100): x0000"},
      {RDLK_IOCTL_READ_LONG, {}, "ReadLong    (timeout  100): x00000000"},
      {RDLK_IOCTL_WRITE_BYTE, {0xAB}, "WriteByte   (timeout  100): xab"},
      {RDLK_IOCTL_WRITE_WORD, {0x34, 0x12}, "WriteWord   (timeout  100): x1234"},
      {RDLK_IOCTL_WRITE_LONG, {0x78, 0x56, 0x34, 0x12}, "WriteLong   (timeout  100): x12345678"},
      {RDLK_IOCTL_WRITE_BUFFER, {1, 2}, "WriteBuffer (timeout  100): error 255"},
      {RDLK_IOCTL_ECHO, {}, ""},
  };
  for (const Case& c : kCases) EXPECT_EQ(Traced(c.code, 100, c.data), c.line) << c.code;
  EXPECT_EQ(Hold(0), "Thread disabled");
  EXPECT_EQ(Hold(1), "Thread enabled");
}

TEST_F(LibraryTrace, ConnectedReader_WrittenBytesAndTheByteRead) {
  ASSERT_TRUE(reader.Start());
  library.SetDeviceSelection(Target().readerDescription);
  ASSERT_EQ(library.Connect(), kResultOk);
  ASSERT_EQ(Hold(0), "Thread disabled");
  // At most 48 bytes are shown, then "...".
  std::vector<uint8_t> filler(50, 0x20);
  std::string expected = "WriteBuffer (timeout 2000): 50 bytes, ";
  for (int i = 0; i < 48; ++i) expected += "x20 ";
  EXPECT_EQ(Traced(RDLK_IOCTL_WRITE_BUFFER, 2000, filler), expected + "...");
  EXPECT_EQ(Traced(RDLK_IOCTL_WRITE_BUFFER, 2000, {0x02, 0x01, 0x16, 0x00, 0x03}),
            "WriteBuffer (timeout 2000): 5 bytes, x02 x01 x16 x00 x03 ");
  EXPECT_EQ(Traced(RDLK_IOCTL_READ_BYTE, 2000), "ReadByte    (timeout 2000): x02");
  EXPECT_EQ(Traced(RDLK_IOCTL_READ_BYTE, 2000), "ReadByte    (timeout 2000): x01");
  ASSERT_EQ(Hold(1), "Thread enabled");
}

}  // namespace
}  // namespace lx2d::test
