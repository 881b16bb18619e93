// CMiscCommon against the simulated driver in process: the handshake, the
// capsules on the wire, the version gate, the repeat on status 4, and
// answers a driver should never give.
#include "misc_common.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>

#include "auth_key.h"
#include "capsule_cipher.h"
#include "driver_protocol.h"
#include "in_process_driver.h"
#include "platform/fakes/temp_directory.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace lx2d::test {
namespace {

using MiscCommon::CMiscCommon;
using platform::DWORD;
using platform::GetLastError;
using namespace lx2d::power;

std::string Narrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

class MiscCommonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp.UseForAllDirectories();  // no key file: both sides use the development key
    ASSERT_TRUE(DevelopmentAuthKey(config.authKey));
  }

  // A channel on a driver of `version`, opened (and with its session when
  // `initialize`).
  void Start(const std::string& version = "1.0.8.0", bool initialize = true) {
    driver = std::make_unique<CInProcessDriver>(config, version);
    channel = std::make_unique<CMiscCommon>(errorText, driver.get());
    ASSERT_EQ(channel->OpenDriver(), 0) << Narrow(channel->ErrorText());
    if (initialize) {
      ASSERT_EQ(channel->_Initialize(), 0) << Narrow(channel->ErrorText());
    }
  }

  std::string Text() const { return Narrow(channel->ErrorText()); }

  std::vector<uint32_t> Codes() const {
    std::vector<uint32_t> codes;
    for (const sim::DeviceCallRecord& call : driver->sim.Calls()) codes.push_back(call.code);
    return codes;
  }

  platform::CTempDirectory temp;
  sim::DriverSimConfig config;
  char16_t errorText[MiscCommon::kErrorTextChars] = u"stale";
  std::unique_ptr<CInProcessDriver> driver;
  std::unique_ptr<CMiscCommon> channel;
};

TEST_F(MiscCommonTest, Handshake_EstablishesSessionAndSetsPowerItems) {
  Start();
  EXPECT_TRUE(channel->HasSession());
  EXPECT_TRUE(driver->sim.InSession());
  EXPECT_EQ(channel->SessionId(), driver->sim.SessionId());
  EXPECT_EQ(Narrow(channel->VersionText()), "1.0.8.0");
  EXPECT_EQ(channel->VersionBuild(), 8);

  // Probe, then the three phases with their exact sizes.
  const std::vector<sim::DeviceCallRecord>& calls = driver->sim.Calls();
  ASSERT_EQ(calls.size(), 4u);
  const size_t sizes[][3] = {{0, 0, 0}, {160, 160, 160}, {28, 20, 20}, {24, 8, 8}};
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].code, kIoctlSession);
    EXPECT_EQ(calls[i].input.size(), sizes[i][0]) << i;
    EXPECT_EQ(calls[i].outputCapacity, sizes[i][1]) << i;
    EXPECT_EQ(calls[i].answer.output.size(), sizes[i][2]) << i;
    EXPECT_TRUE(calls[i].answer.success) << i;
  }
  // The client's nonce and the zero word follow its public value.
  EXPECT_EQ(WordAt(calls[1].input, 156), 0u);

  uint8_t status = 0xFF;
  EXPECT_EQ(channel->SetPowerState(0, 1, status), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(channel->SetPowerState(3, 0, status), 0);
  EXPECT_EQ(driver->sim.Item(0), 1);
  uint8_t value = 0xFF;
  EXPECT_EQ(channel->QueryPowerState(0, status, value), 0);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(channel->MessageCounter(), 3u);
  EXPECT_EQ(Text(), "");
}

