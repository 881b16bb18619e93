#include "power_crypto.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hdrand.h"

namespace lx2d::power {
namespace {

std::vector<uint8_t> Hex(std::string_view text) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

std::span<const uint8_t> Text(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// The published vectors write each half big-endian; the driver's order
// reads the halves little-endian, so a vector's words are laid out here
// as little-endian words.
std::array<uint8_t, 8> DriverOrder(std::string_view hexBlock) {
  const std::vector<uint8_t> big = Hex(hexBlock);
  return {big[3], big[2], big[1], big[0], big[7], big[6], big[5], big[4]};
}

TEST(Blowfish, PublishedVectorsInTheDriversByteOrder) {
  struct Case {
    const char* key;
    const char* plain;
    const char* cipher;
  };
  const Case cases[] = {
      {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
      {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
      {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
      {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
      {"F0E1D2C3B4A5968778695A4B3C2D1E0F", "FEDCBA9876543210", "93142887EE3BE15C"},
      // Keys longer than 16 bytes are cut to 16: the 24-byte key of the
      // variable-length set gives the 16-byte key's block.
      {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "93142887EE3BE15C"},
  };
  BlowfishContext* context = AllocateBlowfishContext();
  ASSERT_NE(context, nullptr);
  for (const Case& c : cases) {
    ASSERT_TRUE(BlowfishInitialize(context, Hex(c.key)));
    std::array<uint8_t, 8> block = DriverOrder(c.plain);
    ASSERT_TRUE(BlowfishEncipher(context, block));
    EXPECT_EQ(block, DriverOrder(c.cipher)) << c.key;
    ASSERT_TRUE(BlowfishDecipher(context, block));
    EXPECT_EQ(block, DriverOrder(c.plain)) << c.key;
  }
  FreeBlowfishContext(context);
  std::array<uint8_t, 8> block{};
  EXPECT_FALSE(BlowfishEncipher(nullptr, block));
  EXPECT_FALSE(BlowfishInitialize(nullptr, Hex("00")));
}

TEST(HmacSha1, Rfc2202Vectors) {
  struct Case {
    std::vector<uint8_t> key;
    std::vector<uint8_t> data;
    const char* mac;
  };
  const std::string hiThere = "Hi There";
  const std::string jefe = "Jefe";
  const std::string question = "what do ya want for nothing?";
  const std::string longKeyText = "Test Using Larger Than Block-Size Key - Hash Key First";
  const Case cases[] = {
      {std::vector<uint8_t>(20, 0x0b),
       {hiThere.begin(), hiThere.end()},
       "b617318655057264e28bc0b6fb378c8ef146be00"},
      {{jefe.begin(), jefe.end()},
       {question.begin(), question.end()},
       "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {std::vector<uint8_t>(20, 0xaa), std::vector<uint8_t>(50, 0xdd),
       "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      // A key longer than the 64-byte block is hashed first.
      {std::vector<uint8_t>(80, 0xaa),
       {longKeyText.begin(), longKeyText.end()},
       "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
  };
  for (const Case& c : cases) {
    Digest mac{};
    ASSERT_TRUE(HmacSha1(c.key, {c.data}, mac));
    EXPECT_EQ(std::vector<uint8_t>(mac.begin(), mac.end()), Hex(c.mac)) << c.mac;
  }
  // The parts are one message.
  Digest split{};
  ASSERT_TRUE(HmacSha1(Text(jefe), {Text("what do ya "), Text("want for nothing?")}, split));
  EXPECT_EQ(std::vector<uint8_t>(split.begin(), split.end()),
            Hex("effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"));
}

TEST(Sha1, PublishedVector) {
  Digest digest{};
  ASSERT_TRUE(Sha1({Text("a"), Text("bc")}, digest));
  EXPECT_EQ(std::vector<uint8_t>(digest.begin(), digest.end()),
            Hex("a9993e364706816aba3e25717850c26c9cd0d89d"));
}

TEST(OakleyGroup, BothSidesAgreeAndWeakPublicValuesAreRefused) {
  Exponent one{};
  one[0] = 1;
  BigNumber two{};
  ASSERT_TRUE(Pow2Mod(one, two));
  BigNumber expected{};
  expected[0] = 2;
  EXPECT_EQ(two, expected);

  Exponent a{};
  Exponent b{};
  for (size_t i = 0; i < 12; ++i) {
    a[i] = static_cast<uint8_t>(0x11 * (i + 1));
    b[i] = static_cast<uint8_t>(0xF0 - 7 * i);
  }
  BigNumber publicA{};
  BigNumber publicB{};
  ASSERT_TRUE(Pow2Mod(a, publicA));
  ASSERT_TRUE(Pow2Mod(b, publicB));
  EXPECT_EQ(publicA[kBigNumberBytes - 1], 0);  // below P: the top word is 0
  BigNumber sharedA{};
  BigNumber sharedB{};
  ASSERT_TRUE(PowMod(publicB, a, sharedA));
  ASSERT_TRUE(PowMod(publicA, b, sharedB));
  EXPECT_EQ(sharedA, sharedB);
  EXPECT_NE(sharedA, publicA);

  // 0, 1 and values of P and above give a guessable secret or none.
  BigNumber zero{};
  BigNumber oneValue{};
  oneValue[0] = 1;
  BigNumber aboveP{};  // 2^1024 - 1
  std::fill_n(aboveP.begin(), 128, 0xFF);
  BigNumber huge{};
  huge.fill(0xFF);
  for (const BigNumber& weak : {zero, oneValue, aboveP, huge}) {
    BigNumber shared{};
    EXPECT_FALSE(PowMod(weak, a, shared));
  }
}

TEST(HdRand, SeededGeneratorPassesItsTestAndDrawsVary) {
  CHdRand generator;
  ASSERT_TRUE(generator.Init());
  EXPECT_TRUE(generator.Test());
  std::array<uint8_t, 40> drawn{};
  ASSERT_TRUE(generator.DrawBytes(drawn));
  std::array<uint8_t, 40> again{};
  ASSERT_TRUE(generator.DrawBytes(again));
  EXPECT_NE(drawn, again);
  CHdRand other;
  ASSERT_TRUE(other.Init());
  std::array<uint8_t, 40> fromOther{};
  ASSERT_TRUE(other.DrawBytes(fromOther));
  EXPECT_NE(fromOther, drawn) << "seeded from the clocks, two generators differ";
}

}  // namespace
}  // namespace lx2d::power
