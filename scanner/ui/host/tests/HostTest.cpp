// The page and the control panel as their hosts see them: the libraries
// loaded by name, the page over the real driver and the emulated scanner.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QPainter>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include "AppEnvironment.h"
#include "CalibrationRoad.h"
#include "CapabilityTypes.h"
#include "EmulatedInstall.h"
#include "PageHost.h"
#include "Registry.h"
#include "ScannerInterface.h"
#include "SheetHost.h"
#include "TempRoot.h"

namespace fs = std::filesystem;
namespace reg = qlon::registry;
using namespace qlon::scanner;
using namespace qlon::scanner::host;

namespace {

const auto* const g_env = qlon::test::AddAppEnvironment<QApplication>();

const std::string kUserKey = "Software\\Norva\\Vellumor\\5.3\\Devices\\QMDEV";

void Pump() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}
// Where the tests leave screenshots: build/screens.
fs::path Screens() {
  const fs::path screens = ProgramFolder().parent_path() / "screens";
  fs::create_directories(screens);
  return screens;
}
// Acts on the box a click opens, once it is up: the driver's calibration
// notice lets posted events through while it appears, so a zero-time
// callback could run before the box exists.
void WhenBoxIsUp(std::function<void(QMessageBox*)> act) {
  auto* poll = new QTimer;
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, [poll, act = std::move(act)] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    poll->stop();
    poll->deleteLater();
    act(box);
  });
  poll->start();
}
uint32_t UserDword(const char* name) {
  reg::Key key;
  uint32_t v = 0xFFFFFFFFu;
  if (reg::OpenKey(reg::HKEY_CURRENT_USER, kUserKey, reg::Access::Read, &key) == reg::kOk) reg::QueryDword(key, name, &v);
  return v;
}
void SetUserDword(const char* name, uint32_t v) {
  reg::Key key;
  ASSERT_EQ(reg::CreateKey(reg::HKEY_CURRENT_USER, kUserKey, "option", &key), reg::kOk);
  reg::SetDword(key, name, v);
}
// The driver's current value of a capability (its storage's second member).
int32_t DriverValue(qlon::imgport::ScannerInterface& si, int32_t id) {
  int32_t kind = -1;
  void* value = nullptr;
  if (si.GetCapability(id, &kind, &value) != 0 || !value) return -1;
  return static_cast<const int32_t*>(value)[kind == kCapRange ? 4 : kind == kCapOne ? 0 : 1];
}
template <typename T>
T* Find(QWidget* root, int id) {
  for (T* w : root->findChildren<T*>())
    if (w->property("controlId").toInt() == id) return w;
  return nullptr;
}

// One install, driver and host per test; each host loads the page's library
// and unloads it when it goes.
class PageThroughHost : public ::testing::Test {
 protected:
  void Open(InstallOptions options = {}) {
    install_ = std::make_unique<EmulatedInstall>(folder_.path(), ProgramFolder(), options);
    ASSERT_EQ(install_->Error(), "");
    scanner_ = std::make_unique<qlon::imgport::DriverScannerInterface>(install_->DriverPath());
    ASSERT_TRUE(scanner_->Loaded()) << scanner_->Error();
    host_ = std::make_unique<PageHost>(install_->UiLibrary(), scanner_.get());
    ASSERT_EQ(host_->Error(), "");
    host_->show();
    Pump();
  }
  void TearDown() override {
    host_.reset();
    scanner_.reset();
    install_.reset();
  }
  // Runs the diagnostics dialog: `start` presses "&Start" first; returns its edit's text.
  QString Diagnose(bool start, bool* startEnabled = nullptr) {
    QString text;
    QTimer::singleShot(0, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->windowTitle(), "Scanner Diagnostics");
      auto buttons = dialog->findChildren<QPushButton*>();
      ASSERT_EQ(buttons.size(), 3);
      if (start) buttons[0]->click();
      text = dialog->findChild<QPlainTextEdit*>()->toPlainText();
      if (startEnabled) *startEnabled = buttons[0]->isEnabled();
      buttons[1]->click();  // Close
    });
    Find<QPushButton>(host_->Page(), 1008)->click();
    Pump();
    return text;
  }
  qlon::test::TempRoot root_;
  qlon::test::TempDir folder_;
  std::unique_ptr<EmulatedInstall> install_;
  std::unique_ptr<qlon::imgport::DriverScannerInterface> scanner_;
  std::unique_ptr<PageHost> host_;
};

