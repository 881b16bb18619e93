#include "window_wire.h"

#include <gtest/gtest.h>

namespace lx2d::platform {
namespace {

TEST(WindowWireTest, EncodeDecode_RoundTripsEveryField) {
  WireMessage message;
  message.kind = WireKind::kSent;
  message.window = 0x7FFFFFFF;
  message.message = 0xF690;
  message.wParam = 0xFFFFFFFFFFFFFFFFull;
  message.lParam = -2;
  message.senderPid = 4711;
  message.result = -1234567890123;
  WireBytes bytes = EncodeWire(message);
  EXPECT_EQ(bytes[0], 'L');
  EXPECT_EQ(bytes[6], 2);  // kind, little-endian
  EXPECT_EQ(bytes[12], 0x90);
  WireMessage decoded;
  ASSERT_TRUE(DecodeWire(bytes.data(), bytes.size(), &decoded));
  EXPECT_EQ(decoded.kind, WireKind::kSent);
  EXPECT_EQ(decoded.window, message.window);
  EXPECT_EQ(decoded.message, message.message);
  EXPECT_EQ(decoded.wParam, message.wParam);
  EXPECT_EQ(decoded.lParam, message.lParam);
  EXPECT_EQ(decoded.senderPid, message.senderPid);
  EXPECT_EQ(decoded.result, message.result);
}

TEST(WindowWireTest, Decode_ForeignDatagrams_Rejected) {
  WireBytes good = EncodeWire(WireMessage{});
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
  };
  const Case cases[] = {
      {"magic", 0, 'X'}, {"version", 4, 2}, {"kind 0", 6, 0}, {"kind 4", 6, 4}, {"kind high", 7, 1},
  };
  WireMessage decoded;
  for (const Case& c : cases) {
    WireBytes bad = good;
    bad[c.offset] = c.value;
    EXPECT_FALSE(DecodeWire(bad.data(), bad.size(), &decoded)) << c.what;
  }
  EXPECT_FALSE(DecodeWire(good.data(), good.size() - 1, &decoded));
  EXPECT_FALSE(DecodeWire(nullptr, 48, &decoded));
  EXPECT_TRUE(DecodeWire(good.data(), good.size(), &decoded));
}

}  // namespace
}  // namespace lx2d::platform
