#include "hid_descriptor.h"

#include <gtest/gtest.h>

#include <vector>

namespace lx2d::platform {
namespace {

struct Vector {
  const char* name;
  std::vector<uint8_t> descriptor;
  // Per top-level collection: usage page, usage, input, output, feature
  // lengths as HidP_GetCaps reports them on Windows.
  std::vector<HidCaps> caps;
};

// The boot keyboard of the USB HID class definition: 8 input bytes, 5 LED bits
// padded to one output byte.
const std::vector<uint8_t> kBootKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};

// The boot mouse: three buttons, five padding bits, X and Y in a nested
// physical collection.
const std::vector<uint8_t> kBootMouse = {
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19,
    0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02,
    0x95, 0x01, 0x75, 0x05, 0x81, 0x01, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15,
    0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0, 0xC0};

// A reader-like device: a keyboard collection with report id 1 and a
// vendor collection with report id 2 carrying 63 bytes each way, plus a
// 7-byte feature report with id 3.
const std::vector<uint8_t> kTwoCollections = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7,
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x07, 0x75, 0x08,
    0x81, 0x01, 0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02,
    0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0xC0, 0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
    0x85, 0x02, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x3F, 0x09, 0x01, 0x81,
    0x02, 0x09, 0x01, 0x91, 0x02, 0x85, 0x03, 0x95, 0x07, 0x09, 0x02, 0xB1, 0x02, 0xC0};

// Consumer control with two report ids of different lengths (2 and 4 data
// bytes): the longest one sets the length.
const std::vector<uint8_t> kTwoReportIds = {
    0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x03, 0x19, 0x00, 0x2A,
    0xFF, 0x03, 0x75, 0x10, 0x95, 0x01, 0x81, 0x00, 0x85, 0x04, 0x95, 0x02, 0x81, 0x00, 0xC0};

// Seven input bits round up to one byte; a long item is skipped; Push and
// Pop restore the report size; a 32-bit usage carries its own usage page.
const std::vector<uint8_t> kOddBitsPushPop = {
    0x0B, 0x05, 0x00, 0x0D, 0xFF,                          // Usage 0xFF0D0005 (32-bit)
    0xA1, 0x01, 0xFE, 0x02, 0x10, 0xAA, 0xBB,              // long item
    0x75, 0x01, 0xA4, 0x75, 0x08, 0x95, 0x02, 0x91, 0x02,  // Push; 2 output bytes
    0xB4, 0x95, 0x07, 0x81, 0x02, 0xC0};                   // Pop: size 1, 7 bits in

const Vector kVectors[] = {
    {"boot keyboard", kBootKeyboard, {{0x01, 0x06, 9, 2, 0}}},
    {"boot mouse", kBootMouse, {{0x01, 0x02, 4, 0, 0}}},
    {"two collections", kTwoCollections, {{0x01, 0x06, 9, 2, 0}, {0xFF00, 0x01, 64, 64, 8}}},
    {"two report ids", kTwoReportIds, {{0x0C, 0x01, 5, 0, 0}}},
    {"odd bits, push, pop", kOddBitsPushPop, {{0xFF0D, 0x05, 2, 3, 0}}},
};

TEST(HidDescriptor, KnownDescriptors_ReportLengthsAsWindows) {
  for (const Vector& v : kVectors) {
    std::vector<HidCollection> collections;
    ASSERT_EQ(ParseReportDescriptor(v.descriptor, collections), kHidOk) << v.name;
    ASSERT_EQ(collections.size(), v.caps.size()) << v.name;
    for (size_t i = 0; i < v.caps.size(); ++i) {
      const HidCaps& got = collections[i].caps;
      EXPECT_EQ(got.usagePage, v.caps[i].usagePage) << v.name << " #" << i;
      EXPECT_EQ(got.usage, v.caps[i].usage) << v.name << " #" << i;
      EXPECT_EQ(got.inputReportByteLength, v.caps[i].inputReportByteLength) << v.name << " #" << i;
      EXPECT_EQ(got.outputReportByteLength, v.caps[i].outputReportByteLength)
          << v.name << " #" << i;
      EXPECT_EQ(got.featureReportByteLength, v.caps[i].featureReportByteLength)
          << v.name << " #" << i;
    }
  }
}

