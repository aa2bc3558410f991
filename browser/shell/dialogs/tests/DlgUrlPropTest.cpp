#include "DlgUrlProp.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <cstring>

#include "CaptureFixture.h"
#include "MessageBox.h"
#include "ScreenShot.h"
#include "Utils.h"

namespace qlon::shell {
namespace {

using platform::ScriptedMessageBoxes;
using test::CaptureFixture;

class DlgUrlPropTest : public ::testing::Test {
 protected:
  // The stored bytes of a record, or empty when it is not in the capture.
  std::string Stored(TWeb& web, const std::string& url) {
    TWebFile r(&web);
    if (!web.FindRecord(url, r)) return {};
    return std::string(reinterpret_cast<const char*>(r.Record()), r.Length());
  }
  // Saves, closes and opens the capture file again.
  void Reopen(TWeb& reread) {
    ASSERT_TRUE(capture.web.Save());
    const auto path = capture.web.Path();
    capture.web.Close();
    ASSERT_EQ(reread.Open(path), wlOk);
  }

  CaptureFixture capture;
};

TEST_F(DlgUrlPropTest, ShowsTheRecord) {
  TWebFile r(&capture.web);
  ASSERT_TRUE(capture.web.FindUrl(CaptureFixture::Url("a.htm"), r));
  TDlgUrlProp dlg(capture.web, r);
  EXPECT_EQ(dlg.UrlEdit->text().toStdString(), CaptureFixture::Url("a.htm"));
  EXPECT_EQ(dlg.TitleLabel->text(), "Alpha");
  EXPECT_EQ(dlg.StateLabel->text(), QString::fromUtf8("Récupéré"));
  EXPECT_EQ(dlg.MimeCombo->currentText(), "text/html");
  EXPECT_EQ(dlg.LocalNameEdit->text(), "a.htm");
  EXPECT_EQ(dlg.LocalPathLabel->text().toStdString(), (capture.Folder() / "a.htm").string());
  EXPECT_FALSE(dlg.LocalNameEdit->isReadOnly());
  EXPECT_TRUE(test::SaveScreenShot(dlg, "DlgUrlProp"));
}

TEST_F(DlgUrlPropTest, EditsAreWrittenToTheCaptureFile) {
  const std::string url = CaptureFixture::Url("notes.txt");
  const QDateTime date(QDate(2025, 7, 14), QTime(9, 30, 11));
  TWebFile r(&capture.web);
  ASSERT_TRUE(capture.web.FindUrl(url, r));
  TDlgUrlProp dlg(capture.web, r);
  dlg.WebLevelSpin->setValue(3);
  dlg.LinkLevelSpin->setValue(7);
  dlg.DateEdit->setDateTime(date);
  dlg.MimeCombo->setEditText("text/x-notes");
  dlg.UserEdit->setText("bob");
  dlg.PasswordEdit->setText("s3cret");
  dlg.LocalNameEdit->setText("docs/notes.txt");
  dlg.OKBtn->click();
  ASSERT_EQ(dlg.result(), QDialog::Accepted);

  TWeb reread;
  Reopen(reread);
  TWebFile back(&reread);
  ASSERT_TRUE(reread.FindRecord(url, back));
  EXPECT_EQ(back.GetWebLevel(), 3);
  EXPECT_EQ(back.GetLinkLevel(), 7);
  EXPECT_EQ(DateTimeToQDateTime(back.GetFileDate()), date);  // the odd second too
  EXPECT_EQ(GetContentType(back), "text/x-notes");
  EXPECT_EQ(back.GetLocalName(), "docs/notes.txt");
  EXPECT_EQ(back.GetState(), fsRetrieved);
  std::string user, password;
  ASSERT_TRUE(back.GetIdentity(user, password));
  EXPECT_EQ(user, "bob");
  EXPECT_EQ(password, "s3cret");
  reread.Close();
}

TEST_F(DlgUrlPropTest, ANewUrlMovesTheRecordAndKeepsEverythingElse) {
  TWeb& web = capture.web;
  const std::string from = CaptureFixture::Url("c.htm");
  const std::string to = "http://other.example/dir/c2.htm";
  web.ToCapture.Add(from, 1);
  const uint32_t count = web.GetCount();
  TWebFile r(&web);
  ASSERT_TRUE(web.FindUrl(from, r));
  const std::string before = Stored(web, from);
  TDlgUrlProp dlg(web, r);
  dlg.UrlEdit->setText(QString::fromStdString(" " + to + " "));
  dlg.OKBtn->click();
  ASSERT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.Url(), to);
  EXPECT_TRUE(Stored(web, from).empty());
  EXPECT_EQ(web.GetCount(), count);
  EXPECT_TRUE(web.ToCapture.Contains(to));
  EXPECT_FALSE(web.ToCapture.Contains(from));

