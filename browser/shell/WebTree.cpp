#include "WebTree.h"

#include <algorithm>
#include <system_error>

#include "HtmlParser.h"
#include "Mime.h"
#include "Texts.h"
#include "UrlListUnit.h"
#include "Web.h"
#include "WebFile.h"

namespace qlon {

using controls::TWTreeNode;
namespace fs = std::filesystem;

namespace {

// The tree base's drawing kind for a node kind: folders show their image,
// images the icon of their file type.
quint8 BaseKind(quint8 nodeKind) {
  switch (nodeKind) {
    case TWebTreeNode::nkFolder:
      return TWTreeNode::knFolder;
    case TWebTreeNode::nkImage:
      return TWTreeNode::knFile;
    default:
      return TWTreeNode::knText;
  }
}

// The TITLE of a help page (the first ten tags), else its file name.
QString HelpTitle(const fs::path& file) {
  std::string text, tag;
  if (FindTagTextInFile(file, "TITLE", 10, text, tag)) {
    std::string decoded;
    DecodeHtmlEntities(text, false, decoded);
    const QString title = QString::fromStdString(decoded).simplified();
    if (!title.isEmpty()) return title;
  }
  return QString::fromStdString(file.filename().string());
}

bool IsChapterFile(const std::string& name) {
  const QString n = QString::fromStdString(name).toLower();
  return n.startsWith("chap") && n.endsWith(".htm");
}

}  // namespace

QString PageTitle(int tag) { return QString::fromUtf8(TextAt(kPageTitles, tag).data(), TextAt(kPageTitles, tag).size()); }

TWebTreeNode::TWebTreeNode(quint8 tag, quint8 nodeKind, const QString& caption, quint8 image)
    : TWTreeNode(caption, BaseKind(nodeKind)), nodeKind_(nodeKind) {
  this->tag = tag;
  this->image = image;
}

TImageNode::TImageNode(const std::string& localName)
    : TWebTreeNode(tpImage, nkImage, QString::fromStdString(localName)), LocalName(localName) {}

TMapNode::TMapNode(int mapIndex, const std::string& imageName, const std::string& mapName)
    : TWebTreeNode(tpMap, nkLeaf, QString::fromStdString(imageName + " (" + mapName + ")")), MapIndex(mapIndex) {}

THtmlNode::THtmlNode(const QString& title, const std::string& fileName)
    : TWebTreeNode(tpHelpPage, nkLeaf, title), FileName(fileName) {}

TWebTree::TWebTree(IWebTreeHost* host, fs::path programFolder, QWidget* parent)
    : TCustomWTree(parent), host_(host), programFolder_(std::move(programFolder)) {
  setObjectName("WebTree");
  OnAfterExpand = [this](TCustomWTree*, TWTreeNode* n) { folderEvent(n, true); };
  OnAfterCollapse = [this](TCustomWTree*, TWTreeNode* n) { folderEvent(n, false); };
  Refresh();
}

TWebTree::~TWebTree() {
  OnAfterExpand = nullptr;
  OnAfterCollapse = nullptr;
}

void TWebTree::folderEvent(TWTreeNode* node, bool expanded) {
  if (rebuilding_ || !host_) return;
  host_->TreeExpandFolder(node, expanded);
}

void TWebTree::RowMoved(int oldRow, int newRow) {
  TCustomWTree::RowMoved(oldRow, newRow);
  if (rebuilding_ || quiet_) return;
  lostPage_ = 0;  // the user's choice wins
  if (host_) host_->StartTreeTimer();
}

void TWebTree::SetWeb(TWeb* web) {
  web_ = web;
  Refresh();
}

QString TWebTree::rootCaption() const { return PageTitle(captureRun_ ? tpWebRunning : tpWeb); }

void TWebTree::SetCaptureRun(bool on) {
  if (on == captureRun_) return;
  captureRun_ = on;
  if (webRoot_) webRoot_->SetText(rootCaption());
}

TWebTreeNode* TWebTree::add(TWTreeNode* parent, quint8 tag, quint8 kind, quint8 image, const QString& caption) {
  auto node = std::make_unique<TWebTreeNode>(tag, kind, caption.isEmpty() ? PageTitle(tag) : caption, image);
  TWebTreeNode* raw = node.get();
  AddNode(parent, std::move(node));
  return raw;
}

void TWebTree::buildWeb() {
  webRoot_ = add(nullptr, tpWeb, TWebTreeNode::nkFolder, 5, rootCaption());
  TWTreeNode* options = add(webRoot_, tpOptions, TWebTreeNode::nkFolder, 4);
  for (quint8 tag : {tpCaptureFolder, tpExploration, tpFileTypes, tpSizeLimits, tpFilters, tpOtherOptions})
    add(options, tag, TWebTreeNode::nkLeaf);
  const unsigned bits = web_->MimeCategorySet;
  if (bits & (1u << mcHtml)) add(webRoot_, tpPages, TWebTreeNode::nkFolder, 6);
  if (bits & (1u << mcImage)) {
    imagesFolder_ = add(webRoot_, tpImages, TWebTreeNode::nkFolder, 11);
    add(imagesFolder_, tpImage, TWebTreeNode::nkOnDemand, 0, "...");
  }
  if (web_->Maps.Count() > 0) {
    TWTreeNode* maps = add(webRoot_, tpMaps, TWebTreeNode::nkFolder, 13);
    for (int i = 0; i < web_->Maps.Count(); ++i)
      AddNode(maps, std::make_unique<TMapNode>(i, web_->Maps[i].ImageFile, web_->Maps[i].MapFile));
  }
  if (bits & (1u << mcSon)) add(webRoot_, tpSounds, TWebTreeNode::nkFolder, 7);
  if (bits & (1u << mcVideo)) add(webRoot_, tpVideos, TWebTreeNode::nkFolder, 8);
  if (bits & (1u << mcAutre | 1u << mcTexte)) add(webRoot_, tpOthers, TWebTreeNode::nkFolder, 12);
  if (web_->FilteredCount > 0) add(webRoot_, tpFiltered, TWebTreeNode::nkFolder, 9);
  if (web_->ErrorCount + web_->NotFoundCount > 0) add(webRoot_, tpErrors, TWebTreeNode::nkFolder, 10);
  webRoot_->SetExpanded(true);
}

void TWebTree::buildHelp() {
  TWTreeNode* help = add(nullptr, tpHelp, TWebTreeNode::nkFolder, 1);
  helpFiles_.clear();
  const fs::path folder = programFolder_ / "help";
  auto addPage = [&](const fs::path& file) {
    helpFiles_.push_back(file);
    AddNode(help, std::make_unique<THtmlNode>(HelpTitle(file), file.string()));
  };
  std::error_code ec;
  if (fs::is_regular_file(folder / "intro.htm", ec)) addPage(folder / "intro.htm");
  std::vector<fs::path> chapters;
  fs::path index;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const std::string name = it->path().filename().string();
    if (QString::fromStdString(name).compare("index.htm", Qt::CaseInsensitive) == 0)
      index = it->path();
    else if (IsChapterFile(name))
      chapters.push_back(it->path());
  }
  // Chap2 before Chap10: by the number, then by the name.
  auto number = [](const fs::path& p) { return QString::fromStdString(p.stem().string()).mid(4).toInt(); };
  std::sort(chapters.begin(), chapters.end(), [&](const fs::path& a, const fs::path& b) {
    const int na = number(a), nb = number(b);
    return na != nb ? na < nb : a.filename() < b.filename();
  });
  if (!index.empty()) addPage(index);
  for (const fs::path& p : chapters) addPage(p);
}

