// Any bytes through the tag scanner: no crash, every byte covered exactly
// once by the tokens, and every link rewritten in place still scans back to
// one tag carrying the new URL and the old one.
#include <cstdint>
#include <string>

#include <QBuffer>

#include "FuzzCheck.h"
#include "HtmlParser.h"

using namespace qlon;

namespace {

void CheckRewrite(const TTagLink& original) {
  TTagLink link = original;
  const std::string url = link.GetUrl();
  if (!link.SetUrl("n\"e<w>&'.htm") || !link.SetOldUrl(url)) return;  // too long: unchanged
  if (!link.SetStatus(7)) return;
  QByteArray bytes(link.GetText().data(), static_cast<qsizetype>(link.GetText().size()));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  THtmlParser again(buffer);
  again.Parse();
  TTagLink back;
  // The rewritten tag is one token (a sentinel on each side)...
  Check(again.GetCount() >= 3 && again.GetToken(1).Position == 0);
  if (original.Kind == tkMeta || !(again.GetToken(1).Flags & kTokenLinkTag)) return;
  // ...whose link and OLDREF read back as written.
  again.GetTagLink(1, back);
  Check(back.GetUrl() == "n\"e<w>&'.htm");
  Check(back.GetOldUrl() == url);
  Check(back.Status == 7);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  THtmlParser parser(buffer);
  parser.FrameOption = size % 2;
  parser.Parse();

  const int count = parser.GetCount();
  Check(count >= 2);
  Check(parser.GetToken(0).Position == 0);
  Check(parser.GetToken(count - 1).Position == static_cast<int64_t>(size));
  QByteArray copy;
  QBuffer sink(&copy);
  sink.open(QIODevice::WriteOnly);
  for (int i = 0; i < count; ++i) {
    if (i + 1 < count) {
      const TToken& a = parser.GetToken(i);
      const TToken& b = parser.GetToken(i + 1);
      Check(a.End() <= b.Position);
      Check((a.End() < b.Position) == bool(a.Flags & kTokenTextAfter));
    }
    Check(parser.CopyTokenAndText(i, sink));
    Check(parser.GetTokenText(i).size() <= size_t(kMaxShortText));
  }
  Check(copy == bytes);

  TTagLink link;
  for (int i = 0; i < count; ++i) {
    if (parser.GetTagLink(i, link) && (link.Flags & kTokenLinkTag) && link.Url.Found())
      CheckRewrite(link);
    parser.GetMarker(i);
  }
  std::string decoded;
  DecodeHtmlEntities(std::string_view(bytes.constData(), size), size % 3 == 0, decoded);
  return 0;
}
