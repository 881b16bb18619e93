#include "string_table.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <iterator>

namespace lx2d {
namespace {

struct StringEntry {
  uint32_t id;
  std::u16string_view english;
  std::u16string_view french;
  std::u16string_view japanese;
};

// Sorted by id. 298 (a missing Deinitialize export) has a text of the
// program's own so that every binding result can be shown.
// clang-format off
constexpr StringEntry kStrings[] = {
    {207,
     u"This application does not support current version of Windows.\nDo you want to continue launching this application?",
     u"Cette application n’est pas prise en charge par cette version de Windows.\nLancer quand même l’application ?",
     u"現在のＯＳはサポート対象外です。\nこのままアプリケーションを起動しますか？"},
    {230, u"SUCCESS", u"SUCCES", u"成功"},
    {231, u"Invalid input buffer", u"Tampon d’entrée non valide", u"入力バッファが無効"},
    {232, u"Output buffer too small", u"Tampon de sortie trop petit", u"出力バッファが小さすぎます"},
    {233, u"Registry error => check registry permission",
     u"Erreur de registre => vérifier l’autorisation de registre", u"レジストリエラー"},
    {237, u"DLL not initialized => use Initialize function first",
     u"DLL non initialisé => utiliser d’abord la fonction d’initialisation",
     u"DLLが初期化されていません"},
    {238, u"No device found", u"Aucun appareil trouvé", u"デバイスがみつかりません"},
    {239, u"Interface port not available", u"Port d’interface non disponible",
     u"通信ポートが存在しません"},
    {240, u"Connection lost", u"Connexion perdue", u"接続が切れました"},
    {241, u"Operation cancelled (by user)", u"Opération annulée (par l’utilisateur)",
     u"操作がユーザにより中断されました"},
    {242, u"Other Error 01", u"Autre erreur 01", u"その他のエラー 01"},
    {280, u"Can not load Barcode DLL File : ",
     u"Impossible de charger le fichier DLL de codes barres\u00A0: ",
     u"バーコード ＤＬＬファイルがロードできません : "},
    {281, u"Initialize function not exist", u"Fonction d’initialisation inexistante",
     u"Initialize function not exist"},
    {282, u"GetDLLVersion function not exist", u"Fonction d’obtention de version DLL inexistante",
     u"GetDLLVersion function not exist"},
    {283, u"GetDLLVersion Porc Error", u"Erreur de procédure d’obtention de version DLL",
     u"GetDLLVersion Porc Error"},
    {284, u"Connect function not exist", u"Fonction de connexion inexistante",
     u"Connect function not exist"},
    {285, u"Disconnect function not exist", u"Fonction de déconnexion inexistante",
     u"Disconnect function not exist"},
    {286, u"ControlCommand function not exist", u"Fonction de commande de contrôle inexistante",
     u"ControlCommand function not exist"},
    {287, u"StatusRead function not exist", u"Fonction de lecture d’état inexistante",
     u"StatusRead function not exist"},
    {288, u"SetupRead function not exist", u"Fonction de lecture de configuration inexistante",
     u"SetupRead function not exist"},
    {289, u"SetupWrite function not exist", u"Fonction d’écriture de configuration inexistante",
     u"SetupWrite function not exist"},
    {290, u"GetBarcodeData function not exist",
     u"Fonction d’obtention de données de codes barres inexistante",
     u"GetBarcodeData function not exist"},
    {291, u"GetRawData function not exist", u"Fonction d’obtention de données brutes inexistante",
     u"GetRawData function not exist"},
    {292, u"GetImageData function not exist",
     u"Fonction d’obtention de données d’image inexistante", u"GetImageData function not exist"},
    {293, u"ImageDataRead function not exist", u"Fonction de lecture de données d’image inexistante",
     u"ImageDataRead function not exist"},
    {294, u"GetEventNotification function not exist",
     u"Fonction d’obtention de notification d’événement inexistante",
     u"GetEventNotification function not exist"},
    {295, u"DeviceIOControl function not exist",
     u"Fonction de contrôle d’alimentation d’appareil inexistante",
     u"DeviceIOControl function not exist"},
    {296, u"ConfigurationDialog function not exist",
     u"Fonction de dialogue de configuration inexistante", u"ConfigurationDialog function not exist"},
    {297, u"Other Error 02", u"Autre erreur 02", u"その他のエラー 02"},
    {298, u"Deinitialize function not exist", u"Fonction de désinitialisation inexistante",
     u"Deinitialize function not exist"},
    {300, u"No Barcode module Port Infomation\nPlease connect to the Barcode Reader",
     u"Pas d’infos de port pour le module de codes barres\nVeuillez connecter le module au lecteur de codes barres",
     u"No Barcode module Port Infomation\nPlease connect to the Barcode Reader"},
    {301, u"Barcode module Port cannot be opened",
     u"Impossible d’ouvrir le port du module de codes barres", u"Barcode module Port cannot be opened"},
    {302, u"Barcode module Port not open now",
     u"Port du module de codes barres non ouvert actuellement", u"Barcode module Port not open now"},
    {303, u"Cannot start WaitCommEvent ", u"Impossible de démarrer WaitCommEvent",
     u"Cannot start WaitCommEvent "},
    {kIdsAppTitle, u"LX2D_SET", u"LX2D_SET", u"LX2D_SET"},
};
// clang-format on

std::u16string_view Pick(const StringEntry& entry, UiLanguage language) {
  switch (language) {
    case UiLanguage::kFrench:
      return entry.french;
    case UiLanguage::kJapanese:
      return entry.japanese;
    case UiLanguage::kEnglish:
      break;
  }
  return entry.english;
}

std::string_view Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string_view(value) : std::string_view();
}

}  // namespace

UiLanguage UiLanguageFromLocale(std::string_view lcAll, std::string_view lcMessages,
                                std::string_view lang) {
  const std::string_view chosen = !lcAll.empty() ? lcAll : !lcMessages.empty() ? lcMessages : lang;
  if (chosen.starts_with("fr")) return UiLanguage::kFrench;
  if (chosen.starts_with("ja")) return UiLanguage::kJapanese;
  return UiLanguage::kEnglish;
}

UiLanguage CurrentUiLanguage() {
  return UiLanguageFromLocale(Variable("LC_ALL"), Variable("LC_MESSAGES"), Variable("LANG"));
}

std::u16string_view LoadUtilityString(UiLanguage language, uint32_t id) {
  const auto found =
      std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                       [](const StringEntry& entry, uint32_t wanted) { return entry.id < wanted; });
  if (found == std::end(kStrings) || found->id != id) return {};
  return Pick(*found, language);
}

std::u16string UnlistedLibraryResultText(UiLanguage language, uint32_t result) {
  std::u16string text = language == UiLanguage::kFrench     ? u"Erreur de bibliothèque "
                        : language == UiLanguage::kJapanese ? u"ライブラリのエラー "
                                                            : u"Library error ";
  for (const char c : std::to_string(result)) text.push_back(static_cast<char16_t>(c));
  return text;
}

}  // namespace lx2d
