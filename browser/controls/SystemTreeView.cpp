#include "SystemTreeView.h"

#include <QDir>
#include <QDirIterator>
#include <QSet>

namespace qlon::controls {

namespace {

constexpr quint8 kPlaceholder = 255;  // tag of the stand-in child

bool hasSubFolders(const QString& path) {
  QDirIterator it(path, QDir::Dirs | QDir::NoDotAndDotDot);
  return it.hasNext();
}

QString joinPath(const QString& dir, const QString& name) {
  return dir.endsWith('/') ? dir + name : dir + '/' + name;
}

}  // namespace

TSystemTreeView::FolderNode::FolderNode(QString name, QString p)
    : TWTreeNode(std::move(name), knFolder), path(std::move(p)) {}

TSystemTreeView::TSystemTreeView(QWidget* parent) : TCustomWTree(parent) {
  SetOptions(0);
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &TSystemTreeView::reload);
  Refresh();
}

void TSystemTreeView::Refresh() {
  refreshing_ = true;
  if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
  Clear();
  lastChange_ = nullptr;
  addFolder(nullptr, "/", "/");
  const QString home = QDir::homePath();
  if (home != "/") addFolder(nullptr, QDir(home).dirName(), QDir::cleanPath(home));
  refreshing_ = false;
}

TWTreeNode* TSystemTreeView::addFolder(TWTreeNode* parent, const QString& name, const QString& path) {
  auto node = std::make_unique<FolderNode>(name, path);
  node->image = parent ? 0 : 1;
  node->SetSortMode(1);
  TWTreeNode* n = node.get();
  AddNode(parent, std::move(node));
  if (hasSubFolders(path)) {
    auto stub = std::make_unique<TWTreeNode>(QString());
    stub->tag = kPlaceholder;
    AddNode(n, std::move(stub));
  }
  return n;
}

QString TSystemTreeView::PathOf(TWTreeNode* node) {
  auto* f = dynamic_cast<FolderNode*>(node);
  return f ? f->path : QString();
}

QString TSystemTreeView::SelectedPath() { return PathOf(GetSelectedNode()); }

void TSystemTreeView::load(FolderNode* node) {
  if (node->loaded) return;
  node->loaded = true;
  BeginUpdate();
  while (node->HasChildren()) FreeNode(node->Child(0));
  QDir dir(node->path);
  const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  for (const QString& name : names) addFolder(node, name, joinPath(node->path, name));
  EndUpdate();
  watcher_.addPath(node->path);
}

void TSystemTreeView::BeforeExpand(TWTreeNode* n) {
  if (auto* f = dynamic_cast<FolderNode*>(n)) load(f);
  TCustomWTree::BeforeExpand(n);
}

void TSystemTreeView::reload(const QString& dir) {
  TWTreeNode* node = FindPath(dir);
  auto* f = dynamic_cast<FolderNode*>(node);
  if (!f || !f->loaded) return;
  // Drop the folders that went, add the ones that came.
  QDir d(f->path);
  const QStringList names = d.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  QSet<QString> present;
  for (int i = f->ChildCount() - 1; i >= 0; --i) {
    if (!names.contains(f->Child(i)->text)) FreeNode(f->Child(i));
    else present.insert(f->Child(i)->text);
  }
  for (const QString& name : names)
    if (!present.contains(name)) addFolder(f, name, joinPath(f->path, name));
}

void TSystemTreeView::NodeFreed(TWTreeNode* n) {
  if (n == lastChange_) lastChange_ = nullptr;
  TCustomWTree::NodeFreed(n);
}

void TSystemTreeView::KeyDown(int& key, Qt::KeyboardModifiers mods) {
  if (key == Qt::Key_Asterisk && (mods & Qt::ControlModifier)) key = 0;
  TCustomWTree::KeyDown(key, mods);
}

void TSystemTreeView::KeyPress(QChar& ch) {
  if (ch == '*') ch = QChar();
  TCustomWTree::KeyPress(ch);
}

TWTreeNode* TSystemTreeView::FindPath(const QString& path) {
  if (path.isEmpty() || !path.startsWith('/')) return nullptr;
  const QString clean = QDir::cleanPath(path);
  // The home root first when the path lies inside it: its row is shorter.
  TWTreeNode* root = Root();
  TWTreeNode* start = root->Child(0);
  for (int i = 1; i < root->ChildCount(); ++i) {
    const QString rp = PathOf(root->Child(i));
    if (clean == rp || clean.startsWith(rp + '/')) start = root->Child(i);
  }
  TWTreeNode* node = start;
  const QString base = PathOf(start);
  const QString rest = clean == base ? QString() : clean.mid(base == "/" ? 1 : base.size() + 1);
  for (const QString& part : rest.split('/', Qt::SkipEmptyParts)) {
    if (auto* f = dynamic_cast<FolderNode*>(node)) load(f);
    TWTreeNode* child = nullptr;
    for (int i = 0; i < node->ChildCount(); ++i)
      if (node->Child(i)->text == part) child = node->Child(i);  // paths are case-sensitive
    if (!child) return nullptr;
    node = child;
  }
  return node;
}

bool TSystemTreeView::SelectPath(const QString& path) {
  TWTreeNode* node = FindPath(path);
  if (!node) return false;
  if (node->Parent() != Root()) node->Parent()->ExpandWithParents();
  Model().SelectNode(node);
  return true;
}

bool TSystemTreeView::CreateFolder(TWTreeNode* node, const QString& name) {
  const QString dir = PathOf(node);
  if (dir.isEmpty() || name.isEmpty() || name == "." || name == ".." || name.contains('/')) return false;
  const QString target = joinPath(dir, name);
  if (QFileInfo::exists(target) || !QDir().mkdir(target)) return false;
  auto* f = static_cast<FolderNode*>(node);
  if (f->loaded) {
    if (!f->FindChild(name)) addFolder(f, name, target);
  } else {
    load(f);
  }
  return SelectPath(target);
}

void TSystemTreeView::RowMoved(int oldRow, int newRow) {
  TCustomWTree::RowMoved(oldRow, newRow);
  if (refreshing_) return;
  TWTreeNode* n = NodeAtRow(newRow);
  if (n && n != lastChange_) {
    lastChange_ = n;
    if (OnChange) OnChange(this, n);
  }
}

}  // namespace qlon::controls
