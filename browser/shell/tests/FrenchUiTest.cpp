// The framework's own texts in French, as the program installs them: the
// standard buttons of the dialogs, the date pickers, the file and print
// dialogs, and what File > Ouvrir lists. Screenshots of the dialogs go to
// build/screens.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QGroupBox>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include "DlgFilter.h"
#include "DlgMime.h"
#include "DlgProfile.h"
#include "DlgTask.h"
#include "DlgText.h"
#include "MainWindowFixture.h"
#include "Setup.h"
#include "Mime.h"
#include "Options.h"
#include "Scheduler.h"
#include "ScreenShot.h"
#include "TempRoot.h"
#include "Utils.h"

namespace qlon {
namespace {

// Texts of the framework's dialogs as they read untranslated ("Options >>"
// reads the same in French).
const QStringList kEnglish = {"Cancel",   "Close",       "Open",        "Save",      "Yes",
                              "No",       "Apply",       "Help",        "Print",     "Printer",
                              "Print to File (PDF)",     "Look in:",    "File name:", "Files of type:",
                              "Properties", "Copies:",   "Print range", "Detail View", "List View",
                              "Back",     "Forward"};

// Every text a person can read in the widget.
QStringList Texts(const QWidget& w) {
  QStringList texts;
  for (const auto* b : w.findChildren<QAbstractButton*>()) texts << b->text();
  for (const auto* l : w.findChildren<QLabel*>()) texts << l->text();
  for (const auto* g : w.findChildren<QGroupBox*>()) texts << g->title();
  for (const auto* c : w.findChildren<QComboBox*>())
    for (int i = 0; i < c->count(); ++i) texts << c->itemText(i);
  return texts;
}

void ExpectFrench(QWidget& dialog, const QString& shot) {
  for (QString text : Texts(dialog)) {
    text.remove('&');
    EXPECT_FALSE(kEnglish.contains(text.trimmed())) << shot.toStdString() << ": \"" << text.toStdString() << "\"";
  }
  EXPECT_TRUE(test::SaveScreenShot(dialog, shot));
}

TEST(FrenchUi, StandardButtonsOfTheShellsDialogs) {
  test::TempRoot root;
  TProfileList profiles(root.path() / "profiles.ini");
  TOptions options;
  shell::TDlgProfileList profile(profiles, options);
  ExpectFrench(profile, "French-DlgProfile");
  std::string text = "texte";
  shell::TDlgText edit(text);
  ExpectFrench(edit, "French-DlgText");
  shell::TDlgFilter filter("http://www.example.com/a/");
  ExpectFrench(filter, "French-DlgFilter");
  TMimeList list;
  shell::TDlgMime mime(*list.GetItem(list.AddType("image/png", "png", 0, mcImage, true)));
  ExpectFrench(mime, "French-DlgMime");
  const QAbstractButton* cancel = filter.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel);
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(cancel->text().remove('&'), "Annuler");
}

TEST(FrenchUi, DatePickersSpeakFrench) {
  TTask task;
  task.StartKind = skOnce;
  task.StartDate = QDateTimeToDateTime(QDateTime(QDate(2026, 12, 9), QTime(8, 30)));
  TDlgTask dialog(task, {});
  dialog.StartKindCombo->setCurrentIndex(skOnce - 1);
  EXPECT_EQ(dialog.DateEdit->text(), "09/12/2026");
  EXPECT_EQ(dialog.DateEdit->calendarWidget()->locale().monthName(12), "décembre");
  ExpectFrench(dialog, "French-DlgTask");
  QDateEdit named(QDate(2026, 12, 9));
  named.setDisplayFormat("d MMMM yyyy");
  EXPECT_EQ(named.text(), "9 décembre 2026");
}

TEST(FrenchUi, TheFrameworksFileAndPrintDialogs) {
  QFileDialog files(nullptr, "Ouverture d'un Web");
  files.setOption(QFileDialog::DontUseNativeDialog);
  ExpectFrench(files, "French-QFileDialog");
  QPrinter printer;
  QPrintDialog print(&printer);
  ExpectFrench(print, "French-QPrintDialog");
  EXPECT_TRUE(Texts(print).join('|').contains("Imprimante")) << Texts(print).join('|').toStdString();
}

// File > Ouvrir of the window: each row of its list as the person reads it
// (name, size, type, date).
namespace fs = std::filesystem;

class FrenchFileDialogTest : public test::MainWindowFixture {
 protected:
  std::map<QString, QStringList> OpenDialogRows(int expected) {
    std::map<QString, QStringList> rows;
    auto* poll = new QTimer(win_.get());
    QElapsedTimer waited;
    waited.start();
    QObject::connect(poll, &QTimer::timeout, poll, [&, poll] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      dialog->setViewMode(QFileDialog::Detail);
      const auto* view = dialog->findChild<QTreeView*>("treeView");
      const QAbstractItemModel* model = view ? view->model() : nullptr;
      // The list fills in the background.
      if (model && model->rowCount(view->rootIndex()) < expected && waited.elapsed() < 10000) return;
      if (model)
        for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
          QStringList cells;
          for (int column = 0; column < 4; ++column) {
            cells << model->index(row, column, view->rootIndex()).data().toString();
            // The details read whole, their captions too, without scrolling.
            const QString caption = model->headerData(column, Qt::Horizontal).toString();
            const int need = view->fontMetrics().horizontalAdvance(std::max(cells.back(), caption, [](auto& a, auto& b) {
              return a.size() < b.size();
            }));
            if (column > 0 && view->header()->sectionSize(column) < need + 8)
              clipped_.push_back(cells.back().toStdString() + " / " + caption.toStdString());
          }
          rows[cells[0]] = cells;
        }
      if (view && view->header()->length() > view->viewport()->width()) clipped_.push_back("the list scrolls");
      poll->stop();
      poll->deleteLater();
      EXPECT_TRUE(test::SaveScreenShot(*dialog, "French-FileOpen"));
      dialog->reject();
    });
    poll->start(20);
    Probe().MenuFileOpen()->trigger();
    return rows;
  }
  std::vector<std::string> clipped_;
};

TEST_F(FrenchFileDialogTest, FileOpenListsTypesSizesAndDatesInFrench) {
  MakeWeb("dossier", server_.Url("/"));
  const fs::path old = fs::path(work_) / "ancien.web";
  test::WriteFileBytes(old, std::string(2048, 'a'));
  {
    QFile file(QString::fromStdString(old.string()));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2026, 12, 10), QTime(14, 5)), QFileDevice::FileModificationTime));
  }
  Make();
  win_->show();
  const std::map<QString, QStringList> rows = OpenDialogRows(2);
  ASSERT_EQ(rows.count("dossier"), 1u);
  ASSERT_EQ(rows.count("ancien.web"), 1u);
  EXPECT_EQ(rows.at("dossier")[2], "Dossier");
  EXPECT_EQ(rows.at("ancien.web")[1], "2,0 ko");
  EXPECT_EQ(rows.at("ancien.web")[3], "10/12/2026 14:05");
  // The system may not know the program's kind of file: it is named anyway.
  EXPECT_EQ(rows.at("ancien.web")[2].toStdString(), kWebFileDescription);
  EXPECT_EQ(clipped_, std::vector<std::string>{});
  for (const auto& [name, cells] : rows)
    for (const char* word : {"Folder", "File", "bytes", "Dec", "KiB"})
      EXPECT_FALSE(cells.join('|').contains(QLatin1String(word))) << cells.join('|').toStdString();
  EXPECT_EQ(win_->CurrentWeb(), nullptr);  // cancelled
}

}  // namespace
}  // namespace qlon
