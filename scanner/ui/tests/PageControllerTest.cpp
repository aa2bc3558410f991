// The page's rules against a scripted ScannerInterface that logs each call.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CapabilityTypes.h"
#include "FakeScanner.h"
#include "PageController.h"
#include "Registry.h"
#include "RegistryValueList.h"
#include "TempRoot.h"

using namespace qlon::scanner;
using namespace qlon::scanner::ui;
using qlon::scanner::ui::test::Calls;
using qlon::scanner::ui::test::FakeScanner;

namespace {



class PageRules : public ::testing::Test {
 protected:
  qlon::test::TempRoot root_;
  FakeScanner si_;
  PageState state_;
  uint32_t SavedDword(const char* name) {
    RegistryValueList list;
    EXPECT_EQ(list.LoadUserDevice("QMDEV"), 0);
    const RegistryValue* v = list.Find(name);
    return v ? static_cast<uint32_t>(v->AsInt32()) : 0xFFFFFFFFu;
  }
  void SaveDword(const char* name, uint32_t v) {
    qlon::registry::Key key;
    ASSERT_EQ(qlon::registry::CreateKey(qlon::registry::HKEY_CURRENT_USER,
                                        "Software\\Norva\\Vellumor\\5.3\\Devices\\QMDEV", "option", &key),
              qlon::registry::kOk);
    ASSERT_EQ(qlon::registry::SetDword(key, name, v), qlon::registry::kOk);
  }
};

TEST_F(PageRules, FirstStartWithUsLocaleProbesSendsLetterAndSavesDefaults) {
  PageController c(&si_, &state_);
  c.SetUsMeasure(true);
  si_.failSet[0x1002] = 0xC0000000u;
  ASSERT_TRUE(c.Start());
  EXPECT_EQ(c.Model(), 4);
  // Film settings (this model has them), probes, Letter on table 4, halftone
  // off, threshold sent, halftone index.
  const Calls expected = {{0x8065, 0}, {0x8066, 0}, {0x1002, 1}, {0x111e, 1}, {0x111e, 0}, {0x806b, 5100}, {0x806c, 6600},
                          {0x8067, 0}, {0x1100, 0}, {0x1123, 128}, {0x8068, 0}};
  EXPECT_EQ(si_.Take(), expected);
  const Controls& v = c.View();
  EXPECT_EQ(v.sources, (std::vector<std::string>{"Platen", "Film Adapter"}));
  EXPECT_EQ(v.papers.size(), 7u);
  EXPECT_EQ(v.paper, 4);
  EXPECT_EQ(v.edit, "128");
  EXPECT_EQ(SavedDword("Image Source"), 0u);
  EXPECT_EQ(SavedDword("Paper Size"), 4u);
  EXPECT_EQ(SavedDword("Threshold"), 128u);
  EXPECT_EQ(v.text.at(kModelLabel), "Pixavon ZU110V :");
  EXPECT_EQ(v.text.at(kVersionText), "V1.07");
  EXPECT_EQ(v.text.at(kPortText), "LPT1");
  EXPECT_NE(v.text.at(kInfoLine).find("Firmware : 1.07\nSCSI ID : 3  \t\tSCSI Adapter : 1"), std::string::npos);

  // A second page start probes nothing and sends no paper size.
  PageController again(&si_, &state_);
  ASSERT_TRUE(again.Start());
  for (auto [id, value] : si_.Take()) EXPECT_TRUE(id != 0x1002 && id != 0x806b) << std::hex << id;
}

TEST_F(PageRules, SavedStateIsRangeCheckedAndBadPortEndsTheStart) {
  SaveDword("Image Source", 1);  // the feeder, which the device lacks
  SaveDword("Paper Size", 0xFFFFFFFFu);
  SaveDword("MoireReduction", 7);
  SaveDword("Threshold", 300);
  PageController c(&si_, &state_);
  si_.failSet[0x1002] = 0xC0000000u;
  ASSERT_TRUE(c.Start());
  EXPECT_EQ(state_.source, kPlaten);
  EXPECT_EQ(state_.paper, 5);  // A4, the default
  EXPECT_FALSE(c.View().Checked(kDescreenCheck));
  EXPECT_EQ(state_.threshold, 255);

  PageState fresh;
  si_.caps[0x8074].current = 9;
  PageController bad(&si_, &fresh);
  EXPECT_FALSE(bad.Start());
}

TEST_F(PageRules, PaperListsFollowTheSource) {
  PageController c(&si_, &state_);
  ASSERT_TRUE(c.Start());
  c.OnPaper("Full Platen");
  si_.Take();
  c.OnSource("Document Feeder");
  EXPECT_EQ(si_.Take(), (Calls{{0x1002, 1}, {0x1007, 1}, {0x806b, 5104}, {0x806c, 8400}}));
  EXPECT_EQ(state_.paper, 7);
  EXPECT_EQ(c.View().paper, 6);
  EXPECT_EQ(c.View().papers.back(), "Legal");
  EXPECT_EQ(SavedDword("Image Source"), 1u);

  c.OnSource("Film Adapter");
  EXPECT_EQ(si_.Take(), (Calls{{0x111e, 1}, {0x806b, 4800}, {0x806c, 6472}}));
  EXPECT_EQ(c.View().papers, std::vector<std::string>{"Full FAU Platen"});
  c.OnPaper("Full FAU Platen");
  EXPECT_EQ(si_.Take(), (Calls{{0x806b, 4800}, {0x806c, 6472}}));

  c.OnSource("Platen");  // from film: the default row
  EXPECT_EQ(si_.Take(), (Calls{{0x111e, 0}, {0x806b, 4965}, {0x806c, 6992}}));
  EXPECT_EQ(state_.paper, 5);
}

TEST_F(PageRules, TrackBarCodes) {
  PageController c(&si_, &state_);
  ASSERT_TRUE(c.Start());
  c.OnScroll(4, 250);
  si_.Take();
  for (int code : {1, 1, 1, 3}) c.OnScroll(code, 0);
  EXPECT_EQ(state_.threshold, 250);  // steps wait for the end of tracking
  c.OnScroll(8, 0);
  EXPECT_EQ(state_.threshold, 255);
  EXPECT_EQ(c.View().edit, "255");
  c.OnScroll(6, 0);
  EXPECT_EQ(state_.threshold, 0);
  c.OnScroll(2, 0);
  c.OnScroll(8, 0);
  EXPECT_EQ(state_.threshold, 0);
  const Calls calls = si_.Take();
  ASSERT_FALSE(calls.empty());
  for (auto [id, value] : calls) EXPECT_EQ(id, 0x1123);
  EXPECT_EQ(calls.back().second, 0);
}

TEST_F(PageRules, ThresholdEditAcceptsOnlyNumbersBelow256) {
  PageController c(&si_, &state_);
  ASSERT_TRUE(c.Start());
  c.OnScroll(4, 90);
  EXPECT_EQ(c.Accept("300"), "Invalid numeric value. Please enter valid number.");
  EXPECT_EQ(state_.threshold, 90);
  EXPECT_EQ(c.View().edit, "90");
  EXPECT_FALSE(c.Accept("abc").empty());
  EXPECT_TRUE(c.Accept("42").empty());
  EXPECT_EQ(state_.threshold, 42);
  EXPECT_EQ(SavedDword("Threshold"), 42u);
  // Focus out accepts only after a change.
  si_.Take();
  c.OnEditFocusIn();
  EXPECT_TRUE(c.OnEditFocusOut("7").empty());
  EXPECT_TRUE(si_.Take().empty());
  c.OnEditChanged();
  c.OnEditFocusOut("7");
  EXPECT_EQ(state_.threshold, 7);
}

TEST_F(PageRules, AutomaticThresholdRoundTripKeepsTheManualValue) {
  PageController c(&si_, &state_);
  ASSERT_TRUE(c.Start());
  c.OnScroll(4, 77);
  si_.Take();
  c.OnAutomatic();
  EXPECT_EQ(si_.Take(), (Calls{{0x1100, 1}, {0x1123, 0}}));
  EXPECT_EQ(SavedDword("AutoThreshold"), 1u);
  EXPECT_EQ(SavedDword("Threshold"), 77u);
  EXPECT_FALSE(c.View().Enabled(kTrackBar));
  c.OnManual();
  const Calls calls = si_.Take();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], (std::pair<int32_t, intptr_t>{0x1100, 0}));
  EXPECT_EQ(calls[1], (std::pair<int32_t, intptr_t>{0x1123, 77}));

  // A driver without automatic threshold: the page stays manual and never sends 0.
  si_.failSet[0x1100] = 0xC0000000u;
  c.OnAutomatic();
  EXPECT_EQ(si_.Take(), (Calls{{0x1100, 1}}));
  EXPECT_FALSE(state_.automatic);
  EXPECT_TRUE(c.View().Checked(kManualRadio));
}

