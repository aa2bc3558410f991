// Any bytes through the viewer's HTML reader, then layout, drawing,
// selection and search on the model it builds: no crash, no hang, and the
// model stays consistent (the same layout twice gives the same result, the
// copied text of everything has the length the selection counter reports,
// every anchor names a section of the model). The frame-set reader reads
// the same bytes.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "Readhtml.h"
#include "RecordingCanvas.h"

using namespace qlon::viewer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::u16string text = DecodeDocument(bytes);

  TSectionList list;
  list.ShowImages = size % 2;
  // Pictures never come from the file system here: "p" names a small one.
  list.OnBitmapRequest = [](const QString& name, QImage& bitmap, Color&) {
    if (name.startsWith('p')) {
      bitmap = QImage(7, 5, QImage::Format_RGB32);
      bitmap.fill(Qt::green);
    }
  };
  TAnchorList anchors;
  try {
    ParseString(list, anchors, text);
  } catch (const EParseError&) {
    // an unterminated comment: what came before it stays in the model
  }

  RecordingCanvas canvas;
  const int width = 50 + int(size % 700);
  int curs = 0, maxWidth = 0;
  int height = list.DoLogic(canvas, 0, curs, maxWidth, width);
  Check(height >= 0);
  int curs2 = 0, maxWidth2 = 0;
  Check(list.DoLogic(canvas, 0, curs2, maxWidth2, width) == height);
  Check(curs2 == curs && maxWidth2 == maxWidth);

  list.Draw(canvas, QRect(0, 0, width + 20, 2000), 10, 0);
  list.SetYOffset(height / 2);
  list.Draw(canvas, QRect(0, 0, width + 20, 2000), 10, 0);

  list.SelB = 0;
  list.SelE = curs;
  Check(list.GetSelText().size() == list.GetSelLength());
  list.FindString(0, QStringLiteral("a"), false);
  int lineHeight, lineTop, caretX;
  for (int y = 0; y < height && y < 3000; y += 37) list.FindCursor(canvas, 20, y, lineHeight, lineTop, caretX);
  TUrlTarget link;
  list.GetURL(canvas, 20, height / 3, link);
  for (const TAnchor& a : anchors) Check(a.Section != nullptr && a.Offset >= 0);

  TFrameDef frames;
  ParseFrameSet(text, frames);
  IsFrameSetText(text);
  return 0;
}