int TWebTree::PageCaptionsWidth() {
  int widest = 0;
  IterateNodes(Root(), [&](controls::TWTreeNode* n) {
    if (n != Root() && n->Level() <= 2) widest = std::max(widest, NodeWidth(n));
    return true;
  });
  for (int tag : {tpWeb, tpWebRunning, tpSearch}) widest = std::max(widest, CaptionWidth(1, PageTitle(tag)));
  for (int tag = tpOptions; tag <= tpMaps; ++tag) {
    if (tag == tpWeb || tag == tpWebRunning || tag == tpImage) continue;
    const int level = tag > tpOptions && tag <= tpOtherOptions ? 3 : 2;
    widest = std::max(widest, CaptionWidth(level, PageTitle(tag)));
  }
  return widest;
}

void TWebTree::Refresh() {
  int page = GetPage();
  if (lostPage_ && GetSelectedNode() == standIn_) page = lostPage_;
  lostPage_ = 0;
  standIn_ = nullptr;
  rebuilding_ = true;
  BeginUpdate();
  Clear();
  imagesFolder_ = nullptr;
  webRoot_ = nullptr;
  imageNames_.clear();
  if (web_) {
    buildWeb();
    add(nullptr, tpSearch, TWebTreeNode::nkFolder, 2);
  }
  TWTreeNode* prefs = add(nullptr, tpPreferences, TWebTreeNode::nkFolder, 3);
  for (quint8 tag : {tpProxy, tpBrowser, tpConnection, tpReport, tpFolders}) add(prefs, tag, TWebTreeNode::nkLeaf);
  add(nullptr, tpScheduler, TWebTreeNode::nkFolder, 14);
  buildHelp();
  EndUpdate();
  rebuilding_ = false;
  quiet_ = true;
  if (!SelectPage(page)) {
    // The page shown does not change: the first node only stands in for it
    // until its web comes back.
    if (!web_) lostPage_ = page;
    standIn_ = Root()->Child(0);
    Model().SelectNode(standIn_);
  }
  quiet_ = false;
}

