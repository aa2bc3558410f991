// Builds a tree of 100,000 nodes the way the web tree fills a large
// capture, then scrolls it page by page, row by row and to random rows,
// painting every frame. Prints the time per operation.
//   bench_tree_scroll [nodes]
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <random>

#include "WTree.h"

using namespace qlon::controls;

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int total = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
  TCustomWTree tree;
  tree.resize(400, 600);
  tree.show();

  QElapsedTimer t;
  t.start();
  tree.SetPaintLocked(true);
  tree.BeginUpdate();
  const int perFolder = 1000;
  TWTreeNode* folder = nullptr;
  for (int i = 0; i < total; ++i) {
    if (i % perFolder == 0) {
      folder = tree.AddChild(nullptr, QString("http://host%1/").arg(i / perFolder), TWTreeNode::knFolder);
      folder->SetSortMode(1);
      continue;
    }
    tree.AddChild(folder, QString("page%1.htm").arg((i * 7919) % 100003), TWTreeNode::knFile);
  }
  tree.EndUpdate();
  tree.SetPaintLocked(false);
  std::printf("build %d nodes (sorted folders): %lld ms\n", total, t.elapsed());

  t.restart();
  tree.FullExpand();
  std::printf("expand all (%d rows): %lld ms\n", tree.RowCount(), t.elapsed());

  auto frames = [&](const char* what, int n, auto step) {
    QElapsedTimer f;
    f.start();
    for (int i = 0; i < n; ++i) {
      step(i);
      tree.viewport()->repaint();
    }
    std::printf("%s: %.3f ms per frame over %d frames\n", what, double(f.nsecsElapsed()) / 1e6 / n, n);
  };
  const int page = tree.layout().visibleRows();
  frames("page down", 500, [&](int) { tree.SetRow(tree.Row() + page); });
  frames("row down", 2000, [&](int) { tree.SetRow(tree.Row() + 1); });
  std::mt19937 rng(7);
  frames("random row", 2000, [&](int) {
    tree.SetRow(std::uniform_int_distribution<int>(0, tree.RowCount() - 1)(rng));
  });
  frames("select by index", 2000, [&](int) {
    tree.SetSelectedIndex(std::uniform_int_distribution<int>(1, tree.GetItemCount())(rng));
  });
  frames("collapse and expand a folder", 200, [&](int i) {
    TWTreeNode* f = tree.Root()->Child(i % tree.Root()->ChildCount());
    f->SetExpanded(!f->GetExpanded());
  });
  t.restart();
  tree.Clear();
  std::printf("clear: %lld ms\n", t.elapsed());
  return 0;
}
