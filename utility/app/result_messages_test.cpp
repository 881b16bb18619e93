#include "result_messages.h"

#include <gtest/gtest.h>

namespace lx2d {
namespace {

TEST(ResultMessages, BindingFailures_ByRule) {
  EXPECT_EQ(BindingFailureText(UiLanguage::kEnglish, 80, 0, u"libRDLK_HID.so"),
            u"Can not load Barcode DLL File : libRDLK_HID.so");
  EXPECT_EQ(BindingFailureText(UiLanguage::kEnglish, 83, 3, u"libRDLK_HID.so"),
            u"GetDLLVersion Porc Error\nRegistry error => check registry permission");
  EXPECT_EQ(BindingFailureText(UiLanguage::kFrench, 89, 0, u""),
            u"Fonction d’écriture de configuration inexistante");
  EXPECT_EQ(BindingFailureText(UiLanguage::kEnglish, 98, 0, u""),
            u"Deinitialize function not exist");
}

TEST(ResultMessages, LibraryResults_TableOrNumber) {
  EXPECT_EQ(LibraryResultText(UiLanguage::kEnglish, 0), u"SUCCESS");
  EXPECT_EQ(LibraryResultText(UiLanguage::kEnglish, 8), u"No device found");
  EXPECT_EQ(LibraryResultText(UiLanguage::kJapanese, 10), u"接続が切れました");
  EXPECT_EQ(LibraryResultText(UiLanguage::kEnglish, 71), u"Barcode module Port cannot be opened");
  EXPECT_EQ(LibraryResultText(UiLanguage::kEnglish, 13), u"Library error 13");
  EXPECT_EQ(LibraryResultText(UiLanguage::kEnglish, 74), u"Library error 74");
  EXPECT_EQ(LibraryResultText(UiLanguage::kEnglish, 65535), u"Library error 65535");
}

}  // namespace
}  // namespace lx2d