TEST_F(PageRules, HalftoneChangeDisablesThresholdAndSendsItsCalls) {
  PageController c(&si_, &state_);
  ASSERT_TRUE(c.Start());
  si_.Take();
  c.OnHalftone("Dither");
  EXPECT_EQ(si_.Take(), (Calls{{0x8067, 1}, {0x8068, 3}, {0x1100, 0}}));
  EXPECT_FALSE(c.View().Enabled(kAutoRadio));
  EXPECT_EQ(SavedDword("Halftone"), 3u);
  c.OnHalftone("Threshold");
  EXPECT_TRUE(c.View().Enabled(kManualRadio));
  EXPECT_TRUE(c.View().Enabled(kTrackBar));
}

TEST_F(PageRules, DiagnosticsAndCalibrationReportTheDriverText) {
  PageController c(&si_, &state_);
  std::string text;
  EXPECT_EQ(c.RunDiagnostics(&text), 0u);
  EXPECT_EQ(text, "Diagnostics Passed.");
  si_.controlStatus[4] = si_.controlStatus[6] = 0xC0000000u;
  si_.Error(62, "Le scanner ne répond pas. Vérifiez le câble et l'alimentation, puis réessayez l'opération.");
  EXPECT_EQ(c.RunDiagnostics(&text), 0xC0000000u);
  EXPECT_EQ(text.rfind("FAILED -\nLe scanner", 0), 0u);
  for (size_t start = 0, nl; start < text.size(); start = nl + 1) {
    nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    EXPECT_LE(nl - start, 60u);
  }
  int icon = -1;
  bool close = false;
  EXPECT_FALSE(c.Calibrate(&icon, &close).empty());
  EXPECT_EQ(icon, 3);
  EXPECT_TRUE(close);
  si_.controlStatus[6] = 0;
  EXPECT_TRUE(c.Calibrate(&icon, &close).empty());
}

