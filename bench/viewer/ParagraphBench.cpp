// Loading and re-laying out one long paragraph in the viewer: the same words
// once plain and once broken into bold and italic runs, so that what a run
// costs beyond its text shows. Each load goes through the viewer control
// (reader, layout, first paint); each resize lays the document out afresh
// at a new width and paints it.
//
//   bench_viewer_paragraph [megabytes] [resizes] [plain|runs]
//
// 10 megabytes by default (the form with runs), 4 resizes, both forms.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "Htmlview.h"
#include "QtCanvas.h"
#include "Readhtml.h"

using namespace qlon::viewer;

namespace {

// One paragraph of `words` words; with runs, every third word is bold and
// every third italic, so both forms hold the same text.
QByteArray Paragraph(int words, bool runs) {
  QByteArray out = "<html><body><p>";
  for (int i = 0; i < words; ++i) {
    QByteArray word = "word" + QByteArray::number(i % 1000);
    if (runs && i % 3 == 1)
      out += "<b>" + word + "</b> ";
    else if (runs && i % 3 == 2)
      out += "<i>" + word + "</i> ";
    else
      out += word + ' ';
  }
  out += "</p></body></html>";
  return out;
}

double Ms(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

void Run(const QString& file, const char* label, int resizes) {
  {
    // The reader alone, then one layout of what it built.
    const std::u16string text = ReadDocumentFile(file.toStdString());
    TSectionList list;
    TAnchorList anchors;
    QElapsedTimer t;
    t.start();
    ParseString(list, anchors, text);
    double read = Ms(t);
    t.restart();
    QtMeasureCanvas canvas;
    int curs = 0, maxWidth = 0;
    list.DoLogic(canvas, 0, curs, maxWidth, 780);
    std::printf("%-10s read %8.1f ms   layout %8.1f ms\n", label, read, Ms(t));
  }
  THTMLViewer viewer;
  viewer.resize(800, 600);
  viewer.SetDefBackground(clWhite);
  viewer.SetDefFontColor(clBlack);
  viewer.show();
  QElapsedTimer t;
  t.start();
  viewer.LoadFromFile(file);
  viewer.repaint();
  double load = Ms(t);
  double resize = 0;
  for (int i = 0; i < resizes; ++i) {
    t.restart();
    viewer.resize(i % 2 ? 800 : 640, 600);
    viewer.repaint();
    resize += Ms(t);
  }
  std::printf("%-10s load %8.1f ms   resize %8.1f ms each (%d), height %d px\n", label, load,
              resizes ? resize / resizes : 0.0, resizes, viewer.DocHeight());
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const double megabytes = argc > 1 ? std::atof(argv[1]) : 10;
  const int resizes = argc > 2 ? std::atoi(argv[2]) : 4;
  const QByteArray only = argc > 3 ? QByteArray(argv[3]) : QByteArray();
  QTemporaryDir dir;
  for (bool runs : {false, true}) {
    if (!only.isEmpty() && only != (runs ? "runs" : "plain")) continue;
    QString file = dir.filePath(runs ? "runs.htm" : "plain.htm");
    QFile f(file);
    // About 14 bytes a word with its markup: the form with runs takes the megabytes.
    if (!f.open(QIODevice::WriteOnly) || f.write(Paragraph(int(megabytes * 1e6 / 14), runs)) < 0) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
    f.close();
    Run(file, runs ? "with runs" : "plain", resizes);
  }
  return 0;
}
