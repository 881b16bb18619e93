#include "driver_protocol.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "auth_key.h"
#include "capsule_cipher.h"
#include "platform/fakes/temp_directory.h"

namespace lx2d::power {
namespace {

TEST(Capsule, SizeIsContentRoundedToBlocksPlusHeaderAndClearTail) {
  struct Case {
    uint32_t content;
    uint32_t size;
    uint32_t blocks;
  };
  const Case cases[] = {
      {0, 16, 0},  {1, 24, 1},  {8, 24, 1},  {9, 32, 2},     {12, 32, 2},
      {16, 32, 2}, {17, 40, 3}, {36, 56, 5}, {100, 120, 13},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CapsuleSize(c.content), c.size) << c.content;
    EXPECT_EQ(CapsuleBlockCount(c.size), c.blocks) << c.content;
    // The enciphered blocks always cover the content.
    EXPECT_GE(c.blocks * 8, c.content);
  }
}

TEST(Capsule, MiscCallSizes) {
  const MiscPacket packet = MakeMiscPacket(3, kMiscSet, 1);
  const std::vector<uint8_t> inner = BuildInnerMessage(7, packet, kMiscPacketBytes);
  ASSERT_EQ(inner.size(), 36u);
  EXPECT_EQ(WordAt(inner, 0), 7u);
  EXPECT_EQ(WordAt(inner, 4), 36u);
  EXPECT_EQ(WordAt(inner, 8), kInnerControlCode);
  EXPECT_EQ(WordAt(inner, 12), 12u);
  EXPECT_EQ(WordAt(inner, 16), 12u);
  EXPECT_TRUE(std::equal(packet.begin(), packet.end(), inner.begin() + 20));
  EXPECT_EQ(WordAt(inner, 32), 0u);

  const std::vector<uint8_t> capsule = BuildCapsule(inner, 0xABCD);
  ASSERT_EQ(capsule.size(), 56u);
  EXPECT_EQ(CapsuleBlockCount(56), 5u);
  EXPECT_EQ(WordAt(capsule, 0), 36u);
  EXPECT_EQ(WordAt(capsule, 4), 56u);
  EXPECT_EQ(WordAt(capsule, 8), 0xABCDu);
  EXPECT_EQ(EmptyCapsule(kMiscPacketBytes).size(), 32u);
  EXPECT_EQ(CapsuleBlockCount(32), 2u);

  const std::array<uint8_t, 12> expectedPacket = {0x92, 2, 12, 0, 12, 0, 0, 0, 3, 1, 1, 0};
  EXPECT_EQ(packet, expectedPacket);
}

TEST(Capsule, EncipheringLeavesHeaderAndClearTail) {
  std::vector<uint8_t> content(36);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i + 1);
  std::vector<uint8_t> capsule = BuildCapsule(content, 5);
  const std::vector<uint8_t> plain = capsule;
  BlowfishContext* context = AllocateBlowfishContext();
  ASSERT_TRUE(BlowfishInitialize(context, std::vector<uint8_t>(16, 0x42)));
  EXPECT_EQ(EncipherCapsuleBlocks(context, capsule, 5), -1);
  EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 12, capsule.begin()));
  EXPECT_TRUE(std::equal(plain.end() - 4, plain.end(), capsule.end() - 4));
  for (size_t block = 0; block < 5; ++block) {
    const auto at = 12 + block * 8;
    EXPECT_FALSE(std::equal(plain.begin() + at, plain.begin() + at + 8, capsule.begin() + at))
        << block;
  }
  // A block count beyond the capsule stops at its end.
  std::vector<uint8_t> again = capsule;
  EXPECT_EQ(DecipherCapsuleBlocks(context, again, 1000), -1);
  EXPECT_EQ(DecipherCapsuleBlocks(context, capsule, 5), -1);
  EXPECT_EQ(capsule, plain);
  EXPECT_EQ(EncipherCapsuleBlocks(nullptr, capsule, 1), 0);
  FreeBlowfishContext(context);
}

