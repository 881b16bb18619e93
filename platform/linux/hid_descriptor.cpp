#include "hid_descriptor.h"

#include <algorithm>
#include <array>
#include <map>

namespace lx2d::platform {
namespace {

// Item types and tags of the short item prefix byte (tag << 4 | type << 2 | size).
constexpr uint8_t kTypeMain = 0;
constexpr uint8_t kTypeGlobal = 1;
constexpr uint8_t kTypeLocal = 2;
constexpr uint8_t kLongItemPrefix = 0xFE;

constexpr uint8_t kMainInput = 8;
constexpr uint8_t kMainOutput = 9;
constexpr uint8_t kMainCollection = 10;
constexpr uint8_t kMainFeature = 11;
constexpr uint8_t kMainEndCollection = 12;

constexpr uint8_t kGlobalUsagePage = 0;
constexpr uint8_t kGlobalReportSize = 7;
constexpr uint8_t kGlobalReportId = 8;
constexpr uint8_t kGlobalReportCount = 9;
constexpr uint8_t kGlobalPush = 10;
constexpr uint8_t kGlobalPop = 11;

constexpr uint8_t kLocalUsage = 0;

constexpr uint64_t kMaxReportBits = 65534ull * 8;  // the length is a USHORT with the id byte

// The global state that Push and Pop save, as far as lengths need it.
struct Globals {
  uint32_t usagePage = 0;
  uint32_t reportSize = 0;
  uint32_t reportCount = 0;
  uint8_t reportId = 0;
};

enum ReportType { kInput, kOutput, kFeature, kReportTypes };

// Bits per report id, per report type, of one top-level collection.
struct CollectionBits {
  HidCaps caps;
  std::array<std::map<uint8_t, uint64_t>, kReportTypes> bits;
};

// Top-level collections that Windows opens exclusively for its own input
// stack.
struct SystemUsageRange {
  uint16_t usagePage;
  uint16_t firstUsage;
  uint16_t lastUsage;
};
constexpr SystemUsageRange kSystemHeld[] = {
    {0x01, 0x01, 0x02},  // pointer, mouse
    {0x01, 0x06, 0x07},  // keyboard, keypad
    {0x0D, 0x01, 0x02},  // external and integrated pen
    {0x0D, 0x04, 0x05},  // touch screen, precision touchpad
};

uint16_t ByteLength(const std::map<uint8_t, uint64_t>& reports) {
  uint64_t longest = 0;
  for (const auto& [id, bits] : reports) longest = std::max(longest, (bits + 7) / 8);
  return reports.empty() ? 0 : static_cast<uint16_t>(longest + 1);
}

}  // namespace

bool HeldBySystem(const HidCaps& caps) {
  for (const SystemUsageRange& range : kSystemHeld) {
    if (caps.usagePage == range.usagePage && caps.usage >= range.firstUsage &&
        caps.usage <= range.lastUsage) {
      return true;
    }
  }
  return false;
}

uint32_t ParseReportDescriptor(std::span<const uint8_t> descriptor,
                               std::vector<HidCollection>& collections) {
  collections.clear();
  std::vector<CollectionBits> found;
  std::vector<Globals> stack;
  Globals globals;
  uint32_t usage = 0;
  bool usageHasPage = false;
  int depth = 0;
  bool numbered = false;

  size_t at = 0;
  while (at < descriptor.size()) {
    const uint8_t prefix = descriptor[at];
    if (prefix == kLongItemPrefix) {
      // Long items carry no report layout: size byte, tag byte, data.
      if (at + 3 > descriptor.size()) return kHidErrorInvalidData;
      const size_t length = 3u + descriptor[at + 1];
      if (at + length > descriptor.size()) return kHidErrorInvalidData;
      at += length;
      continue;
    }
    static constexpr std::array<size_t, 4> kDataSize = {0, 1, 2, 4};
    const size_t size = kDataSize[prefix & 3];
    if (at + 1 + size > descriptor.size()) return kHidErrorInvalidData;
    uint32_t data = 0;
    for (size_t i = 0; i < size; ++i) data |= uint32_t{descriptor[at + 1 + i]} << (8 * i);
    const uint8_t type = (prefix >> 2) & 3;
    const uint8_t tag = prefix >> 4;
    at += 1 + size;

    if (type == kTypeGlobal) {
      switch (tag) {
        case kGlobalUsagePage:
          globals.usagePage = data;
          break;
        case kGlobalReportSize:
          globals.reportSize = data;
          break;
        case kGlobalReportCount:
          globals.reportCount = data;
          break;
        case kGlobalReportId:
          if (data == 0 || data > 0xFF) return kHidErrorInvalidData;
          globals.reportId = static_cast<uint8_t>(data);
          numbered = true;
          break;
        case kGlobalPush:
          stack.push_back(globals);
          break;
        case kGlobalPop:
          if (stack.empty()) return kHidErrorInvalidData;
          globals = stack.back();
          stack.pop_back();
          break;
        default:
          break;
      }
    } else if (type == kTypeLocal) {
      if (tag == kLocalUsage) {
        usage = data;
        usageHasPage = size == 4;
      }
    } else if (type == kTypeMain) {
      switch (tag) {
        case kMainCollection:
          if (depth == 0) {
            CollectionBits collection;
            collection.caps.usagePage =
                static_cast<uint16_t>(usageHasPage ? usage >> 16 : globals.usagePage);
            collection.caps.usage = static_cast<uint16_t>(usage);
            found.push_back(collection);
          }
          ++depth;
          break;
        case kMainEndCollection:
          if (depth == 0) return kHidErrorInvalidData;
          --depth;
          break;
        case kMainInput:
        case kMainOutput:
        case kMainFeature: {
          if (depth == 0) break;
          const ReportType report = tag == kMainInput    ? kInput
                                    : tag == kMainOutput ? kOutput
                                                         : kFeature;
          uint64_t& bits = found.back().bits[report][globals.reportId];
          bits += uint64_t{globals.reportSize} * globals.reportCount;
          if (bits > kMaxReportBits) return kHidErrorInvalidData;
          break;
        }
        default:
          break;
      }
      // Local items apply to the next main item only.
      usage = 0;
      usageHasPage = false;
    }
  }
  if (depth != 0 || found.empty()) return kHidErrorInvalidData;

  for (CollectionBits& collection : found) {
    HidCollection out;
    out.caps = collection.caps;
    out.caps.inputReportByteLength = ByteLength(collection.bits[kInput]);
    out.caps.outputReportByteLength = ByteLength(collection.bits[kOutput]);
    out.caps.featureReportByteLength = ByteLength(collection.bits[kFeature]);
    if (numbered) {
      for (const auto& [id, bits] : collection.bits[kInput]) out.inputReportIds.push_back(id);
    }
    collections.push_back(std::move(out));
  }
  return kHidOk;
}

}  // namespace lx2d::platform
