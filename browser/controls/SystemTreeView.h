#pragma once
// TSystemTreeView: the folder tree of the folder dialogs, read from the
// file system as branches open: the root folder "/" and the home folder at
// the top, sub-folders sorted by name. A folder shows its expand button
// when it has sub-folders (a placeholder child stands in until the branch
// is read). Watched folders refresh when their contents change.
#include <QFileSystemWatcher>
#include <QString>
#include <functional>

#include "WTree.h"

namespace qlon::controls {

class TSystemTreeView : public TCustomWTree {
  Q_OBJECT
 public:
  // The tree's folder nodes.
  class FolderNode : public TWTreeNode {
   public:
    FolderNode(QString name, QString path);
    QString path;        // absolute, without a trailing "/" (but "/" itself)
    bool loaded = false; // children read from the disk
  };

  explicit TSystemTreeView(QWidget* parent = nullptr);

  // Rebuilds the tree from its roots.
  void Refresh();
  // The folder of a node, "" for a node without one.
  static QString PathOf(TWTreeNode* node);
  QString SelectedPath();
  // Walks the tree component by component, reading and expanding branches
  // as it goes; nullptr when some component is missing.
  TWTreeNode* FindPath(const QString& path);
  // Finds the folder, makes its row visible and selects it.
  bool SelectPath(const QString& path);
  // Creates a folder named name under node and selects it. The name must be
  // one plain component (no "/", not "." or ".."); false on any failure.
  bool CreateFolder(TWTreeNode* node, const QString& name);

  // The selected folder changed (through the mouse, keys or code).
  std::function<void(TSystemTreeView*, TWTreeNode*)> OnChange;

 protected:
  void BeforeExpand(TWTreeNode* n) override;
  void NodeFreed(TWTreeNode* n) override;
  void RowMoved(int oldRow, int newRow) override;
  // No full expansion: it would read the whole file system.
  void KeyDown(int& key, Qt::KeyboardModifiers mods) override;
  void KeyPress(QChar& ch) override;

 private:
  void load(FolderNode* node);
  void reload(const QString& dir);
  TWTreeNode* addFolder(TWTreeNode* parent, const QString& name, const QString& path);
  QFileSystemWatcher watcher_;
  TWTreeNode* lastChange_ = nullptr;
  bool refreshing_ = false;
};

}  // namespace qlon::controls
