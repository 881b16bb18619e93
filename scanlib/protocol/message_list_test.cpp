#include "message_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace lx2d {
namespace {

std::vector<uint8_t> Data(std::initializer_list<uint8_t> bytes) { return bytes; }

class MessageListTest : public ::testing::Test {
 protected:
  MessageListTest() {
    list.Append(0x60, Data({1}));
    list.Append(0x61, Data({2, 2}));
    list.Append(0x60, Data({3, 3, 3}));
  }
  CVscpMessageList list;
};

TEST_F(MessageListTest, Append_KeepsOwnCopyInOrder) {
  std::vector<uint8_t> source = {9, 9};
  list.Append(0x71, source);
  source[0] = 0;
  ASSERT_EQ(list.Records().size(), 4u);
  EXPECT_EQ(list.Records().back().kind, 0x71);
  EXPECT_EQ(list.Records().back().length, 2);
  EXPECT_EQ(list.Records().back().data, Data({9, 9}));
}

TEST_F(MessageListTest, FindAndRemoveFirst_OldestOfTheKindOnly) {
  ASSERT_NE(list.FindFirst(0x60), nullptr);
  EXPECT_EQ(list.FindFirst(0x60)->data, Data({1}));
  EXPECT_TRUE(list.RemoveFirst(0x60));
  EXPECT_EQ(list.FindFirst(0x60)->data, Data({3, 3, 3}));
  EXPECT_EQ(list.Records().front().kind, 0x61);
  EXPECT_EQ(list.FindFirst(0x64), nullptr);
  EXPECT_FALSE(list.RemoveFirst(0x64));
}

TEST_F(MessageListTest, TakeAll_RemovesEveryRecordOfTheKindInOrder) {
  const std::vector<TStructVscpBuffer> taken = list.TakeAll(0x60);
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].data, Data({1}));
  EXPECT_EQ(taken[1].data, Data({3, 3, 3}));
  ASSERT_EQ(list.Records().size(), 1u);
  EXPECT_EQ(list.Records().front().kind, 0x61);
  EXPECT_TRUE(list.TakeAll(0x60).empty());
}

}  // namespace
}  // namespace lx2d