TEST(HidDescriptor, InputReportIds_PerCollectionOnlyWhenNumbered) {
  std::vector<HidCollection> collections;
  ASSERT_EQ(ParseReportDescriptor(kTwoCollections, collections), kHidOk);
  EXPECT_EQ(collections[0].inputReportIds, std::vector<uint8_t>{1});
  EXPECT_EQ(collections[1].inputReportIds, std::vector<uint8_t>{2});
  ASSERT_EQ(ParseReportDescriptor(kBootKeyboard, collections), kHidOk);
  EXPECT_TRUE(collections[0].inputReportIds.empty());
}

TEST(HidDescriptor, HeldBySystem_KeyboardAndMouseButNotTheReadersDataCollection) {
  const struct {
    const char* name;
    const std::vector<uint8_t>& descriptor;
    std::vector<bool> held;  // per top-level collection
  } kCases[] = {
      {"boot keyboard", kBootKeyboard, {true}},
      {"boot mouse", kBootMouse, {true}},
      {"two collections", kTwoCollections, {true, false}},
      {"consumer control", kTwoReportIds, {false}},
      {"vendor", kOddBitsPushPop, {false}},
  };
  for (const auto& c : kCases) {
    std::vector<HidCollection> collections;
    ASSERT_EQ(ParseReportDescriptor(c.descriptor, collections), kHidOk) << c.name;
    ASSERT_EQ(collections.size(), c.held.size()) << c.name;
    for (size_t i = 0; i < c.held.size(); ++i) {
      EXPECT_EQ(HeldBySystem(collections[i].caps), c.held[i]) << c.name << " #" << i;
    }
  }
  // Pen and touch digitizers too; a touch pad's configuration collection not.
  EXPECT_TRUE(HeldBySystem({0x0D, 0x02, 0, 0, 0}));
  EXPECT_TRUE(HeldBySystem({0x0D, 0x05, 0, 0, 0}));
  EXPECT_FALSE(HeldBySystem({0x0D, 0x0E, 0, 0, 0}));
  EXPECT_FALSE(HeldBySystem({0x01, 0x05, 0, 0, 0}));  // game pad: shared
}

TEST(HidDescriptor, MalformedDescriptors_InvalidData) {
  const struct {
    const char* name;
    std::vector<uint8_t> descriptor;
  } kBad[] = {
      {"empty", {}},
      {"no collection", {0x75, 0x08, 0x95, 0x01, 0x81, 0x02}},
      {"truncated item", {0xA1, 0x01, 0x26, 0xFF}},
      {"truncated long item", {0xA1, 0x01, 0xFE, 0x05, 0x10, 0x01, 0xC0}},
      {"end without collection", {0xC0}},
      {"collection left open", {0xA1, 0x01, 0xA1, 0x00, 0xC0}},
      {"pop without push", {0xA1, 0x01, 0xB4, 0xC0}},
      {"report id 0", {0xA1, 0x01, 0x85, 0x00, 0xC0}},
      {"report longer than 65534 bytes",
       {0xA1, 0x01, 0x75, 0x08, 0x97, 0xFF, 0xFF, 0x00, 0x00, 0x81, 0x02, 0xC0}},
  };
  for (const auto& bad : kBad) {
    std::vector<HidCollection> collections;
    EXPECT_EQ(ParseReportDescriptor(bad.descriptor, collections), kHidErrorInvalidData) << bad.name;
  }
}

TEST(HidDescriptor, ItemsOutsideCollections_NotCounted) {
  const std::vector<uint8_t> descriptor = {0x75, 0x08, 0x95, 0x04, 0x81, 0x02,  // stray input
                                           0xA1, 0x01, 0x95, 0x01, 0x81, 0x02, 0xC0};
  std::vector<HidCollection> collections;
  ASSERT_EQ(ParseReportDescriptor(descriptor, collections), kHidOk);
  EXPECT_EQ(collections[0].caps.inputReportByteLength, 2);
}

TEST(HidPath, Build_CollectionPartOnlyForMultiCollectionDevices) {
  EXPECT_EQ(
      BuildInterfacePath(0x0D2A, 0x0801, 2, "vhid&reader"),
      "\\\\?\\hid#vid_0d2a&pid_0801&col02#vhid&reader#{4d1e55b2-f16f-11cf-88cb-001111000030}");
  EXPECT_EQ(BuildInterfacePath(0x0D2A, 0x0809, 0, "hidraw3&0000"),
            "\\\\?\\hid#vid_0d2a&pid_0809#hidraw3&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");
  EXPECT_EQ(BuildInterfacePath(0xABCD, 0x00EF, 12, "x"),
            "\\\\?\\hid#vid_abcd&pid_00ef&col12#x#{4d1e55b2-f16f-11cf-88cb-001111000030}");
}

}  // namespace
}  // namespace lx2d::platform
