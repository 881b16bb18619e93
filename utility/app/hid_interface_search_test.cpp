#include "hid_interface_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"

namespace lx2d {
namespace {

// One index of a scripted interface set.
struct TScriptedInterface {
  std::u16string path;
  bool enumerable = true;
  bool answersSize = true;  // the size query answers ERROR_INSUFFICIENT_BUFFER
  bool readable = true;
};

class CScriptedSet final : public IDeviceInterfaceSet {
 public:
  CScriptedSet(const std::vector<TScriptedInterface>& listed, std::vector<uint32_t>& record)
      : interfaces(listed), examined(record) {}

  platform::DWORD EnumInterface(uint32_t index) override {
    examined.push_back(index);
    if (index >= interfaces.size()) return platform::ERROR_NO_MORE_ITEMS;
    return interfaces[index].enumerable ? platform::ERROR_SUCCESS : platform::ERROR_INVALID_DATA;
  }

  platform::DWORD GetInterfaceDetail(uint32_t index, std::span<char16_t> detail,
                                     uint32_t& required) override {
    const TScriptedInterface& entry = interfaces.at(index);
    required = static_cast<uint32_t>(entry.path.size() + 1);
    if (detail.empty())
      return entry.answersSize ? platform::ERROR_INSUFFICIENT_BUFFER : platform::ERROR_INVALID_DATA;
    if (!entry.readable) return platform::ERROR_INVALID_DATA;
    std::ranges::copy(entry.path, detail.begin());
    return platform::ERROR_SUCCESS;
  }

 private:
  const std::vector<TScriptedInterface>& interfaces;
  std::vector<uint32_t>& examined;
};

class HidInterfaceSearchTest : public testing::Test {
 protected:
  THidSearchResult Search(std::u16string_view pattern) {
    examined.clear();
    return FindHidInterfacePath(Opener(), kHidInterfaceClassGuid, kDigcfPresentInterfaces,
                                pattern.empty() ? u"" : HidSearchPrefix(pattern));
  }

  DeviceInterfaceSetOpener Opener() {
    return [this](std::u16string_view interfaceClass, uint32_t flags) {
      EXPECT_EQ(interfaceClass, kHidInterfaceClassGuid);
      EXPECT_EQ(flags, 0x12u);
      return openable ? std::make_unique<CScriptedSet>(interfaces, examined) : nullptr;
    };
  }

