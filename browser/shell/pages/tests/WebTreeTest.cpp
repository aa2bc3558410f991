#include "WebTree.h"

#include <gtest/gtest.h>

#include "CaptureFixture.h"
#include "UrlListUnit.h"

namespace qlon {
namespace {

using controls::TWTreeNode;
using test::CaptureFixture;

class RecordingHost : public IWebTreeHost {
 public:
  void StartTreeTimer() override { ++timers; }
  void TreeExpandFolder(TWTreeNode* folder, bool expanded) override {
    events.push_back(std::to_string(folder->tag) + (expanded ? "+" : "-"));
    if (expanded && onExpand) onExpand(folder);
  }
  int timers = 0;
  std::vector<std::string> events;
  std::function<void(TWTreeNode*)> onExpand;
};

// "tag caption" of each child, in order.
std::vector<std::string> Children(TWTreeNode* n) {
  std::vector<std::string> out;
  for (int i = 0; i < n->ChildCount(); ++i)
    out.push_back(std::to_string(n->Child(i)->tag) + " " + n->Child(i)->text.toStdString());
  return out;
}

class WebTreeTest : public ::testing::Test, public CaptureFixture {
 protected:
  WebTreeTest() {
    web.MimeCategorySet = 1u << mcHtml | 1u << mcImage | 1u << mcTexte;
    web.ErrorCount = 3;
    const auto help = dir_.path() / "prog" / "help";
    test::WriteFileBytes(help / "intro.htm", "<html><head><title>Bienvenue</title></head></html>");
    test::WriteFileBytes(help / "Chap10.htm", "<title>Dix</title>");
    test::WriteFileBytes(help / "chap2.htm", "<title>Deux &amp; demi</title>");
    test::WriteFileBytes(help / "INDEX.htm", "<title>Sommaire</title>");
    test::WriteFileBytes(help / "other.htm", "<title>Autre</title>");
    tree.Refresh();  // the help files exist now
  }
  TWTreeNode* Top(int tag) {
    for (int i = 0; i < tree.Root()->ChildCount(); ++i)
      if (tree.Root()->Child(i)->tag == tag) return tree.Root()->Child(i);
    return nullptr;
  }
  RecordingHost host;
  TWebTree tree{&host, dir_.path() / "prog"};
};

TEST_F(WebTreeTest, WithoutAWebOnlyTheProgramPages) {
  EXPECT_EQ(Children(tree.Root()),
            (std::vector<std::string>{"4 Préférences", "33 Travaux en différé", "31 Aide"}));
  EXPECT_EQ(Children(Top(4)), (std::vector<std::string>{"5 Serveur proxy", "6 Navigateur Web", "7 Connexion Internet",
                                                        "8 Compte rendu", "9 Répertoires"}));
  EXPECT_EQ(tree.ImagesFolder(), nullptr);
}

TEST_F(WebTreeTest, WebFoldersFollowTheCategoriesItHolds) {
  tree.SetWeb(&web);
  EXPECT_EQ(Children(tree.Root()).front(), "18 Capture (consultation)");
  EXPECT_EQ(Children(tree.Root())[1], "30 Recherche");
  TWTreeNode* root = Top(tpWeb);
  EXPECT_EQ(Children(root), (std::vector<std::string>{"10 Options", "20 Pages HTML", "21 Images", "28 Images mappées",
                                                      "24 Autres documents", "26 Liens en erreur"}));
  EXPECT_EQ(Children(root->Child(0)),
            (std::vector<std::string>{"11 Répertoires", "13 Exploration", "15 Types de fichiers",
                                      "16 Limitations de taille", "14 Filtres", "17 Autres options"}));
  EXPECT_EQ(Children(root->Child(3)), (std::vector<std::string>{"29 pic.gif (pic.map)"}));
  // The images wait behind a placeholder until the folder opens.
  ASSERT_NE(tree.ImagesFolder(), nullptr);
  EXPECT_EQ(tree.ImagesFolder()->ChildCount(), 1);
  EXPECT_EQ(tree.ImagesFolder()->Child(0)->tag, tpImage);
  EXPECT_FALSE(tree.ImagesFolder()->GetExpanded());

  web.MimeCategorySet = 1u << mcSon | 1u << mcVideo;
  web.ErrorCount = 0;
  web.FilteredCount = 2;
  web.Maps.Clear();
  tree.Refresh();
  EXPECT_EQ(Children(Top(tpWeb)),
            (std::vector<std::string>{"10 Options", "22 Sons", "23 Vidéos", "25 Liens ignorés"}));
  EXPECT_EQ(tree.ImagesFolder(), nullptr);
  EXPECT_TRUE(host.events.empty());  // a rebuild tells the host nothing
}

TEST_F(WebTreeTest, RootCaptionFollowsTheCaptureRun) {
  tree.SetWeb(&web);
  tree.SetCaptureRun(true);
  EXPECT_EQ(Top(tpWeb)->text, "Capture (déroulement)");
  tree.Refresh();
  EXPECT_EQ(Top(tpWeb)->text, "Capture (déroulement)");
  tree.SetCaptureRun(false);
  EXPECT_EQ(Top(tpWeb)->text, "Capture (consultation)");
}

TEST_F(WebTreeTest, RefreshKeepsTheSelectedPage) {
  tree.SetWeb(&web);
  ASSERT_TRUE(tree.SelectPage(16));
  EXPECT_EQ(tree.GetPage(), 16);
  EXPECT_EQ(host.timers, 0);  // selecting from the program shows nothing yet
  tree.Refresh();
  EXPECT_EQ(tree.GetPage(), 16);
  EXPECT_TRUE(Top(tpWeb)->Child(0)->GetExpanded());
  EXPECT_TRUE(tree.SelectPage(tpSearch, true));
  EXPECT_EQ(host.timers, 1);
  EXPECT_FALSE(tree.SelectPage(99));
  EXPECT_EQ(tree.GetPage(), tpSearch);
  // The user moving the selection starts the timer.
  tree.SetRow(tree.Row() + 1);
  EXPECT_EQ(host.timers, 2);
  // A page that the new web lacks falls back to the first node.
  ASSERT_TRUE(tree.SelectPage(tpErrors));
  web.ErrorCount = 0;
  tree.Refresh();
  EXPECT_EQ(tree.GetPage(), tpWeb);
}

TEST_F(WebTreeTest, ImagesFolderFillsFromTheUrlListOnExpansion) {
  tree.SetWeb(&web);
  TUrlList images;
  images.SetWeb(&web);
  images.Fill(usImages);
  images.SetSort(skSize, soDescending);
  host.onExpand = [&](TWTreeNode* folder) {
    if (folder == tree.ImagesFolder()) tree.FillImages(images);
  };
  tree.ImagesFolder()->SetExpanded(true);
  EXPECT_EQ(host.events, (std::vector<std::string>{"21+"}));  // the fill itself is not reported
  EXPECT_EQ(Children(tree.ImagesFolder()), (std::vector<std::string>{"27 big.jpg", "27 pic.gif"}));
  EXPECT_EQ(tree.ImageNames(), (std::vector<std::string>{"big.jpg", "pic.gif"}));
  // Re-sorted list, same folder order as the list; the selected image stays.
  tree.Model().SelectNode(tree.ImagesFolder()->Child(1));
  images.SetOrder(soAscending);
  tree.FillImages(images);
  EXPECT_EQ(Children(tree.ImagesFolder()), (std::vector<std::string>{"27 pic.gif", "27 big.jpg"}));
  EXPECT_EQ(tree.GetSelectedNode()->text, "pic.gif");
  // Images not captured yet stay out.
  Change("big.jpg", [](TWebFile& r) { r.SetState(fsToCapture); });
  tree.FillImages(images);
  EXPECT_EQ(Children(tree.ImagesFolder()), (std::vector<std::string>{"27 pic.gif"}));
  tree.ImagesFolder()->SetExpanded(false);
  EXPECT_EQ(host.events.back(), "21-");
}

TEST_F(WebTreeTest, ImagesAddedDuringACaptureOnlyInAnOpenFolder) {
  tree.SetWeb(&web);
  TWebFile r(&web);
  ASSERT_TRUE(web.FindUrl(Url("pic.gif"), r));
  tree.AddImage(r, true);
  EXPECT_EQ(tree.ImagesFolder()->ChildCount(), 1);  // the placeholder only
  TUrlList empty;
  empty.SetWeb(&web);
  tree.FillImages(empty);
  tree.AddImage(r, false);
  tree.AddImage(r, true);
  EXPECT_EQ(tree.ImagesFolder()->ChildCount(), 2);
  EXPECT_EQ(tree.GetSelectedNode(), tree.ImagesFolder()->Child(1));
  EXPECT_EQ(tree.ImageNames().size(), 2u);
}

TEST_F(WebTreeTest, HelpPagesByTitleIndexFirst) {
  EXPECT_EQ(Children(Top(tpHelp)), (std::vector<std::string>{"32 Bienvenue", "32 Sommaire", "32 Deux & demi",
                                                             "32 Dix"}));
  THtmlNode* page = tree.FindHelpPage("CHAP2.HTM");
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->text, "Deux & demi");
  EXPECT_EQ(tree.GetSelectedNode(), page);
  EXPECT_EQ(tree.FindHelpPage("other.htm"), nullptr);
  EXPECT_EQ(tree.HelpFiles().size(), 4u);
}

}  // namespace
}  // namespace qlon