TEST_F(PageThroughHost, ShowsTheSavedValuesAndSendsAndSavesAChange) {
  SetUserDword("Image Source", 0);
  SetUserDword("Paper Size", 2);  // B5
  SetUserDword("MoireReduction", 1);
  SetUserDword("Threshold", 90);
  Open({.product = "QM-51270K", .faults = ""});
  QWidget* page = host_->Page();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->geometry(), host_->Client()->rect());
  auto* paper = Find<QComboBox>(page, 1002);
  ASSERT_NE(paper, nullptr);
  EXPECT_EQ(paper->currentText(), "B5");
  EXPECT_EQ(paper->count(), 7);
  EXPECT_TRUE(Find<QCheckBox>(page, 1044)->isChecked());
  EXPECT_EQ(Find<QLabel>(page, 1037)->text(), "LPT1");
  EXPECT_EQ(Find<QLabel>(page, 1040)->text(), "V1.07");
  EXPECT_NE(Find<QLabel>(page, 1048)->text().indexOf("Firmware : 1.07"), -1);
  // The paper size reached the driver (table 3 of this model).
  EXPECT_EQ(DriverValue(*scanner_, cap::PaperWidth), 2150);
  EXPECT_EQ(DriverValue(*scanner_, cap::PaperLength), 3035);

  const int letter = paper->findText("Letter");
  paper->setCurrentIndex(letter);
  emit paper->activated(letter);
  EXPECT_EQ(DriverValue(*scanner_, cap::PaperWidth), 2550);
  EXPECT_EQ(DriverValue(*scanner_, cap::PaperLength), 3300);
  EXPECT_EQ(UserDword("Paper Size"), 4u);
  Find<QCheckBox>(page, 1044)->click();
  EXPECT_EQ(UserDword("MoireReduction"), 0u);
  EXPECT_EQ(UserDword("Threshold"), 90u);

  // This driver has no automatic threshold: the page stays on manual, with
  // its threshold and its information line.
  const QString info = Find<QLabel>(page, 1048)->text();
  Find<QRadioButton>(page, 1011)->click();
  EXPECT_TRUE(Find<QRadioButton>(page, 1012)->isChecked());
  EXPECT_EQ(Find<QLabel>(page, 1048)->text(), info);
  EXPECT_EQ(DriverValue(*scanner_, cap::Threshold), 90);
  EXPECT_EQ(UserDword("AutoThreshold"), 0u);

  // The status line of the control under the mouse reaches the host.
  QWidget* descreen = Find<QCheckBox>(page, 1044);
  QHelpEvent help(QEvent::ToolTip, QPoint(3, 3), descreen->mapToGlobal(QPoint(3, 3)));
  QApplication::sendEvent(descreen, &help);
  Pump();
  EXPECT_EQ(host_->StatusLine(), "Reduces moire");
}

TEST_F(PageThroughHost, DiagnosticsAndCalibrationAgainstTheEmulator) {
  Open();
  bool startEnabled = false;
  EXPECT_EQ(Diagnose(true, &startEnabled), "Diagnostics Passed.");
  EXPECT_TRUE(startEnabled);
  EXPECT_EQ(install_->Scanner()->Diagnostics(), 1);
  EXPECT_EQ(host_->DiagnosticsClosed(), 1);
  EXPECT_FALSE(host_->CloseRequested());

  Find<QPushButton>(host_->Page(), 1009)->click();
  EXPECT_EQ(install_->Scanner()->Calibrations(), 1);
  Pump();
  EXPECT_FALSE(host_->CloseRequested());
}

