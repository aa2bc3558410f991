#pragma once
// TWebTree: the left pane of the main window. Every node carries a page
// tag; selecting a node asks the main window (IWebTreeHost) to show the
// page of its tag.
//
//   Capture (consultation | déroulement)   18, the current web
//     Options                              10: 11, 13, 15, 16, 14, 17
//     Pages HTML                           20  when the web holds pages
//     Images                               21  images; filled on expansion
//     Images mappées                       28  one map node (29) per map
//     Sons, Vidéos, Autres documents       22, 23, 24  by category bits
//     Liens ignorés, Liens en erreur       25, 26  by the web's counters
//     Recherche                            30
//   Préférences                            4: 5, 6, 7, 8, 9
//   Travaux en différé                     33
//   Aide                                   31: intro, index, chap*.htm (32)
//
// Expansion and collapse of a folder reach the host, except while the tree
// is rebuilt or the images folder filled.
#include <filesystem>
#include <string>
#include <vector>

#include "MainTypes.h"
#include "WTree.h"

namespace qlon {

class TWeb;
class TWebFile;
class TUrlList;

// What the tree needs of the main window.
class IWebTreeHost {
 public:
  virtual ~IWebTreeHost() = default;
  // A node was selected or activated: show its page after the tree timer.
  virtual void StartTreeTimer() = 0;
  virtual void TreeExpandFolder(controls::TWTreeNode* folder, bool expanded) = 0;
};

// The caption of a page tag; empty for the tags without one.
QString PageTitle(int tag);

class TWebTreeNode : public controls::TWTreeNode {
 public:
  // Node kinds: a leaf, a folder with an image, the images folder's
  // placeholder (filled on demand), an image.
  enum NodeKind : quint8 { nkLeaf = 0, nkFolder = 1, nkOnDemand = 2, nkImage = 3 };
  TWebTreeNode(quint8 tag, quint8 nodeKind, const QString& caption, quint8 image = 0);
  quint8 NodeKind() const { return nodeKind_; }

 private:
  quint8 nodeKind_;
};

class TImageNode : public TWebTreeNode {
 public:
  explicit TImageNode(const std::string& localName);
  std::string LocalName;
};

class TMapNode : public TWebTreeNode {
 public:
  TMapNode(int mapIndex, const std::string& imageName, const std::string& mapName);
  int MapIndex;
};

class THtmlNode : public TWebTreeNode {
 public:
  THtmlNode(const QString& title, const std::string& fileName);
  std::string FileName;  // a help file's path, or a URL
};

class TWebTree : public controls::TCustomWTree {
  Q_OBJECT
 public:
  explicit TWebTree(IWebTreeHost* host, std::filesystem::path programFolder, QWidget* parent = nullptr);
  ~TWebTree() override;

  TWeb* Web() const { return web_; }
  void SetWeb(TWeb* web);
  bool CaptureRun() const { return captureRun_; }
  void SetCaptureRun(bool on);
  bool Rebuilding() const { return rebuilding_; }

  // Rebuilds the tree and selects again the page selected before. A page of
  // the web that a refresh without the web could not select (the web
  // detached for a reset, or replaced while its page stays shown) is
  // selected again once the web is back, unless another page was chosen
  // in between.
  void Refresh();
  // Selects the first node of the tag (its parents expanded); activate
  // also shows its page. False when no node has the tag.
  bool SelectPage(int tag, bool activate = false);
  // The selected node's tag; 0 when none.
  int GetPage();
  // The width that shows every page caption whole: those shown now and those
  // a web adds (not the names of its images and maps, which have hints).
  int PageCaptionsWidth();

  controls::TWTreeNode* ImagesFolder() const { return imagesFolder_; }
  // The images folder from the rows of a URL list, in the list's order.
  void FillImages(const TUrlList& list);
  // A captured image during a capture, when the images folder is open.
  void AddImage(const TWebFile& record, bool show);
  const std::vector<std::string>& ImageNames() const { return imageNames_; }

  // The help page of that file (compared ignoring case), selected; nullptr when none.
  THtmlNode* FindHelpPage(const std::string& fileName);
  const std::vector<std::filesystem::path>& HelpFiles() const { return helpFiles_; }

 protected:
  void RowMoved(int oldRow, int newRow) override;

 private:
  TWebTreeNode* add(controls::TWTreeNode* parent, quint8 tag, quint8 kind, quint8 image = 0,
                    const QString& caption = {});
  void buildWeb();
  void buildHelp();
  void folderEvent(controls::TWTreeNode* node, bool expanded);
  QString rootCaption() const;

  IWebTreeHost* host_;
  std::filesystem::path programFolder_;
  TWeb* web_ = nullptr;
  bool captureRun_ = false;
  bool rebuilding_ = false;
  bool quiet_ = false;  // selection made by the program, not by the user
  std::vector<std::filesystem::path> helpFiles_;
  std::vector<std::string> imageNames_;
  controls::TWTreeNode* imagesFolder_ = nullptr;
  controls::TWTreeNode* webRoot_ = nullptr;
  // The page lost while the tree had no web, and the node selected in its
  // stead (valid until the next rebuild).
  int lostPage_ = 0;
  controls::TWTreeNode* standIn_ = nullptr;
};

}  // namespace qlon