  TWeb reread;
  Reopen(reread);
  TWebFile back(&reread);
  ASSERT_TRUE(reread.FindRecord(to, back));
  EXPECT_EQ(back.GetState(), fsToCapture);
  // The fields after the keys are those of the old record.
  EXPECT_EQ(std::memcmp(back.Record() + 10, before.data() + 10, 18), 0);
  reread.Close();
}

TEST_F(DlgUrlPropTest, BadInputIsRefusedAndTheRecordStaysAsItWas) {
  TWeb& web = capture.web;
  const std::string url = CaptureFixture::Url("a.htm");
  const std::pair<const char*, std::function<void(TDlgUrlProp&)>> cases[] = {
      {"empty URL", [](TDlgUrlProp& d) { d.UrlEdit->clear(); }},
      {"no protocol", [](TDlgUrlProp& d) { d.UrlEdit->setText("h.example/a.htm"); }},
      {"blank inside", [](TDlgUrlProp& d) { d.UrlEdit->setText("http://h.example/a b.htm"); }},
      {"no host", [](TDlgUrlProp& d) { d.UrlEdit->setText("http:///a.htm"); }},
      {"URL of another record",
       [](TDlgUrlProp& d) { d.UrlEdit->setText(QString::fromStdString(CaptureFixture::Url("b.htm"))); }},
      {"file outside the folder", [](TDlgUrlProp& d) { d.LocalNameEdit->setText("../../etc/passwd"); }},
      {"absolute file", [](TDlgUrlProp& d) { d.LocalNameEdit->setText("/etc/passwd"); }},
      {"MIME type", [](TDlgUrlProp& d) { d.MimeCombo->setEditText("pas un type"); }},
      {"long login", [](TDlgUrlProp& d) { d.UserEdit->setText(QString(300, 'u')); }},
  };
  const std::string before = Stored(web, url);
  const std::string other = Stored(web, CaptureFixture::Url("b.htm"));
  const uint32_t count = web.GetCount();
  for (const auto& [what, spoil] : cases) {
    ScriptedMessageBoxes boxes;
    TWebFile r(&web);
    ASSERT_TRUE(web.FindUrl(url, r));
    TDlgUrlProp dlg(web, r);
    dlg.WebLevelSpin->setValue(9);  // a sound edit beside the bad one
    spoil(dlg);
    dlg.OKBtn->click();
    EXPECT_NE(dlg.result(), QDialog::Accepted) << what;
    EXPECT_EQ(boxes.shown.size(), 1u) << what;
    EXPECT_EQ(Stored(web, url), before) << what;
    EXPECT_EQ(Stored(web, CaptureFixture::Url("b.htm")), other) << what;
    EXPECT_EQ(web.GetCount(), count) << what;
    EXPECT_EQ(dlg.Url(), url);
  }
}

TEST_F(DlgUrlPropTest, ARecordGoneMeanwhileIsNotWritten) {
  ScriptedMessageBoxes boxes;
  const std::string url = CaptureFixture::Url("a.htm");
  TWebFile r(&capture.web);
  ASSERT_TRUE(capture.web.FindUrl(url, r));
  TDlgUrlProp dlg(capture.web, r);
  ASSERT_TRUE(capture.web.DeleteUrl(url));
  EXPECT_FALSE(dlg.Apply());
  EXPECT_EQ(boxes.shown.size(), 1u);
  TWebFile again(&capture.web);
  EXPECT_FALSE(capture.web.FindRecord(url, again));
}

}  // namespace
}  // namespace qlon::shell