TEST(Capsule, CheckRefusesCapsulesThatContradictThemselves) {
  struct Case {
    const char* what;
    size_t received;
    uint32_t contentLength;
    uint32_t sizeField;
    CapsuleCheck check;
  };
  const Case cases[] = {
      {"well formed", 32, 12, 32, CapsuleCheck::kOk},
      {"size below what came", 40, 12, 32, CapsuleCheck::kOk},
      {"empty content", 16, 0, 16, CapsuleCheck::kOk},
      {"eleven bytes", 11, 0, 0, CapsuleCheck::kTooShort},
      {"size below header and tail", 32, 0, 15, CapsuleCheck::kBadSize},
      {"size zero", 32, 0, 0, CapsuleCheck::kBadSize},
      {"size beyond what came", 32, 12, 40, CapsuleCheck::kBadSize},
      {"size huge", 32, 12, 0xFFFFFFF8, CapsuleCheck::kBadSize},
      {"content beyond capsule", 32, 21, 32, CapsuleCheck::kContentTooLong},
      {"content fills content area", 32, 20, 32, CapsuleCheck::kOk},
      {"content length huge", 32, 0xFFFFFFFF, 32, CapsuleCheck::kContentTooLong},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes(std::max<size_t>(c.received, 12), 0);
    PutWord(bytes, 0, c.contentLength);
    PutWord(bytes, 4, c.sizeField);
    bytes.resize(c.received);
    EXPECT_EQ(CheckCapsule(bytes), c.check) << c.what;
  }
}

TEST(InnerMessage, ParseTakesOnlyConsistentMessages) {
  const std::vector<uint8_t> input = {1, 2, 3};
  std::vector<uint8_t> message = BuildInnerMessage(9, input, 40);
  InnerMessage parsed;
  ASSERT_TRUE(ParseInnerMessage(message, parsed));
  EXPECT_EQ(parsed.counter, 9u);
  EXPECT_EQ(parsed.code, kInnerControlCode);
  EXPECT_EQ(parsed.outputCapacity, 40u);
  EXPECT_EQ(std::vector<uint8_t>(parsed.input.begin(), parsed.input.end()), input);
  // Padding after the message (as in a capsule) is allowed.
  message.resize(message.size() + 5);
  EXPECT_TRUE(ParseInnerMessage(message, parsed));

  struct Case {
    const char* what;
    size_t offset;
    uint32_t value;
  };
  const Case broken[] = {
      {"total beyond message", 4, 1000},
      {"input length beyond total", 12, 1000},
      {"total and length disagree", 12, 2},
      {"total below its head", 4, 3},
  };
  for (const Case& c : broken) {
    std::vector<uint8_t> bad = BuildInnerMessage(9, input, 40);
    PutWord(bad, c.offset, c.value);
    EXPECT_FALSE(ParseInnerMessage(bad, parsed)) << c.what;
  }
  EXPECT_FALSE(ParseInnerMessage(std::vector<uint8_t>(23), parsed));
}

TEST(AuthKey, FileDevelopmentKeyOrAClearRefusal) {
  platform::CTempDirectory temp;
  const std::string path = temp.Path() + "/auth.key";
  AuthKey development{};
  ASSERT_TRUE(DevelopmentAuthKey(development));
  EXPECT_NE(development, AuthKey{});

  AuthKey key{};
  std::string problem;
  EXPECT_EQ(LoadAuthKey(path, key, problem), AuthKeySource::kDevelopment);
  EXPECT_EQ(key, development);

  const AuthKey mine = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(mine.data()), 16);
  chmod(path.c_str(), 0600);
  EXPECT_EQ(LoadAuthKey(path, key, problem), AuthKeySource::kFile);
  EXPECT_EQ(key, mine);
  EXPECT_TRUE(problem.empty());

  chmod(path.c_str(), 0666);
  EXPECT_EQ(LoadAuthKey(path, key, problem), AuthKeySource::kRefused);
  EXPECT_NE(problem.find("others than its owner may write it"), std::string::npos) << problem;
  EXPECT_NE(problem.find(path), std::string::npos);

  chmod(path.c_str(), 0600);
  std::ofstream(path, std::ios::binary | std::ios::app) << 'x';
  EXPECT_EQ(LoadAuthKey(path, key, problem), AuthKeySource::kRefused);
  EXPECT_NE(problem.find("exactly 16 bytes"), std::string::npos) << problem;
}

}  // namespace
}  // namespace lx2d::power