// What the screen shows when the device starts calibrating (C2h arrives).
struct NoticeSeen {
  QString text;
  QWidget* owner = nullptr;
  bool onScreen = false;  // the window system's copy holds the painted notice
  bool hourglass = false;
  QImage screen;          // the host with the notice over it
};

NoticeSeen LookAtTheScreen(QWidget* host) {
  NoticeSeen seen;
  const QCursor* cursor = QApplication::overrideCursor();
  seen.hourglass = cursor && cursor->shape() == Qt::WaitCursor;
  QWidget* notice = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->objectName() == "qlonwin_notice") notice = w;
  if (!notice) return seen;
  seen.owner = notice->parentWidget();
  for (QLabel* label : notice->findChildren<QLabel*>())
    if (!label->text().isEmpty()) seen.text = label->text();
  const QImage shown = QGuiApplication::primaryScreen()->grabWindow(notice->winId()).toImage().convertToFormat(QImage::Format_RGB32);
  const QImage drawn = notice->grab().toImage().convertToFormat(QImage::Format_RGB32);
  int dark = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) dark += qGray(shown.pixel(x, y)) < 96;
  seen.onScreen = !shown.isNull() && shown == drawn && dark > 50;
  seen.screen = host->grab().toImage().convertToFormat(QImage::Format_RGB32);
  QPainter painter(&seen.screen);
  painter.drawImage(notice->geometry().topLeft() - host->geometry().topLeft(), shown);
  return seen;
}

TEST_F(PageThroughHost, TheCalibrationNoticeIsOnScreenWhileTheDeviceCalibrates) {
  Open({.product = "QM-51290T", .faults = ""});
  const auto& device = install_->Scanner();
  std::vector<NoticeSeen> seen;
  device->WatchCommands(0xC2, [&] { seen.push_back(LookAtTheScreen(host_.get())); });
  const QString calibrating = QString::fromUtf8("Calibrage en cours.\nNe pas ouvrir le cache.");

  // The page's Calibration button: DeviceControl(6).
  device->ClearLog();
  Find<QPushButton>(host_->Page(), 1009)->click();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, calibrating);
  EXPECT_EQ(seen[0].owner, host_.get());  // the window titled "Vellumor"
  EXPECT_TRUE(seen[0].onScreen);
  EXPECT_TRUE(seen[0].hourglass);
  EXPECT_EQ(device->LogCdbs(), qlon::scanner::test::kCalibrationCdbs);
  EXPECT_GE(qlon::scanner::test::PauseBeforeCalibrate(device->Log()), std::chrono::milliseconds(100));
  seen[0].screen.save(QString::fromStdString((Screens() / "calibration-notice.png").string()));

  // A scan start of this model while the device asks for calibration.
  device->SetCalibrationNeeded(1);
  device->ClearLog();
  EXPECT_EQ(qlon::scanner::test::ScanSmallFrame([this](const char* name) { return scanner_->Symbol(name); }), 16);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text, calibrating);
  EXPECT_TRUE(seen[1].onScreen);
  EXPECT_TRUE(seen[1].hourglass);
  std::vector<std::string> cdbs = device->LogCdbs();
  ASSERT_GE(cdbs.size(), qlon::scanner::test::kCalibratingScanCdbs.size());
  cdbs.resize(qlon::scanner::test::kCalibratingScanCdbs.size());
  EXPECT_EQ(cdbs, qlon::scanner::test::kCalibratingScanCdbs);
  EXPECT_GE(qlon::scanner::test::PauseBeforeCalibrate(device->Log()), std::chrono::milliseconds(100));

  // Gone afterwards, with the arrow back.
  EXPECT_TRUE(LookAtTheScreen(host_.get()).text.isEmpty());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(host_->CloseRequested());
}

