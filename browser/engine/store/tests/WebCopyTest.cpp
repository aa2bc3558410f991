#include <signal.h>
#include <sys/resource.h>

#include <functional>
#include <map>

#include <gtest/gtest.h>

#include "CaptureFixture.h"
#include "DlgCopy.h"

using namespace qlon;
using qlon::test::ReadFileBytes;
using qlon::test::WriteFileBytes;

namespace {

namespace fs = std::filesystem;

struct Recorder : ICopyView {
  void SetCaption(const std::string& text) override { Caption = text; }
  void SetGauge(int maximum) override { Maximum = maximum; }
  void StepGauge() override { ++Steps; }
  void ShowFileName(const std::string& text) override { Files.push_back(text); }
  void ShowSource(const std::string& text) override { Sources.push_back(text); }
  void ProcessMessages() override {
    if (OnMessage) OnMessage();
  }
  void RunModal(TDlgCopy& dialog, const std::function<void()>& walk) override {
    ++Modal;
    Dialog = &dialog;
    walk();
    Dialog = nullptr;
  }
  TDlgCopy* Dialog = nullptr;
  std::string Caption;
  std::vector<std::string> Files, Sources;
  int Maximum = -1, Steps = 0, Modal = 0;
  std::function<void()> OnMessage;
};

// Every entry below the folder: files with their bytes, folders as "<dir>",
// symbolic links as "<link>".
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> out;
  if (!fs::exists(folder)) return out;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = it->path().lexically_relative(folder).generic_string();
    if (it->is_symlink())
      out[name] = "<link>";
    else if (it->is_directory())
      out[name] = "<dir>";
    else
      out[name] = ReadFileBytes(it->path());
  }
  return out;
}

class WebCopyTest : public ::testing::Test {
 protected:
  WebCopyTest() {
    cap_.web.SetTitle("Été à Paris");
    cap_.Page("http://a.example/", "a.example/index.htm", "<html>accueil</html>");
    cap_.Page("http://a.example/dossier%20%C3%A9/page%20%C3%A0.htm", "a.example/dossier é/page à.htm",
              "<html>page à</html>");
    cap_.Add("http://a.example/img/deep/pic.gif", fsRetrieved, "image/gif", "a.example/img/deep/pic.gif",
             std::string("GIF89a\0\1\2", 9));
    cap_.Add("http://a.example/big.bin", fsRetrieved, "application/octet-stream", "a.example/big.bin",
             std::string(300000, 'x'));
    cap_.Add("http://a.example/update.htm", fsToUpdate, "text/html", "a.example/update.htm", "old copy");
    cap_.Failed("http://a.example/missing.htm", fsNotFound, 404);
    cap_.Add("http://a.example/filtered.htm", fsFilteredUser, "", "", "");
    // Retrieved, but its file is gone: skipped.
    cap_.Add("http://a.example/gone.htm", fsRetrieved, "text/html", "a.example/gone.htm", "x");
    fs::remove(cap_.Folder() / "a.example/gone.htm");
    WriteFileBytes(cap_.Folder() / "_Accueil.htm", "<html>sommaire</html>");
    WriteFileBytes(cap_.Folder() / "Index/_ixh0.htm", "<html>index</html>");
    WriteFileBytes(cap_.Folder() / "Index/fond.gif", "GIF89a");
    WriteFileBytes(cap_.Folder() / "thumb/a.example/index.gif", "GIF89a thumb");
    // The zones drawn on an image map, in the map's own file.
    cap_.web.Maps.AddMap("http://a.example/img/deep/pic.gif", "a.example/img/deep/pic.gif", "a.example/carte.map",
                         "", "http://a.example/carte", "http://a.example/", "");
    WriteFileBytes(cap_.Folder() / "a.example/carte.map", "rect http://a.example/x 0,0 10,10\n");
    EXPECT_TRUE(cap_.web.Save());
    records_ = cap_.web.GetCount();
    before_ = Snapshot(cap_.Folder());
  }

  fs::path Dest(const std::string& name = "copie ü") const { return cap_.dir.path() / name; }

