// What hostile pages cost the viewer: time and peak memory of reading,
// laying out and copying pages built to be large in one way each.
//
//   bench_viewer_hostile               every case at its default sizes
//   bench_viewer_hostile CASE N        one case at size N
//
// Cases:
//   floats N  N left-aligned 248 x 100 pictures with a caption each, read and
//             laid out at 780 px, then the whole page copied as text
//   frames N  a frame set of N frames, each showing a small page, loaded
//             into an 800 x 600 frame viewer
//   nested N  a frame set of N frames, each showing the set again (four
//             documents deep: N to the fourth frames without a bound)
//   cjk N     a paragraph of N Chinese characters, read and laid out
//   word N    a paragraph holding one word of N letters, read and laid out
//   divs N    N DIV elements of one line each, read and laid out
//
// Each case runs in a process of its own, so that its peak memory (VmHWM,
// less what the process held before the case) is its own.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "FramView.h"
#include "QtCanvas.h"
#include "Readhtml.h"
#include "SectionList.h"

using namespace qlon::viewer;

namespace {

long StatusKb(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  return 0;
}

double Ms(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

struct Result {
  double readMs = 0, layoutMs = 0, copyMs = 0;
  int width = 0, height = 0;
  long long copied = -1;
};

// Reads and lays out a page at 780 px (an 800-px window) on screen metrics.
Result ReadAndLayOut(TSectionList& list, const std::u16string& html) {
  Result r;
  list.ShowImages = true;
  list.FontName = "DejaVu Serif";
  list.PreFontName = "DejaVu Sans Mono";
  // Every picture is a small one; WIDTH and HEIGHT give its place.
  list.OnBitmapRequest = [](const QString&, QImage& bitmap, Color&) {
    bitmap = QImage(8, 8, QImage::Format_RGB32);
    bitmap.fill(Qt::gray);
  };
  TAnchorList anchors;
  QElapsedTimer t;
  t.start();
  ParseString(list, anchors, html);
  r.readMs = Ms(t);
  t.restart();
  QtMeasureCanvas canvas;
  int curs = 0;
  r.height = list.DoLogic(canvas, 0, curs, r.width, 780);
  r.layoutMs = Ms(t);
  return r;
}

std::u16string Repeat(const std::u16string& s, int n) {
  std::u16string out;
  out.reserve(s.size() * size_t(n));
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

int RunCase(const std::string& name, int n) {
  qInstallMessageHandler(Quiet);  // font fallback notes of the wide scripts
  const long before = StatusKb("VmRSS:");
  Result r;
  TSectionList list;
  if (name == "floats") {
    std::u16string html = u"<p>";
    for (int i = 0; i < n; ++i)
      html += u"<img src=\"p.gif\" width=248 height=100 align=left>Caption " +
              QString::number(i).toStdU16String() + u" ";
    r = ReadAndLayOut(list, html);
    list.SelB = 0;
    list.SelE = list.Len;
    QElapsedTimer t;
    t.start();
    r.copied = list.GetSelText().size();
    r.copyMs = Ms(t);
  } else if (name == "frames" || name == "nested") {
    QTemporaryDir dir;
    std::string frames = "<frameset cols=\"*";
    for (int i = 1; i < n; ++i) frames += ",*";
    frames += "\">";
    for (int i = 0; i < n; ++i) frames += name == "frames" ? "<frame src=\"p.htm\">" : "<frame src=\"set.htm\">";
    frames += "</frameset>";
    std::ofstream(QDir(dir.path()).filePath("set.htm").toStdString()) << frames;
    std::ofstream(QDir(dir.path()).filePath("p.htm").toStdString()) << "<p>A page";
    TFrameViewer viewer;
    viewer.resize(800, 600);
    viewer.show();
    QElapsedTimer t;
    t.start();
    viewer.LoadFromFile(QDir(dir.path()).filePath("set.htm"));
    r.readMs = Ms(t);
    r.copied = (long long)viewer.CurFrameSet()->Frames.size();
    t.restart();
    viewer.LoadFromFile(QDir(dir.path()).filePath("p.htm"));  // the tree freed
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    r.copyMs = Ms(t);
  } else if (name == "cjk") {
    std::u16string text;
    for (int i = 0; i < n; ++i) text += char16_t(0x4E00 + (i * 7919) % 20000);
    r = ReadAndLayOut(list, u"<p>" + text);
  } else if (name == "word") {
    r = ReadAndLayOut(list, u"<p>" + std::u16string(size_t(n), u'w'));
  } else if (name == "divs") {
    r = ReadAndLayOut(list, Repeat(u"<div>A line of a listing</div>\n", n));
  } else {
    std::fprintf(stderr, "unknown case %s\n", name.c_str());
    return 2;
  }
  const long peak = StatusKb("VmHWM:") - before;
  std::printf("%-7s %8d  read %9.1f ms  layout %9.1f ms  copy %9.1f ms  peak %8.1f MB  %d x %d px", name.c_str(), n,
              r.readMs, r.layoutMs, r.copyMs, double(peak) / 1024.0, r.width, r.height);
  if (r.copied >= 0) std::printf("  %s %lld", r.width == 0 ? "frames" : "copied", r.copied);
  std::printf("\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc >= 3) {
    QApplication app(argc, argv);
    return RunCase(argv[1], std::atoi(argv[2]));
  }
  const std::pair<const char*, int> cases[] = {
      {"floats", 12},     {"floats", 4000},   {"floats", 50000}, {"frames", 20},   {"frames", 4096},
      {"frames", 65536},  {"nested", 8},      {"nested", 64},    {"cjk", 10000},     {"cjk", 1000000},  {"word", 120},    {"word", 1000000},
      {"divs", 1000},     {"divs", 100000}};
  int failed = 0;
  for (const auto& [name, n] : cases) {
    std::string command = std::string("'") + argv[0] + "' " + name + " " + std::to_string(n);
    std::fflush(stdout);
    if (std::system(command.c_str()) != 0) ++failed;
  }
  return failed ? 1 : 0;
}