TEST_F(PageThroughHost, FailingDiagnosticsShowTheDriverTextAndCloseTheHost) {
  Open({.faults = "diagnostics"});
  bool startEnabled = true;
  const QString text = Diagnose(true, &startEnabled);
  EXPECT_TRUE(text.startsWith("FAILED -\n")) << text.toStdString();
  EXPECT_NE(text.indexOf(QString::fromUtf8("irrécupérable")), -1) << text.toStdString();
  EXPECT_FALSE(startEnabled);
  EXPECT_EQ(host_->DiagnosticsClosed(), 1);
  EXPECT_TRUE(host_->CloseRequested());
  EXPECT_FALSE(host_->isVisible());
}

TEST_F(PageThroughHost, FailingCalibrationShowsItsBoxAndClosesTheHost) {
  Open({.faults = "calibration"});
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int linesShown = 0;
  WhenBoxIsUp([&](QMessageBox* box) {
    caption = box->windowTitle();
    text = box->text();
    icon = box->icon();
    // The lines the label draws at its width.
    auto* label = box->findChild<QLabel*>("qt_msgbox_label");
    ASSERT_NE(label, nullptr);
    const QFontMetrics metrics(label->font());
    linesShown = metrics.boundingRect(label->contentsRect(), Qt::TextWordWrap, text).height() / metrics.lineSpacing();
    box->grab().save(QString::fromStdString((Screens() / "calibration-failed.png").string()));
    box->buttons().front()->click();
  });
  Find<QPushButton>(host_->Page(), 1009)->click();
  Pump();
  EXPECT_EQ(caption, "Vellumor");
  // Laid out once, at 60 characters, and shown as written.
  EXPECT_EQ(text, QString::fromUtf8("Erreur irrécupérable sur le scanner. Mettez le scanner hors\n"
                                    "tension et suivez les instructions du manuel. Le pilote du\n"
                                    "scanner va être fermé.(Code:-24)"));
  EXPECT_EQ(linesShown, 3);
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_TRUE(host_->CloseRequested());
}

TEST_F(PageThroughHost, TabHandsTheKeyboardBetweenHostAndPage) {
  Open();
  host_->activateWindow();
  auto press = [](bool shift) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QKeyEvent key(QEvent::KeyPress, shift ? Qt::Key_Backtab : Qt::Key_Tab, shift ? Qt::ShiftModifier : Qt::NoModifier);
    QApplication::sendEvent(focus, &key);
  };
  QWidget* calibrate = Find<QPushButton>(host_->Page(), 1009);
  calibrate->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), calibrate);
  press(false);  // the page's last stop: back to the host
  EXPECT_EQ(QApplication::focusWidget(), host_->OkButton());
  press(true);  // and back into the page, at its last stop
  EXPECT_EQ(QApplication::focusWidget(), calibrate);
  host_->HandOver(host_->OkButton(), false);
  QWidget* first = QApplication::focusWidget();
  EXPECT_TRUE(host_->Page()->isAncestorOf(first));
  EXPECT_EQ(first, Find<QComboBox>(host_->Page(), 1021));
}

TEST_F(PageThroughHost, UnloadingWritesTheStateBack) {
  Open({.product = "QM-51270K", .faults = ""});
  reg::DeleteKey(reg::HKEY_CURRENT_USER, kUserKey);
  ASSERT_EQ(UserDword("Image Source"), 0xFFFFFFFFu);
  host_->Unload();
  EXPECT_EQ(UserDword("Image Source"), 0u);
  EXPECT_EQ(UserDword("Threshold"), 128u);
  EXPECT_EQ(host_->Page(), nullptr);
}

