// Any bytes through the tag scanner: no crash, every byte covered exactly
// once by the tokens, every link rewritten in place still scans back to one
// tag carrying the new URL and the old one, and a page with all its links
// rewritten yields exactly those links again.
#include <cstdint>
#include <cstdio>
#include <string>

#include <QBuffer>

#include "FuzzCheck.h"
#include "HtmlParser.h"

using namespace qlon;

namespace {

const std::string kNewUrl = "n\"e<w>&'.htm";

// A value written without quotes has its blanks and control bytes
// %-escaped, which names the same URL.
std::string Escaped(const std::string& url) {
  std::string out;
  char hex[4];
  for (unsigned char c : url) {
    if (c < 33) {
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    } else {
      out += char(c);
    }
  }
  return out;
}

// Rewrites the link as page rewriting does; false when the tag would grow
// too long (it then stays as it was).
bool CheckRewrite(const TTagLink& original, TTagLink& link) {
  link = original;
  const std::string url = link.GetUrl();
  if (!link.SetUrl(kNewUrl) || !link.SetOldUrl(url)) return false;
  if (!link.SetStatus(7)) return false;
  QByteArray bytes(link.GetText().data(), static_cast<qsizetype>(link.GetText().size()));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  THtmlParser again(buffer);
  again.Parse();
  TTagLink back;
  // The rewritten tag is one token (a sentinel on each side)...
  Check(again.GetCount() >= 3 && again.GetToken(1).Position == 0);
  if (original.Kind == tkMeta || !(again.GetToken(1).Flags & kTokenLinkTag)) return true;
  // ...whose link and OLDREF read back as written.
  again.GetTagLink(1, back);
  Check(back.GetUrl() == kNewUrl);
  Check(Escaped(back.GetOldUrl()) == Escaped(url));
  Check(back.Status == 7);
  return true;
}

int CountNewLinks(const QByteArray& page, bool frames) {
  QByteArray bytes = page;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  THtmlParser parser(buffer);
  parser.FrameOption = frames;
  parser.Parse();
  TTagLink link;
  int found = 0;
  for (int i = 0; i < parser.GetCount(); ++i)
    if (parser.GetTagLink(i, link) && (link.Flags & kTokenLinkTag) && link.GetUrl() == kNewUrl) ++found;
  return found;
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

  TTagLink link, rewritten;
  QByteArray page;
  QBuffer out(&page);
  out.open(QIODevice::WriteOnly);
  int links = 0;
  for (int i = 0; i < count; ++i) {
    if (parser.GetTagLink(i, link) && (link.Flags & kTokenLinkTag) && link.Url.Found() &&
        CheckRewrite(link, rewritten)) {
      ++links;
      Check(rewritten.SaveToStream(out) && parser.CopyTextAfter(i, out));
    } else {
      Check(parser.CopyTokenAndText(i, out));
    }
    parser.GetMarker(i);
  }
  Check(CountNewLinks(page, parser.FrameOption) == links);
  std::string decoded;
  DecodeHtmlEntities(std::string_view(bytes.constData(), size), size % 3 == 0, decoded);
  return 0;
}