TEST_F(PageRules, FilmModelKeepsItsFilmTypesAndSelection) {
  // A saved state of the film model: its film values come back and go out again.
  SaveDword("Image Source", 0);
  SaveDword("Film Selection", 2);
  {
    qlon::registry::Key key;
    qlon::registry::CreateKey(qlon::registry::HKEY_CURRENT_USER, "Software\\Norva\\Vellumor\\5.3\\Devices\\QMDEV",
                              "option", &key);
    qlon::registry::SetString(key, "Negative Selection", "Fuji Reala");
  }
  PageController c(&si_, &state_);
  ASSERT_TRUE(c.Start());
  EXPECT_EQ(c.FilmKinds().size(), 4u);
  ASSERT_EQ(c.FilmTypes().size(), 37u);
  EXPECT_EQ(c.FilmTypes()[15].name, "Fuji Reala");
  EXPECT_EQ(c.FilmTypes()[15].type, 0x8002u);
  const Calls calls = si_.Take();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], (std::pair<int32_t, intptr_t>{0x8065, 2}));
  EXPECT_EQ(calls[1], (std::pair<int32_t, intptr_t>{0x8066, 0}));
  // Without a stored list the built-in one is written, and its first entry
  // becomes the selection.
  std::vector<FilmType> stored;
  ASSERT_TRUE(LoadFilmTypes("QMDEV", &stored));
  EXPECT_EQ(stored.size(), 37u);
  c.OnDescreen(true);
  EXPECT_EQ(SavedDword("Film Selection"), 2u);
  RegistryValueList list;
  list.LoadUserDevice("QMDEV");
  ASSERT_NE(list.Find("Negative Selection"), nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(list.Find("Negative Selection")->Data()), "Agfa HDC 100");

  // A user's own list: its first entry's type decides; nothing is rebuilt.
  SaveFilmTypes("QMDEV", {{"Maison 200", 3}, {"Agfa HDC 100", 0x8001}});
  PageState fresh;
  PageController again(&si_, &fresh);
  ASSERT_TRUE(again.Start());
  EXPECT_EQ(again.FilmTypes().size(), 2u);
  const Calls second = si_.Take();
  EXPECT_EQ(second[1], (std::pair<int32_t, intptr_t>{0x8066, 2}));

  // Other models have no film values.
  si_.device = "QM-6620";
  PageState other;
  qlon::registry::DeleteKey(qlon::registry::HKEY_CURRENT_USER, "Software\\Norva\\Vellumor\\5.3\\Devices\\QMDEV\\NegativeTypes");
  PageController plain(&si_, &other);
  ASSERT_TRUE(plain.Start());
  for (auto [id, value] : si_.Take()) EXPECT_TRUE(id != 0x8065 && id != 0x8066);
  EXPECT_FALSE(LoadFilmTypes("QMDEV", &stored));  // and builds no film-type list
}

TEST_F(PageRules, HalftoneChoiceShowsItsPreview) {
  SaveDword("Image Source", 0);
  SaveDword("Halftone", 4);
  PageController c(&si_, &state_);
  ASSERT_TRUE(c.Start());
  EXPECT_EQ(c.View().preview, 4);
  EXPECT_FALSE(c.View().Enabled(kTrackBar));
  c.OnHalftone("Coarse");
  EXPECT_EQ(c.View().preview, 1);
}

TEST(PageHelpers, SplitWrapAndModels) {
  EXPECT_EQ(SplitEntry("Platen;7"), (std::pair<std::string, int>{"Platen", 7}));
  EXPECT_EQ(SplitEntry("Name"), (std::pair<std::string, int>{"Name", 0}));
  EXPECT_EQ(WrapText(std::string(70, 'x') + " y", 60), std::string(70, 'x') + "\ny");
  // Characters, not bytes: 60 characters in 61 bytes stay on one line.
  EXPECT_EQ(WrapText(std::string(58, 'a') + "\nà", 60), std::string(58, 'a') + " à");
  EXPECT_EQ(WrapText(std::string(59, 'a') + " à", 60), std::string(59, 'a') + "\nà");
  EXPECT_EQ(ModelOfDeviceName("QM-7741         "), 2);
  EXPECT_EQ(ModelOfDeviceName("QM-774"), 7);
  EXPECT_EQ(PaperSize(6, 5), (std::pair<int, int>{4965, 7016}));
}

}  // namespace