  // The capture at the folder opens with every record, and every retrieved
  // record's file holds the bytes of the source's.
  void ExpectCapture(const fs::path& folder) {
    TWeb copy;
    ASSERT_EQ(copy.Open(folder / "local.web"), wlOk);
    EXPECT_EQ(copy.GetTitle(), "Été à Paris");
    EXPECT_EQ(copy.GetCount(), records_);
    int files = 0;
    copy.ForEach([&](TWebFile& r) {
      if (r.IsRetrieved() && r.GetLocalName() != "a.example/gone.htm") {
        ++files;
        EXPECT_EQ(ReadFileBytes(r.GetLocalPath()), before_.at(r.GetLocalName())) << r.GetLocalName();
      }
      return true;
    });
    EXPECT_EQ(files, 5);
    copy.Close();
  }

  void ExpectSourceIntact() {
    EXPECT_EQ(Snapshot(cap_.Folder()), before_);
    ASSERT_TRUE(cap_.web.IsFileOpen());
    EXPECT_EQ(cap_.web.Path(), cap_.Folder() / "local.web");
    EXPECT_EQ(cap_.web.GetCount(), records_);
  }

  qlon::test::TestCapture cap_;
  uint32_t records_ = 0;
  std::map<std::string, std::string> before_;
};

TEST_F(WebCopyTest, CopyGivesACaptureThatOpensWithEveryRecordAndFile) {
  Recorder view;
  std::vector<std::string> events;
  ASSERT_TRUE(cap_.web.CopyTo(Dest(), [&](TWebFile& r) { events.push_back(r.GetLocalName()); }, &view));

  ExpectCapture(Dest());
  const auto copied = Snapshot(Dest());
  // The index files come along, with the thumbnails they show and the
  // image map's zones.
  EXPECT_EQ(copied.at("_Accueil.htm"), "<html>sommaire</html>");
  EXPECT_EQ(copied.at("Index/_ixh0.htm"), "<html>index</html>");
  EXPECT_EQ(copied.at("Index/fond.gif"), "GIF89a");
  EXPECT_EQ(copied.at("thumb/a.example/index.gif"), "GIF89a thumb");
  EXPECT_EQ(copied.at("a.example/carte.map"), before_.at("a.example/carte.map"));
  EXPECT_FALSE(copied.count("a.example/gone.htm"));
  ExpectSourceIntact();
  EXPECT_EQ(fs::last_write_time(Dest() / "a.example/big.bin"),
            fs::last_write_time(cap_.Folder() / "a.example/big.bin"));

  EXPECT_EQ(view.Modal, 1);
  EXPECT_EQ(view.Caption, "Copier un Web...");
  EXPECT_EQ(view.Maximum, int(records_));
  EXPECT_EQ(view.Steps, int(records_));  // every record walked, retrieved or not
  EXPECT_EQ(events.size(), 5u);
  EXPECT_EQ(view.Files.size(), 5u);
  EXPECT_NE(std::find(view.Files.begin(), view.Files.end(), "page à.htm"), view.Files.end());
  EXPECT_NE(std::find(view.Sources.begin(), view.Sources.end(), "De dossier é vers copie ü"), view.Sources.end());
  EXPECT_NE(std::find(view.Sources.begin(), view.Sources.end(), "De deep vers copie ü"), view.Sources.end());

  // A second copy to the same place is refused: it holds a capture now.
  EXPECT_THROW(cap_.web.CopyTo(Dest()), ECopyWeb);
  EXPECT_EQ(Snapshot(Dest()), copied);
}

TEST_F(WebCopyTest, MoveReopensAtTheDestinationAndRemovesTheSourceLast) {
  fs::create_symlink("/etc", cap_.Folder() / "lien");
  Recorder view;
  // A missing destination, given with its trailing "/".
  ASSERT_TRUE(cap_.web.MoveTo(Dest("déplacé/ici") / "", {}, &view));
  EXPECT_EQ(view.Caption, "Déplacer un Web...");
  ASSERT_TRUE(cap_.web.IsFileOpen());
  EXPECT_EQ(cap_.web.Path(), Dest("déplacé/ici") / "local.web");
  EXPECT_EQ(cap_.web.GetCount(), records_);
  TWebFile page(&cap_.web);
  ASSERT_TRUE(cap_.web.FindUrl("http://a.example/dossier%20%C3%A9/page%20%C3%A0.htm", page));
  EXPECT_EQ(ReadFileBytes(page.GetLocalPath()), "<html>page à</html>");
  cap_.web.Close();

  ExpectCapture(Dest("déplacé/ici"));
  // The whole folder moved, thumbnails included; only what could not be
  // copied (the link) is left where it was.
  const auto moved = Snapshot(Dest("déplacé/ici"));
  for (const auto& [name, bytes] : before_) {
    if (name == "local.web") continue;
    ASSERT_TRUE(moved.count(name)) << name;
    EXPECT_EQ(moved.at(name), bytes) << name;
  }
  EXPECT_EQ(Snapshot(cap_.Folder()), (std::map<std::string, std::string>{{"lien", "<link>"}}));
  EXPECT_TRUE(fs::exists("/etc"));

  // Without anything left behind the capture folder itself goes.
  TWeb again;
  ASSERT_EQ(again.Open(Dest("déplacé/ici") / "local.web"), wlOk);
  ASSERT_TRUE(again.MoveTo(Dest("back")));
  EXPECT_FALSE(fs::exists(Dest("déplacé/ici")));
  EXPECT_TRUE(fs::exists(Dest("déplacé")));  // not the capture's
  EXPECT_EQ(again.Path(), Dest("back") / "local.web");
}