TEST(SheetThroughHost, ThePreferencesPageAppliesAndSavesItsValues) {
  qlon::test::TempRoot root;
  qlon::test::TempDir folder;
  EmulatedInstall install(folder.path(), ProgramFolder());
  ASSERT_EQ(install.Error(), "");
  SheetHost sheet(install.CplLibrary());
  ASSERT_EQ(sheet.Error(), "");
  sheet.RefusePages(true);
  EXPECT_EQ(sheet.AddPages(install.Information()), 0);
  EXPECT_EQ(sheet.Tabs()->count(), 0);
  sheet.RefusePages(false);
  ASSERT_EQ(sheet.AddPages(install.Information()), 1);
  ASSERT_EQ(sheet.Tabs()->count(), 1);
  EXPECT_EQ(sheet.Tabs()->tabText(0), QString::fromUtf8("Préférences"));
  QWidget* page = sheet.Tabs()->widget(0);
  sheet.show();
  Pump();
  EXPECT_FALSE(sheet.ApplyButton()->isEnabled());
  auto buttons = page->findChildren<QAbstractButton*>();
  auto byText = [&](const char* text) -> QAbstractButton* {
    for (QAbstractButton* b : buttons)
      if (b->text() == QString::fromUtf8(text)) return b;
    return nullptr;
  };
  QAbstractButton* autoClose = byText("&Quitter automatiquement Vellumor après la numérisation");
  QAbstractButton* autoPreview = byText("&Exécuter automatiquement un aperçu");
  ASSERT_TRUE(autoClose && autoPreview);
  autoClose->click();
  autoPreview->click();
  EXPECT_TRUE(sheet.ApplyButton()->isEnabled());
  sheet.ApplyButton()->click();
  EXPECT_FALSE(sheet.ApplyButton()->isEnabled());
  // The device key is the one whose "ProductName" is the device description.
  EXPECT_EQ(UserDword("AutoClose"), 1u);
  EXPECT_EQ(UserDword("AutoPreview"), 1u);
  EXPECT_EQ(UserDword("SavePreview"), 0u);
  EXPECT_EQ(UserDword("ColorMatch"), 1u);

  // No description: the control panel is told, and no page is added.
  qlon::sti::DeviceInformation bare = install.Information();
  bare.deviceDescription = nullptr;
  QString said;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    said = box->windowTitle() + ": " + box->text();
    box->buttons().front()->click();
  });
  EXPECT_EQ(sheet.AddPages(bare), 0);
  EXPECT_EQ(said, "EnumStiPropPages: No Device Description");
}

// The libraries stand alone: none needs another deliverable.
TEST(Deliverables, LinkAgainstNoOtherDeliverable) {
  for (const char* lib : {"tq21udrv.so", "tq21uui.so", "tq21ucpl.so"}) {
    const fs::path path = ProgramFolder() / lib;
    ASSERT_TRUE(fs::exists(path)) << lib;
    const std::string command = "readelf -d '" + path.string() + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe))
      if (std::strstr(buffer, "(NEEDED)")) out += buffer;  // not its own SONAME
    ASSERT_EQ(pclose(pipe), 0) << out;
    ASSERT_NE(out.find("(NEEDED)"), std::string::npos) << out;
    for (const char* other : {"tq21udrv", "tq21uui", "tq21ucpl", "qlon98", "qlonimgport"})
      EXPECT_EQ(out.find(std::string("[") + other), std::string::npos) << lib << " needs " << other;
  }
}

// The host programs render their windows: screenshots in the build tree.
TEST(HostPrograms, RenderTheSettingsPageAndThePreferencesSheet) {
  qlon::test::TempRoot root;
  const fs::path screens = Screens();
  const std::pair<const char*, const char*> runs[] = {{"tq21uui-host", "settings-page.png"},
                                                      {"tq21ucpl-host", "preferences-page.png"}};
  for (auto [program, file] : runs) {
    const fs::path png = screens / file;
    fs::remove(png);
    QProcess p;
    p.start(QString::fromStdString((ProgramFolder() / program).string()),
            {"--screenshot", QString::fromStdString(png.string())});
    ASSERT_TRUE(p.waitForFinished(60000)) << program;
    EXPECT_EQ(p.exitCode(), 0) << program << p.readAllStandardError().toStdString();
    const QImage image(QString::fromStdString(png.string()));
    EXPECT_GE(image.width(), 400) << program;
    EXPECT_GE(image.height(), 300) << program;
  }
  QProcess bad;
  bad.start(QString::fromStdString((ProgramFolder() / "tq21uui-host").string()), {"--fail", "nonsense"});
  ASSERT_TRUE(bad.waitForFinished(60000));
  EXPECT_EQ(bad.exitCode(), 2);
}

}  // namespace