  std::vector<TScriptedInterface> interfaces;
  std::vector<uint32_t> examined;
  bool openable = true;
};

constexpr char16_t kReaderCol02[] =
    u"\\\\?\\HID#VID_0D2A&PID_0801&Col02#7&1a2b&0&0001#{4D1E55B2-F16F-11CF-88CB-001111000030}";
constexpr char16_t kReader0809[] =
    u"\\\\?\\hid#vid_0d2a&pid_0809#7&99&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

TEST_F(HidInterfaceSearchTest, Prefix_MatchesWithoutRegardToCaseAndAnswersLowerCase) {
  const std::u16string mouse = u"\\\\?\\hid#vid_046d&pid_c077#6&1&0&0000#{4d1e55b2}";
  interfaces = {{mouse}, {kReaderCol02}, {kReader0809}};
  const THidSearchResult first = Search(kHidPatterns[0]);
  EXPECT_EQ(first.result, kHidSearchFound);
  EXPECT_EQ(first.path,
            u"\\\\?\\hid#vid_0d2a&pid_0801&col02#7&1a2b&0&0001#{4d1e55b2-f16f-11cf-88cb-"
            u"001111000030}");
  EXPECT_EQ(examined, (std::vector<uint32_t>{0, 1}));  // stops at the hit
  const THidSearchResult second = Search(kHidPatterns[1]);
  EXPECT_EQ(second.result, kHidSearchFound);
  EXPECT_EQ(second.path, kReader0809);
}

TEST_F(HidInterfaceSearchTest, OnlyThePrefixCounts_LongerProductAndOtherCollectionsDiffer) {
  struct Case {
    std::u16string path;
    std::u16string_view pattern;
    int result;
  };
  const Case cases[] = {
      {u"\\\\?\\hid#vid_0d2a&pid_08091#1#{x}", kHidPatterns[1], kHidSearchFound},
      {u"\\\\?\\HID#VID_0D2A&PID_0809&MI_00#1#{x}", kHidPatterns[1], kHidSearchFound},
      {u"\\\\?\\hid#vid_0d2a&pid_0801&col01#1#{x}", kHidPatterns[0], kHidSearchNotFound},
      {u"\\\\?\\hid#vid_0d2a&pid_0801", kHidPatterns[0], kHidSearchNotFound},
      {u"\\\\?\\usb#vid_0d2a&pid_0809#1#{x}", kHidPatterns[1], kHidSearchNotFound},
  };
  for (const Case& c : cases) {
    interfaces = {{c.path}};
    EXPECT_EQ(Search(c.pattern).result, c.result) << platform::Utf16ToUtf8(c.path);
  }
}

TEST_F(HidInterfaceSearchTest, FailingIndexes_AreSkippedAndTheSearchGoesOn) {
  interfaces = {{kReader0809, /*enumerable=*/false},
                {kReader0809, true, /*answersSize=*/false},
                {kReader0809, true, true, /*readable=*/false},
                {kReaderCol02}};
  EXPECT_EQ(Search(kHidPatterns[1]).result, kHidSearchNotFound);
  EXPECT_EQ(Search(kHidPatterns[0]).result, kHidSearchFound);
}

TEST_F(HidInterfaceSearchTest, Indexes_ExactlyTwoHundredExaminedEvenPastTheEnd) {
  interfaces.assign(3, {u"\\\\?\\hid#vid_1234&pid_0001#1#{x}"});
  EXPECT_EQ(Search(kHidPatterns[0]).result, kHidSearchNotFound);
  ASSERT_EQ(examined.size(), 200u);
  EXPECT_EQ(examined.back(), 199u);

  interfaces.assign(200, {u"\\\\?\\hid#vid_1234&pid_0001#1#{x}"});
  interfaces.push_back({kReaderCol02});  // index 200
  EXPECT_EQ(Search(kHidPatterns[0]).result, kHidSearchNotFound);
  interfaces[199] = {kReaderCol02};
  EXPECT_EQ(Search(kHidPatterns[0]).result, kHidSearchFound);
}

TEST_F(HidInterfaceSearchTest, EmptyPrefixOrUnopenableSet_NotFound) {
  interfaces = {{kReaderCol02}};
  EXPECT_EQ(Search(u"").result, kHidSearchNotFound);
  EXPECT_TRUE(examined.empty());
  openable = false;
  EXPECT_EQ(Search(kHidPatterns[0]).result, kHidSearchNotFound);
}

TEST(HidInterfaceSetOpener, HidService_ListsItsPathsForTheHidClassOnly) {
  class CListedService final : public platform::IHidService {
   public:
    std::vector<std::string> EnumerateInterfaces() override {
      return {"\\\\?\\hid#vid_0d2a&pid_0809#sim#{4d1e55b2-f16f-11cf-88cb-001111000030}"};
    }
    uint32_t Open(std::string_view, std::unique_ptr<platform::IHidDevice>&) override {
      return platform::kHidErrorFileNotFound;
    }
  } service;
  const DeviceInterfaceSetOpener open = HidInterfaceSetOpener(service);
  EXPECT_EQ(open(u"{80DCC0C5-BD3E-4BC0-8A06-11EAE4AE7224}", kDigcfPresentInterfaces), nullptr);
  const THidSearchResult found =
      FindHidInterfacePath(open, u"{4d1e55b2-f16f-11cf-88cb-001111000030}", kDigcfPresentInterfaces,
                           HidSearchPrefix(kHidPatterns[1]));
  EXPECT_EQ(found.result, kHidSearchFound);
  EXPECT_EQ(found.path, u"\\\\?\\hid#vid_0d2a&pid_0809#sim#{4d1e55b2-f16f-11cf-88cb-001111000030}");
}

}  // namespace
}  // namespace lx2d
