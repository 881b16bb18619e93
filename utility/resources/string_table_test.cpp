#include "string_table.h"

#include <gtest/gtest.h>

namespace lx2d {
namespace {

TEST(StringTable, SameIdsInEveryLanguage_TextsAsPublished) {
  EXPECT_EQ(LoadUtilityString(UiLanguage::kEnglish, 233),
            u"Registry error => check registry permission");
  EXPECT_EQ(LoadUtilityString(UiLanguage::kFrench, 230), u"SUCCES");
  EXPECT_EQ(LoadUtilityString(UiLanguage::kJapanese, 238), u"デバイスがみつかりません");
  EXPECT_EQ(LoadUtilityString(UiLanguage::kFrench, 300),
            u"Pas d’infos de port pour le module de codes barres\nVeuillez connecter le module au "
            u"lecteur de codes barres");
  EXPECT_EQ(LoadUtilityString(UiLanguage::kEnglish, 303), u"Cannot start WaitCommEvent ");
  // A no-break space before the colon, as French typography has it.
  EXPECT_EQ(LoadUtilityString(UiLanguage::kFrench, 280),
            u"Impossible de charger le fichier DLL de codes barres\u00A0: ");
  for (const UiLanguage language :
       {UiLanguage::kEnglish, UiLanguage::kFrench, UiLanguage::kJapanese}) {
    EXPECT_EQ(LoadUtilityString(language, kIdsAppTitle), u"LX2D_SET");
    for (uint32_t id = 230; id <= 303; ++id) {
      const bool hasText = !(id >= 234 && id <= 236) && !(id >= 243 && id <= 279) && id != 299;
      EXPECT_EQ(LoadUtilityString(language, id).empty(), !hasText) << id;
    }
  }
  EXPECT_TRUE(LoadUtilityString(UiLanguage::kEnglish, 0).empty());
  EXPECT_TRUE(LoadUtilityString(UiLanguage::kEnglish, 0xFFFFFFFF).empty());
}

TEST(StringTable, LanguageFromLocale_FirstSetVariableDecides) {
  EXPECT_EQ(UiLanguageFromLocale("fr_FR.UTF-8", "ja_JP", "en_US"), UiLanguage::kFrench);
  EXPECT_EQ(UiLanguageFromLocale("", "ja_JP.eucJP", "fr_FR"), UiLanguage::kJapanese);
  EXPECT_EQ(UiLanguageFromLocale("", "", "fr_CA"), UiLanguage::kFrench);
  EXPECT_EQ(UiLanguageFromLocale("C", "fr_FR", "fr_FR"), UiLanguage::kEnglish);
  EXPECT_EQ(UiLanguageFromLocale("", "", ""), UiLanguage::kEnglish);
  EXPECT_EQ(UiLanguageFromLocale("de_DE", "", ""), UiLanguage::kEnglish);
}

TEST(StringTable, UnlistedResult_NamesTheNumber) {
  EXPECT_EQ(UnlistedLibraryResultText(UiLanguage::kEnglish, 13), u"Library error 13");
  EXPECT_EQ(UnlistedLibraryResultText(UiLanguage::kFrench, 4), u"Erreur de bibliothèque 4");
}

}  // namespace
}  // namespace lx2d