bool TWebTree::SelectPage(int tag, bool activate) {
  lostPage_ = 0;
  TWTreeNode* node = tag > 0 ? FindNodeByTag(quint8(tag)) : nullptr;
  if (!node) return false;
  if (node->Parent() && node->Parent() != Root()) {
    node->Parent()->ExpandWithParents();
    // Opening the images' folder fills it anew: the node found is gone.
    if (!(node = FindNodeByTag(quint8(tag)))) return false;
  }
  const bool was = quiet_;
  quiet_ = true;
  if (GetSelectedNode() != node) Model().SelectNode(node);
  quiet_ = was;
  if (activate && host_) host_->StartTreeTimer();
  return true;
}

int TWebTree::GetPage() {
  TWTreeNode* n = GetSelectedNode();
  return n && n != Root() ? n->tag : 0;
}

void TWebTree::FillImages(const TUrlList& list) {
  if (!imagesFolder_ || !list.Web()) return;
  TWTreeNode* selected = GetSelectedNode();
  const int selectedTag = selected && selected != Root() ? selected->tag : 0;
  const QString selectedText = selected ? selected->text : QString();
  const bool selectedInside = selected && selected->Parent() == imagesFolder_;
  rebuilding_ = true;
  BeginUpdate();
  while (imagesFolder_->ChildCount() > 0) FreeNode(imagesFolder_->LastChild());
  imageNames_.clear();
  TWeb& web = *list.Web();
  TWebFile record(&web);
  for (int i = 0; i < list.Count(); ++i) {
    if (!web.FindUrl(list.Url(i), record) || !record.IsRetrieved() || !IsImage(record)) continue;
    imageNames_.push_back(record.GetLocalName());
    AddNode(imagesFolder_, std::make_unique<TImageNode>(record.GetLocalName()));
  }
  imagesFolder_->SetExpanded(true);
  EndUpdate();
  rebuilding_ = false;
  // The selection again: the same image when it is still listed.
  quiet_ = true;
  TWTreeNode* again = nullptr;
  if (selectedInside)
    for (int i = 0; i < imagesFolder_->ChildCount() && !again; ++i)
      if (imagesFolder_->Child(i)->text == selectedText) again = imagesFolder_->Child(i);
  if (again)
    Model().SelectNode(again);
  else if (selectedInside)
    Model().SelectNode(imagesFolder_);
  else if (selectedTag)
    SelectPage(selectedTag);
  quiet_ = false;
}

void TWebTree::AddImage(const TWebFile& record, bool show) {
  if (!imagesFolder_ || !imagesFolder_->GetExpanded()) return;
  const std::string name = record.GetLocalName();
  imageNames_.push_back(name);
  auto node = std::make_unique<TImageNode>(name);
  TWTreeNode* raw = node.get();
  AddNode(imagesFolder_, std::move(node));
  if (show) Model().SelectNode(raw);
}

THtmlNode* TWebTree::FindHelpPage(const std::string& fileName) {
  THtmlNode* found = nullptr;
  const QString wanted = QString::fromStdString(fileName);
  IterateNodes(Root(), [&](TWTreeNode* n) {
    auto* h = dynamic_cast<THtmlNode*>(n);
    if (h && (QString::fromStdString(h->FileName).compare(wanted, Qt::CaseInsensitive) == 0 ||
              QString::fromStdString(fs::path(h->FileName).filename().string()).compare(wanted, Qt::CaseInsensitive) == 0))
      found = h;
    return found == nullptr;
  });
  if (found) {
    quiet_ = true;
    if (found->Parent()) found->Parent()->ExpandWithParents();
    Model().SelectNode(found);
    quiet_ = false;
  }
  return found;
}

}  // namespace qlon