TEST_F(MiscCommonTest, MiscCall_CapsulesOnTheWireAreEncipheredWholeBlocks) {
  Start();
  uint8_t status = 0;
  ASSERT_EQ(channel->SetPowerState(3, 0, status), 0);
  const sim::DeviceCallRecord& call = driver->sim.Calls().back();
  ASSERT_EQ(call.code, kIoctlCapsule);
  ASSERT_EQ(call.input.size(), 56u);
  EXPECT_EQ(call.outputCapacity, 32u);
  ASSERT_EQ(call.answer.output.size(), 32u);

  // Header in clear, five enciphered blocks, the last 4 bytes clear.
  const std::vector<uint8_t> plain = BuildCapsule(
      BuildInnerMessage(0, MakeMiscPacket(3, kMiscSet, 0), kMiscPacketBytes), channel->SessionId());
  EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 12, call.input.begin()));
  for (size_t block = 0; block < 5; ++block) {
    const size_t at = 12 + 8 * block;
    EXPECT_FALSE(std::equal(plain.begin() + at, plain.begin() + at + 8, call.input.begin() + at))
        << "block " << block << " went out in clear";
  }
  EXPECT_TRUE(std::equal(plain.end() - 4, plain.end(), call.input.end() - 4));

  // The reply: content 12 bytes, capsule 32 with 2 enciphered blocks.
  const std::vector<uint8_t>& reply = call.answer.output;
  EXPECT_EQ(WordAt(reply, 0), 12u);
  EXPECT_EQ(WordAt(reply, 4), 32u);
  EXPECT_EQ(CapsuleBlockCount(WordAt(reply, 4)), 2u);
  MiscPacket answered = MakeMiscPacket(3, kMiscSet, 0);
  answered[kMiscStatusOffset] = kMiscStatusOk;
  const std::vector<uint8_t> plainReply = BuildCapsule(answered, channel->SessionId());
  for (size_t block = 0; block < 2; ++block) {
    const size_t at = 12 + 8 * block;
    EXPECT_FALSE(
        std::equal(plainReply.begin() + at, plainReply.begin() + at + 8, reply.begin() + at))
        << "reply block " << block << " came back in clear";
  }
  EXPECT_TRUE(std::equal(plainReply.end() - 4, plainReply.end(), reply.end() - 4));
}

TEST_F(MiscCommonTest, WrongKey_DriverAuthenticationFailsAndTheSessionIsEnded) {
  config.authKey[5] ^= 0x01;
  Start("1.0.8.0", false);
  EXPECT_EQ(channel->_Initialize(), 6);
  EXPECT_EQ(Text(), "MiscCommon::CMiscCommon::_Initialize: Driver Authentication Failed.");
  EXPECT_FALSE(channel->HasSession());
  const sim::DeviceCallRecord& last = driver->sim.Calls().back();
  EXPECT_EQ(last.code, kIoctlEndSession);
  ASSERT_EQ(last.input.size(), 4u);
  EXPECT_EQ(WordAt(last.input, 0), driver->sim.Calls()[1].answer.output[0] |
                                       driver->sim.Calls()[1].answer.output[1] << 8 |
                                       driver->sim.Calls()[1].answer.output[2] << 16 |
                                       driver->sim.Calls()[1].answer.output[3] << 24);
  EXPECT_FALSE(driver->sim.InSession());

  // Without a session nothing travels.
  uint8_t status = 0;
  const size_t callsBefore = driver->sim.Calls().size();
  EXPECT_EQ(channel->SetPowerState(0, 1, status), 2);
  EXPECT_EQ(Text(), "MiscCommon::CMiscCommon::CallMiscFunction: DeviceIoControl failed.");
  EXPECT_EQ(GetLastError(), platform::ERROR_ACCESS_DENIED);
  EXPECT_EQ(driver->sim.Calls().size(), callsBefore);
}