TEST_F(WebCopyTest, RefusedDestinationsWriteNothing) {
  fs::create_directories(Dest("other"));
  WriteFileBytes(Dest("other") / "Autre.WEB", "MQLON");
  WriteFileBytes(Dest("plain file"), "data");
  const auto outside = Snapshot(cap_.dir.path());
  for (const fs::path& d : {cap_.Folder(), cap_.Folder() / "sub", cap_.Folder() / "a.example" / "x",
                            cap_.Folder() / ".." / "cap" / "y", cap_.dir.path(), Dest("other"), Dest("plain file")}) {
    EXPECT_THROW(cap_.web.CopyTo(d), ECopyWeb) << d;
    EXPECT_THROW(cap_.web.MoveTo(d), ECopyWeb) << d;
  }
  EXPECT_THROW(cap_.web.CopyTo(""), ECopyWeb);
  EXPECT_EQ(Snapshot(cap_.dir.path()), outside);
  ExpectSourceIntact();

  TWeb closed;
  EXPECT_THROW(closed.CopyTo(Dest()), ECopyWeb);
  EXPECT_FALSE(fs::exists(Dest()));
}

TEST_F(WebCopyTest, LinkInTheDestinationIsNotFollowed) {
  // A folder the copy needs is a link to elsewhere: nothing is written there.
  const fs::path elsewhere = cap_.dir.path() / "elsewhere";
  fs::create_directories(elsewhere);
  fs::create_directories(Dest());
  fs::create_directory_symlink(elsewhere, Dest() / "a.example");
  for (bool move : {false, true}) {
    EXPECT_THROW(move ? cap_.web.MoveTo(Dest()) : cap_.web.CopyTo(Dest()), ECopyWeb);
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_EQ(Snapshot(Dest()), (std::map<std::string, std::string>{{"a.example", "<link>"}}));
    ExpectSourceIntact();
  }
}

