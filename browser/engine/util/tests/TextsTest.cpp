#include "Texts.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QStringDecoder>
#include <vector>

namespace qlon {
namespace {

// Every table, so that whole-table properties cover texts added later.
template <std::size_t N>
void Collect(std::vector<std::string_view>& all, const TextTable<N>& table) {
  all.insert(all.end(), table.begin(), table.end());
}

std::vector<std::string_view> AllTexts() {
  std::vector<std::string_view> all;
  Collect(all, kHttpStatus200);
  Collect(all, kHttpStatus300);
  Collect(all, kHttpStatus400);
  Collect(all, kHttpStatus500);
  Collect(all, kHttpErrorTexts);
  Collect(all, kMessageCaptions);
  Collect(all, kMimeCategoryTitles);
  Collect(all, kMimeCategoryNames);
  Collect(all, kHttpStateTexts);
  Collect(all, kWebFileStateTexts);
  Collect(all, kWebLoadErrorTexts);
  Collect(all, kWizardHints);
  Collect(all, kThumbnailProgressTexts);
  Collect(all, kSearchModes);
  Collect(all, kSearchPrompts);
  Collect(all, kCapturePresets);
  Collect(all, kUrlCheckMessages);
  Collect(all, kOptionsHints);
  Collect(all, kPageTitles);
  Collect(all, kUrlListProgressTexts);
  Collect(all, kFilterActionTexts);
  Collect(all, kColumnMenuCaptions);
  Collect(all, kTaskStartKinds);
  Collect(all, kTaskScheduleFormats);
  Collect(all, kTaskJournalTexts);
  Collect(all, kWebTaskActions);
  Collect(all, kDayNames);
  Collect(all, kMonthNames);
  Collect(all, kTaskStateTexts);
  Collect(all, kTaskErrorTexts);
  Collect(all, kDialStateTexts);
  Collect(all, kShortcutActionCaptions);
  Collect(all, kShortcutActionHints);
  Collect(all, kShortcutCaptureKinds);
  for (const auto& c : kDefaultColumns) all.push_back(c.Caption);
  return all;
}

TEST(Texts, EveryTextIsValidUtf8) {
  for (std::string_view text : AllTexts()) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    (void)decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    EXPECT_FALSE(decoder.hasError()) << text;
  }
}

TEST(Texts, AccentsAreEncodedAsUtf8) {
  // "é" is the two bytes C3 A9, not the single Windows-1252 byte E9.
  EXPECT_EQ(HttpStatusTableText(404), "Pas trouv\xC3\xA9");
  EXPECT_EQ(kMonthNames[7], "Ao\xC3\xBBt");
}

TEST(Texts, ShortStringTablesFitTheirStoredSize) {
  for (auto t : kTaskStateTexts) EXPECT_LE(t.size(), kTaskStateTextLimit) << t;
  for (auto t : kTaskErrorTexts) EXPECT_LE(t.size(), kTaskErrorTextLimit) << t;
  for (auto t : kDialStateTexts) EXPECT_LE(t.size(), kDialStateTextLimit) << t;
}

TEST(Texts, HttpStatusTextByClassAndIndex) {
  struct Row {
    int status;
    std::string_view text;
  };
  const Row rows[] = {
      {200, "Ok"},
      {206, "Contenu partiel"},
      {207, ""},
      {301, "URL déplacée définitivement vers %s"},
      {302, "URL déplacée temporairement vers %s"},
      {303, ""},
      {305, "Il faut utiliser un proxy"},
      {306, ""},
      {400, "Mauvaise requête HTTP"},
      {407, "Identification du proxy demandé"},
      {411, "Taille souhaitée"},
      {412, ""},
      {415, ""},
      {416, ""},
      {500, "Erreur interne du serveur"},
      {505, "Version HTTP non supportée"},
      {506, ""},
      {0, ""},
      {100, ""},
      {199, ""},
      {600, ""},
      {-404, ""},
  };
  for (const Row& r : rows) EXPECT_EQ(HttpStatusTableText(r.status), r.text) << r.status;
}

TEST(Texts, EnumerationsIndexTheirTables) {
  EXPECT_EQ(HttpErrorText(heNone), "");
  EXPECT_EQ(HttpErrorText(heNoHost), "Nom de domaine inconnu");
  EXPECT_EQ(HttpErrorText(heBadHttpHeader), "Réponse HTTP absente ou incomprise");
  EXPECT_EQ(HttpErrorText(heFTPError), "Erreur FTP");
  EXPECT_EQ(HttpErrorText(heFTPError + 1), "");
  EXPECT_EQ(HttpStateText(sConnexion), "Connecté");
  EXPECT_EQ(HttpStateText(sError), "Erreur");
  EXPECT_EQ(HttpStateText(-1), "");
  EXPECT_EQ(TextAt(kWebFileStateTexts, 3), "");
  EXPECT_EQ(TextAt(kWebFileStateTexts, 21), "Filtré par le nom de machine du domaine");
  EXPECT_EQ(TextAt(kWebFileStateTexts, 22), "");
  EXPECT_EQ(TextAt(kPageTitles, 33), "Travaux en différé");
  EXPECT_EQ(TextAt(kPageTitles, 34), "");
  EXPECT_EQ(TextAt(kWebLoadErrorTexts, 0), "");
  EXPECT_EQ(TextAt(kWebLoadErrorTexts, 5), "Erreur en lecture du fichier Web!");
}

TEST(Texts, FilterActionsAreIndexedByRecordState) {
  EXPECT_EQ(FilterActionText(11), "Rapatrier les documents FTP");
  EXPECT_EQ(FilterActionText(12), "Récupérer les documents %s");
  EXPECT_EQ(FilterActionText(14), "");
  EXPECT_EQ(FilterActionText(20), "");
  EXPECT_EQ(FilterActionText(21), "Autoriser l'exploration des sites %s");
  EXPECT_EQ(FilterActionText(10), "");
  EXPECT_EQ(FilterActionText(22), "");
}

TEST(Texts, DefaultColumnsCarryIdAndFlags) {
  for (int id = 0; id <= 10; ++id) {
    auto col = DefaultColumn(id);
    ASSERT_TRUE(col) << id;
    EXPECT_EQ(col->Id, id);
    EXPECT_TRUE(col->Flags & kColDefault) << col->Caption;
    const bool wide = col->Caption == "URL" || col->Caption == "Fichier" ||
                      col->Caption == "Page de référence";
    EXPECT_EQ((col->Flags & kColWide) != 0, wide) << col->Caption;
  }
  EXPECT_EQ(DefaultColumn(3), (TColHeader{"Mime-Type", 3, 80, 0x100}));
  EXPECT_FALSE(DefaultColumn(11));
  EXPECT_FALSE(DefaultColumn(-1));
}

TEST(Types, EnumerationValuesAreTheStoredOnes) {
  EXPECT_EQ(mHEAD, 2);
  EXPECT_EQ(sReceive, 5);
  EXPECT_EQ(rsContent, 2);
  EXPECT_EQ(heTimeout, 4);
  EXPECT_EQ(heFTPError, 10);
  EXPECT_EQ(usErrors, 6);
  EXPECT_EQ(usMapList, 9);
}

TEST(Types, SameTextAsciiFoldsOnlyAsciiLetters) {
  EXPECT_TRUE(SameTextAscii("HOST", "host"));
  EXPECT_TRUE(SameTextAscii("", ""));
  EXPECT_FALSE(SameTextAscii("host", "hos"));
  EXPECT_FALSE(SameTextAscii("@", "`"));  // 0x40 and 0x60 differ by 32 but are not letters
  EXPECT_FALSE(SameTextAscii("[", "{"));
  EXPECT_FALSE(SameTextAscii("É", "é"));
}

}  // namespace
}  // namespace qlon