TEST_F(MiscCommonTest, ProbeNotSupported_NoHandshakeAndPlainCapsules) {
  config.sessions = false;
  Start();
  EXPECT_FALSE(channel->SessionExpected());
  EXPECT_FALSE(channel->HasSession());
  EXPECT_EQ(Codes(), std::vector<uint32_t>{kIoctlSession});

  uint8_t status = 0xFF;
  ASSERT_EQ(channel->SetPowerState(0, 1, status), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(driver->sim.Item(0), 1);
  const sim::DeviceCallRecord& call = driver->sim.Calls().back();
  const std::vector<uint8_t> plain =
      BuildCapsule(BuildInnerMessage(0, MakeMiscPacket(0, kMiscSet, 1), kMiscPacketBytes), 0);
  EXPECT_EQ(call.input, plain);
  channel->CloseDriver();
  EXPECT_EQ(Codes().back(), kIoctlCapsule) << "no session to end";
}

TEST_F(MiscCommonTest, VersionGate_OlderDriversGetNoSessionAndNoPowerCalls) {
  struct Case {
    const char* version;
    int initialize;
    int32_t parsed[4];
  };
  const Case cases[] = {
      {"1.0.7.9", 10, {1, 0, 7, 9}},
      {"1.0.7", 10, {1, 0, 7, 0}},
      {"0.9.99.0", 10, {0, 9, 99, 0}},
      {"", 10, {0, 0, 0, 0}},
      {"1.0.8.0", 0, {1, 0, 8, 0}},
      {"1.1.0.0", 0, {1, 1, 0, 0}},
      {"2.0.0.0", 0, {2, 0, 0, 0}},
      {" 1.0.8.1", 0, {1, 0, 8, 1}},
      {"99999999999.0.0.0", 0, {INT32_MAX, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    Start(c.version, false);
    EXPECT_EQ(channel->VersionMajor(), c.parsed[0]);
    EXPECT_EQ(channel->VersionMinor(), c.parsed[1]);
    EXPECT_EQ(channel->VersionBuild(), c.parsed[2]);
    EXPECT_EQ(channel->VersionRevision(), c.parsed[3]);
    EXPECT_EQ(channel->_Initialize(), c.initialize);
    if (c.initialize == 10) {
      uint8_t status = 0;
      uint8_t value = 0;
      EXPECT_EQ(channel->SetPowerState(0, 1, status), 10);
      EXPECT_EQ(channel->QueryPowerState(0, status, value), 10);
      MiscPacket packet = MakeMiscPacket(0, kMiscQuery, 0);
      EXPECT_EQ(channel->CallMiscFunction(packet.data()), 10);
      DWORD returned = 0;
      EXPECT_FALSE(
          channel->EncapsuledDeviceIoControl(packet.data(), 12, packet.data(), 12, &returned));
      EXPECT_TRUE(driver->sim.Calls().empty()) << "no device call below 1.0.8";
    }
    channel.reset();
  }
}

TEST_F(MiscCommonTest, Status4_OneRepeatAfter100Ms) {
  Start();
  driver->sim.SetRepeatStatusCalls(1);
  uint8_t status = 0xFF;
  ASSERT_EQ(channel->SetPowerState(0, 1, status), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(driver->sim.Item(0), 1);
  const std::vector<sim::DeviceCallRecord>& calls = driver->sim.Calls();
  ASSERT_EQ(calls.size(), 6u);  // probe, three phases, two capsules
  EXPECT_EQ(calls[4].code, kIoctlCapsule);
  EXPECT_EQ(calls[5].code, kIoctlCapsule);
  EXPECT_GE(calls[5].when - calls[4].when, std::chrono::milliseconds(100));

  // A second status 4 is taken as the answer: no third call.
  driver->sim.SetRepeatStatusCalls(2);
  ASSERT_EQ(channel->SetPowerState(0, 0, status), 0);
  EXPECT_EQ(status, 4);
  EXPECT_EQ(driver->sim.Calls().size(), 8u);
  EXPECT_EQ(driver->sim.Item(0), 1) << "a repeat request carries nothing out";
}

TEST_F(MiscCommonTest, ReplyLongerThanTheCapacity_FirstBytesAndMoreData) {
  config.sessions = false;
  Start();
  std::vector<uint8_t> content(20);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(0xA0 + i);
  // A 32-byte capsule (what the capacity allows) whose content fills it.
  std::vector<uint8_t> reply(32, 0);
  PutWord(reply, 0, 20);
  PutWord(reply, 4, 32);
  std::copy(content.begin(), content.end(), reply.begin() + 12);
  driver->tamper = [&](uint32_t code, std::span<const uint8_t>, sim::DriverAnswer& answer) {
    if (code == kIoctlCapsule) answer = {true, 0, reply};
  };
  MiscPacket packet = MakeMiscPacket(0, kMiscQuery, 0);
  std::array<uint8_t, 12> output{};
  DWORD returned = 0;
  EXPECT_FALSE(channel->EncapsuledDeviceIoControl(packet.data(), 12, output.data(), 12, &returned));
  EXPECT_EQ(GetLastError(), platform::ERROR_MORE_DATA);
  EXPECT_EQ(returned, 12u);
  EXPECT_TRUE(std::equal(output.begin(), output.end(), content.begin()));
}

// The counter follows what reached the driver: a call that succeeded or
// brought bytes back counts, a call refused without any byte does not; the
// next capsule carries the counter as it stands.
TEST_F(MiscCommonTest, MessageCounter_CountsCallsThatSucceededOrReturnedBytes) {
  config.sessions = false;
  MiscPacket answered = MakeMiscPacket(0, kMiscQuery, 0);
  answered[kMiscStatusOffset] = kMiscStatusOk;
  const std::vector<uint8_t> reply = BuildCapsule(answered, 0);
  struct Case {
    const char* what;
    sim::DriverAnswer answer;
    bool result;
    uint32_t counted;
  };
  const Case cases[] = {
      {"success with a reply", {true, 0, reply}, true, 1},
      {"failure with a reply", {false, 31, reply}, false, 1},
      {"failure without bytes", {false, 31, {}}, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Start();
    driver->tamper = [&](uint32_t code, std::span<const uint8_t>, sim::DriverAnswer& answer) {
      if (code == kIoctlCapsule) answer = c.answer;
    };
    MiscPacket packet = MakeMiscPacket(0, kMiscQuery, 0);
    DWORD returned = 0;
    EXPECT_EQ(channel->EncapsuledDeviceIoControl(packet.data(), 12, packet.data(), 12, &returned),
              c.result ? platform::TRUE : platform::FALSE);
    EXPECT_EQ(channel->MessageCounter(), c.counted);
    channel->EncapsuledDeviceIoControl(packet.data(), 12, packet.data(), 12, &returned);
    const std::vector<uint8_t>& next = driver->sim.Calls().back().input;
    ASSERT_GE(next.size(), 16u);
    EXPECT_EQ(WordAt(next, kCapsuleHeaderBytes), c.counted) << "the inner message's counter";
    channel.reset();
  }
}

TEST_F(MiscCommonTest, HostileReplyCapsules_RefusedWithoutReadingPastThem) {
  config.sessions = false;
  struct Case {
    const char* what;
    std::vector<uint8_t> reply;
    DWORD error;
    const char* text;
  };
  auto capsule = [](uint32_t length, uint32_t size, size_t bytes) {
    std::vector<uint8_t> reply(bytes, 0);
    if (bytes >= 8) {
      PutWord(reply, 0, length);
      PutWord(reply, 4, size);
    }
    return reply;
  };
  const Case cases[] = {
      {"eleven bytes", capsule(0, 0, 11), 0,
       "MiscCommon::CMiscCommon::EncapsuledDeviceIoControl: Invalid structure returned. size = 11"},
      {"nothing",
       {},
       0,
       "MiscCommon::CMiscCommon::EncapsuledDeviceIoControl: Invalid structure returned. size = 0"},
      {"size below header", capsule(0, 8, 32), platform::ERROR_INVALID_DATA,
       "MiscCommon::CMiscCommon::EncapsuledDeviceIoControl: Invalid structure returned. size = 32"},
      {"size beyond bytes", capsule(4, 32, 24), platform::ERROR_INVALID_DATA,
       "MiscCommon::CMiscCommon::EncapsuledDeviceIoControl: Invalid structure returned. size = 24"},
      {"content beyond capsule", capsule(13, 24, 24), platform::ERROR_INVALID_DATA,
       "MiscCommon::CMiscCommon::EncapsuledDeviceIoControl: Invalid structure returned. size = 24"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Start();
    driver->tamper = [&](uint32_t code, std::span<const uint8_t>, sim::DriverAnswer& answer) {
      if (code == kIoctlCapsule) answer = {true, 0, c.reply};
    };
    std::array<uint8_t, 12> output{};
    output.fill(0xEE);
    DWORD returned = 77;
    MiscPacket packet = MakeMiscPacket(0, kMiscQuery, 0);
    EXPECT_FALSE(
        channel->EncapsuledDeviceIoControl(packet.data(), 12, output.data(), 12, &returned));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(output[0], 0xEE);
    EXPECT_EQ(Text(), c.text);
    EXPECT_EQ(channel->MessageCounter(), 1u) << "the device call succeeded";
    channel.reset();
  }
}

TEST_F(MiscCommonTest, ArgumentRules_InvalidParameterWithoutACall) {
  Start();
  uint8_t buffer[12] = {};
  DWORD returned = 0;
  struct Case {
    const uint8_t* input;
    DWORD inputLength;
    uint8_t* output;
    DWORD capacity;
    DWORD* returned;
  };
  const Case cases[] = {
      {buffer, 0, buffer, 12, &returned},          {nullptr, 12, buffer, 12, &returned},
      {buffer, 12, buffer, 0, &returned},          {buffer, 12, nullptr, 12, &returned},
      {buffer, 12, buffer, 12, nullptr},           {buffer, 0x7FFFFFFF, buffer, 12, &returned},
      {buffer, 12, buffer, 0xFFFFFFF0, &returned},
  };
  const size_t callsBefore = driver->sim.Calls().size();
  for (const Case& c : cases) {
    EXPECT_FALSE(channel->EncapsuledDeviceIoControl(c.input, c.inputLength, c.output, c.capacity,
                                                    c.returned));
    EXPECT_EQ(GetLastError(), platform::ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Text(), "MiscCommon::CMiscCommon::EncapsuledDeviceIoControl: Invalid Argument(s).");
  }
  EXPECT_EQ(driver->sim.Calls().size(), callsBefore);
  // No input and no output at all is a valid call.
  driver->tamper = [](uint32_t code, std::span<const uint8_t> input, sim::DriverAnswer& answer) {
    if (code != kIoctlCapsule) return;
    EXPECT_EQ(input.size(), CapsuleSize(24));
    answer = {true, 0, BuildCapsule({}, 0)};
  };
  EXPECT_TRUE(channel->EncapsuledDeviceIoControl(nullptr, 0, nullptr, 0, &returned));
  EXPECT_EQ(returned, 0u);
}

TEST_F(MiscCommonTest, CallMiscFunction_RefusesMissingPacketClosedHandleAndLongLengths) {
  Start();
  EXPECT_EQ(channel->CallMiscFunction(nullptr), 3);
  EXPECT_EQ(Text(), "MiscCommon::CMiscCommon::CallMiscFunction: pPacket is NULL");
  MiscPacket packet = MakeMiscPacket(0, kMiscQuery, 0);
  packet[kMiscOutputLengthOffset] = 200;
  EXPECT_EQ(channel->CallMiscFunction(packet.data()), 3);
  channel->CloseDriver();
  EXPECT_EQ(channel->CallMiscFunction(MakeMiscPacket(0, kMiscQuery, 0).data()), 8);
  EXPECT_EQ(Text(), "MiscCommon::CMiscCommon::CallMiscFunction: _hDevice is NULL");
}

TEST_F(MiscCommonTest, CloseDriver_EndsTheSessionOnceAndClosesTheHandle) {
  Start();
  const uint32_t session = channel->SessionId();
  channel->CloseDriver();
  EXPECT_FALSE(channel->IsOpen());
  EXPECT_FALSE(channel->HasSession());
  EXPECT_EQ(channel->SessionId(), 0u);
  const sim::DeviceCallRecord& last = driver->sim.Calls().back();
  EXPECT_EQ(last.code, kIoctlEndSession);
  EXPECT_EQ(WordAt(last.input, 0), session);
  EXPECT_TRUE(last.answer.success);
  const size_t calls = driver->sim.Calls().size();
  channel->CloseDriver();
  channel.reset();
  EXPECT_EQ(driver->sim.Calls().size(), calls);
  // The interface is free again.
  CMiscCommon next(errorText, driver.get());
  EXPECT_EQ(next.OpenDriver(), 0);
}

TEST_F(MiscCommonTest, OpenDriver_FailuresWithTheirTextsAndResults) {
  struct Case {
    const char* what;
    std::function<void(CInProcessDriver&)> arrange;
    int result;
    DWORD error;
    const char* text;
  };
  const Case cases[] = {
      {"class not listable",
       [](CInProcessDriver& d) { d.enumerateResult = platform::ERROR_ACCESS_DENIED; }, 2,
       platform::ERROR_ACCESS_DENIED,
       "MiscCommon::CMiscCommon::OpenDriver: SetupDiGetClassDevs failed."},
      {"no driver", [](CInProcessDriver& d) { d.present = false; }, 6,
       platform::ERROR_NO_MORE_ITEMS,
       "MiscCommon::CMiscCommon::OpenDriver: SetupDiEnumDeviceInterfaces failed."},
      {"driver key gone",
       [](CInProcessDriver& d) { d.versionResult = platform::ERROR_PATH_NOT_FOUND; }, 2,
       platform::ERROR_PATH_NOT_FOUND,
       "MiscCommon::CMiscCommon::OpenDriver: SetupDiOpenDevRegKey failed."},
      {"no version", [](CInProcessDriver& d) { d.versionResult = platform::ERROR_FILE_NOT_FOUND; },
       2, platform::ERROR_FILE_NOT_FOUND,
       "MiscCommon::CMiscCommon::OpenDriver: RegQueryValueEx failed."},
      {"version too long", [](CInProcessDriver& d) { d.versionResult = platform::ERROR_MORE_DATA; },
       2, platform::ERROR_MORE_DATA,
       "MiscCommon::CMiscCommon::OpenDriver: RegQueryValueEx failed."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CInProcessDriver failing(config);
    c.arrange(failing);
    CMiscCommon failed(errorText, &failing);
    EXPECT_EQ(failed.OpenDriver(), c.result);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(Narrow(failed.ErrorText()), c.text);
    EXPECT_FALSE(failed.IsOpen());
    EXPECT_TRUE(failed.VersionText().empty());
  }
  // One host at a time.
  Start();
  CMiscCommon second(errorText, driver.get());
  EXPECT_EQ(second.OpenDriver(), 11);
  EXPECT_EQ(GetLastError(), platform::ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Narrow(second.ErrorText()), "MiscCommon::CMiscCommon::OpenDriver: CreateFile failed.");
}

// Handshake answers a driver should never give: each step fails with its
// text and result, and from the key exchange on the session is ended.
TEST_F(MiscCommonTest, HostileHandshakeReplies_FailTheirStep) {
  struct Case {
    const char* what;
    size_t phaseInputSize;  // which request's answer to bend
    std::function<void(sim::DriverAnswer&)> bend;
    int result;
    const char* text;
    bool sessionEnded;
  };
  const Case cases[] = {
      {"Ini1 one byte short", 160, [](sim::DriverAnswer& a) { a.output.pop_back(); }, 2,
       "MiscCommon::CMiscCommon::_Initialize: DeviceIoControl failed.", false},
      {"Ini1 refused", 160,
       [](sim::DriverAnswer& a) {
         a = {false, 31, {}};
       },
       2, "MiscCommon::CMiscCommon::_Initialize: DeviceIoControl failed.", false},
      {"Ini2 refused", 28,
       [](sim::DriverAnswer& a) {
         a = {false, 5, {}};
       },
       2, "MiscCommon::CMiscCommon::_Initialize: DeviceIoControl (phase2) failed.", true},
      {"Ini2 proof bent", 28, [](sim::DriverAnswer& a) { a.output[19] ^= 1; }, 6,
       "MiscCommon::CMiscCommon::_Initialize: Driver Authentication Failed.", true},
      {"Ini3 seven bytes", 24, [](sim::DriverAnswer& a) { a.output.pop_back(); }, 2,
       "MiscCommon::CMiscCommon::_Initialize: DeviceIoControl (phase3) failed.", true},
      {"Ini3 not AuthMisc", 24, [](sim::DriverAnswer& a) { a.output[0] ^= 1; }, 2,
       "MiscCommon::CMiscCommon::_Initialize: BlowfishDecipher failed.", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Start("1.0.8.0", false);
    DWORD failingError = 0;
    driver->tamper = [&](uint32_t code, std::span<const uint8_t> input, sim::DriverAnswer& answer) {
      if (code == kIoctlSession && input.size() == c.phaseInputSize) {
        c.bend(answer);
        failingError = answer.lastError;
      }
      // Ending the session must not hide why the step failed.
      if (code == kIoctlEndSession) answer.lastError = 1234;
    };
    EXPECT_EQ(channel->_Initialize(), c.result);
    EXPECT_EQ(GetLastError(), failingError);
    EXPECT_EQ(Text(), c.text);
    EXPECT_FALSE(channel->HasSession());
    EXPECT_EQ(Codes().back() == kIoctlEndSession, c.sessionEnded);
    channel.reset();
  }
}

// A driver that proves itself but offers a public value of 0 or 1 would
// make the shared secret known to anyone: the channel refuses the key
// instead of going on with it.
TEST_F(MiscCommonTest, WeakDriverPublicValue_KeyEncryptionKeyRefusedAndSessionEnded) {
  for (const uint8_t weak : {0, 1}) {
    SCOPED_TRACE(int{weak});
    Start("1.0.8.0", false);
    std::vector<uint8_t> ini1Request;
    std::vector<uint8_t> ini1Reply;
    driver->tamper = [&](uint32_t code, std::span<const uint8_t> input, sim::DriverAnswer& answer) {
      if (code != kIoctlSession) return;
      if (input.size() == kIni1Bytes) {
        std::fill_n(answer.output.begin() + kIni1PublicOffset, kBigNumberBytes, 0);
        answer.output[kIni1PublicOffset] = weak;
        ini1Request.assign(input.begin(), input.end());
        ini1Reply = answer.output;
      } else if (input.size() == kIni2RequestBytes) {
        // The proof a driver holding the key gives for its bent value.
        Digest proofKey{};
        Digest proof{};
        ASSERT_TRUE(
            HmacSha1(config.authKey,
                     {std::span(ini1Request).subspan(kIni1KeyBlockOffset, kIni1KeyBlockBytes),
                      std::span(ini1Reply).subspan(kIni1KeyBlockOffset, kIni1KeyBlockBytes)},
                     proofKey));
        ASSERT_TRUE(HmacSha1(proofKey,
                             {std::span(ini1Reply).subspan(kIni1PublicOffset, kBigNumberBytes),
                              std::span(ini1Request).subspan(kIni1PublicOffset, kBigNumberBytes)},
                             proof));
        answer.output.assign(proof.begin(), proof.end());
      }
    };
    EXPECT_EQ(channel->_Initialize(), 6);
    EXPECT_EQ(Text(),
              "MiscCommon::CMiscCommon::_Initialize: Key Encryption Key calculation failed.");
    EXPECT_FALSE(channel->HasSession());
    EXPECT_EQ(Codes().back(), kIoctlEndSession);
    channel.reset();
  }
}

TEST_F(MiscCommonTest, RefusedKeyFile_NoHandshake) {
  const std::string path = temp.Path() + "/auth.key";
  std::ofstream(path) << "short";
  chmod(path.c_str(), 0600);
  driver = std::make_unique<CInProcessDriver>(config);
  channel = std::make_unique<CMiscCommon>(errorText, driver.get(), path);
  ASSERT_EQ(channel->OpenDriver(), 0);
  EXPECT_EQ(channel->_Initialize(), 2);
  EXPECT_NE(Text().find("must hold exactly 16 bytes"), std::string::npos) << Text();
  EXPECT_EQ(Codes(), std::vector<uint32_t>{kIoctlSession}) << "only the probe";
}

}  // namespace
}  // namespace lx2d::test