TEST_F(WebCopyTest, FullDiskHalfWayRemovesThePartialCopy) {
  // The 300 kB file cannot be written whole: a file-size limit stands in for a
  // full disk, with the same failing write.
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  for (bool move : {false, true}) {
    rlimit small = old;
    small.rlim_cur = 100000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    try {
      move ? cap_.web.MoveTo(Dest("pleine/disque")) : cap_.web.CopyTo(Dest("pleine/disque"));
      ADD_FAILURE() << "the copy succeeded";
    } catch (const ECopyWeb& e) {
      EXPECT_NE(std::string(e.what()).find("big.bin"), std::string::npos) << e.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(fs::exists(cap_.dir.path() / "pleine")) << "move " << move;
    ExpectSourceIntact();
  }
  // The capture is still usable, and a later copy works.
  EXPECT_TRUE(cap_.web.Save());
  ASSERT_TRUE(cap_.web.CopyTo(Dest()));
  ExpectCapture(Dest());
}

TEST_F(WebCopyTest, UnreadableFileHalfWayLosesNothing) {
  // The file turns into a folder just before it is copied: its read fails.
  const fs::path victim = cap_.Folder() / "a.example/img/deep/pic.gif";
  const fs::path aside = cap_.dir.path() / "aside";
  fs::create_directories(Dest("existing"));
  WriteFileBytes(Dest("existing") / "keep.txt", "mine");
  for (bool move : {false, true}) {
    bool swapped = false;
    auto event = [&](TWebFile& r) {
      if (r.GetLocalName() != "a.example/img/deep/pic.gif") return;
      fs::rename(victim, aside);
      fs::create_directory(victim);
      swapped = true;
    };
    try {
      move ? cap_.web.MoveTo(Dest("existing"), event) : cap_.web.CopyTo(Dest("existing"), event);
      ADD_FAILURE() << "the copy succeeded";
    } catch (const ECopyWeb& e) {
      EXPECT_NE(std::string(e.what()).find("Impossible de lire"), std::string::npos) << e.what();
    }
    ASSERT_TRUE(swapped);
    fs::remove(victim);
    fs::rename(aside, victim);
    // The destination is as it was, the folder it already had included.
    EXPECT_EQ(Snapshot(Dest("existing")), (std::map<std::string, std::string>{{"keep.txt", "mine"}}));
    ExpectSourceIntact();
  }
}

TEST_F(WebCopyTest, CaptureOpenForWritingElsewhereIsRefused) {
  const fs::path file = cap_.web.Path();
  EXPECT_THROW(CopyWebFile(file, Dest(), true), ECopyWeb);
  EXPECT_FALSE(fs::exists(Dest()));
  ExpectSourceIntact();
  EXPECT_THROW(CopyWebFile(cap_.Folder() / "_Accueil.htm", Dest(), false), ECopyWeb);

  cap_.web.Close();
  ASSERT_TRUE(CopyWebFile(file, Dest(), true));
  ExpectCapture(Dest());
  EXPECT_FALSE(fs::exists(cap_.Folder()));
}

TEST_F(WebCopyTest, CancelledCopyKeepsCaptureFileAndCancelledMoveKeepsNothing) {
  // Cancel is pressed while the third record is walked.
  Recorder view;
  int messages = 0;
  view.OnMessage = [&] {
    if (++messages == 3) view.Dialog->Cancel();
  };
  ASSERT_TRUE(cap_.web.CopyTo(Dest(), {}, &view));
  EXPECT_EQ(view.Steps, 2);
  const auto copied = Snapshot(Dest());
  EXPECT_TRUE(copied.count("local.web"));
  EXPECT_TRUE(copied.count("_Accueil.htm"));
  EXPECT_TRUE(copied.count("Index/_ixh0.htm"));
  EXPECT_TRUE(copied.count("thumb/a.example/index.gif"));
  TWeb partial;
  ASSERT_EQ(partial.Open(Dest() / "local.web"), wlOk);
  EXPECT_EQ(partial.GetCount(), records_);
  partial.Close();

  messages = 0;
  view.Steps = 0;
  EXPECT_FALSE(cap_.web.MoveTo(Dest("moved"), {}, &view));
  EXPECT_EQ(view.Steps, 2);
  EXPECT_FALSE(fs::exists(Dest("moved")));
  ExpectSourceIntact();
}

TEST(DlgCopyTest, WalkStepsCancelAndLabels) {
  EXPECT_EQ(LastPathComponent("/a/b/c/"), "c");
  EXPECT_EQ(LastPathComponent("/a/b/c"), "c");
  EXPECT_EQ(LastPathComponent("c:\\x\\y\\"), "y");
  EXPECT_EQ(LastPathComponent("plain"), "plain");
  EXPECT_EQ(LastPathComponent("/"), "");

  Recorder view;
  TDlgCopy dialog(&view);
  dialog.SetDestination("/tmp/Cible/");
  dialog.ShowSource("/x/Source");
  ASSERT_EQ(view.Sources.size(), 1u);
  EXPECT_EQ(view.Sources[0], "De Source vers Cible");

  // Ten rows; Cancel arrives with the messages before the fourth.
  std::vector<std::unique_ptr<TWebFile>> rows;
  for (int i = 0; i < 10; ++i) rows.push_back(std::make_unique<TWebFile>(nullptr));
  int seen = 0, messages = 0;
  view.OnMessage = [&] {
    if (++messages == 4) dialog.Cancel();
  };
  const bool complete = dialog.Execute(
      10, [&](const std::function<bool(TWebFile&)>& step) {
        for (auto& r : rows)
          if (!step(*r)) break;
      },
      [&](TWebFile&) { return ++seen, true; });
  EXPECT_FALSE(complete);
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(dialog.Position(), 3);
  EXPECT_EQ(view.Maximum, 10);
  EXPECT_EQ(view.Steps, 3);

  // An item's error leaves the modal window first, then reaches the caller.
  TDlgCopy failing(&view);
  EXPECT_THROW(failing.Execute(
                   1, [&](const std::function<bool(TWebFile&)>& step) { step(*rows[0]); },
                   [](TWebFile&) -> bool { throw ECopyWeb("boom"); }),
               ECopyWeb);
}

}  // namespace
