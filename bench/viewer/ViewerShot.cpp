// A small development viewer. With an output file it renders the page's
// first screen (or the screen at "#anchor") to a PNG; without one it opens
// the viewer in a window, follows links and prints the hot spots it covers.
//
//   viewer_shot page.html[#anchor] [out.png] [width] [height]
#include <QApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "Htmlview.h"

using namespace qlon::viewer;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s page.html[#anchor] [out.png] [width] [height]\n", argv[0]);
    return 2;
  }
  const bool shot = argc > 2;
  if (shot && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  THTMLViewer viewer;
  viewer.resize(argc > 3 ? std::atoi(argv[3]) : 800, argc > 4 ? std::atoi(argv[4]) : 600);
  viewer.SetDefBackground(clWhite);
  viewer.SetDefFontColor(clBlack);
  viewer.SetViewImages(true);
  viewer.SetHistoryMaxCount(20);
  viewer.OnHotSpotCovered = [](THTMLViewer&, const QString& src) { std::printf("hot spot: %s\n", qPrintable(src)); };
  viewer.OnProcessing = [](THTMLViewer& v, bool on) {
    if (!on) v.setWindowTitle(v.GetDocumentTitle());
  };
  viewer.show();
  try {
    viewer.LoadFromFile(QString::fromLocal8Bit(argv[1]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    if (viewer.DocHeight() == 0) return 1;
  }
  std::printf("%s: %d x %d px, title \"%s\"\n", argv[1], viewer.MaxHorz(), viewer.DocHeight(),
              qPrintable(viewer.GetDocumentTitle()));
  if (!shot) return app.exec();
  if (!viewer.grab().toImage().save(QString::fromLocal8Bit(argv[2]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
