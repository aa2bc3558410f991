#include "PageRewrite.h"

#include <QBuffer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "HtmlParser.h"
#include "LinkTargets.h"
#include "LocalPath.h"
#include "Options.h"
#include "ReplaceBatch.h"
#include "Types.h"
#include "Urlutil.h"
#include "Utils.h"
#include "VrmlParser.h"
#include "Web.h"

namespace qlon {

namespace {

constexpr std::string_view kOnMarker = "<!--QUILLON=ON-->  \r\n";
constexpr std::string_view kOffMarker = "<!--QUILLON=OFF-->  \r\n";
constexpr std::string_view kScriptBody =
    "<SCRIPT LANGUAGE=\"JavaScript\">\r\n"
    "function QuillonLU(url)\r\n"
    "{\r\n"
    "document.cookie = 'url='+url+';PATH=/';\r\n"
    "}\r\n"
    "</SCRIPT>\r\n";

// Control bytes, blanks and the given characters as %XX.
std::string PercentEncode(std::string_view text, std::string_view special) {
  std::string out;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F || special.find(ch) != std::string_view::npos)
      AppendPercentByte(out, c);
    else
      out += ch;
  }
  return out;
}

// Read straight into the string: a QFile asks the file system three times
// for the file's kind and size, and its bytes are copied once more.
bool ReadWhole(const std::string& path, std::string& bytes) {
  if (path.empty()) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status {};
  bool ok = ::fstat(fd, &status) == 0 && !S_ISDIR(status.st_mode);
  bytes.clear();
  if (ok && status.st_size > 0) bytes.resize(std::size_t(status.st_size));
  std::size_t have = 0;
  // The end is found with a read into a small buffer: growing the string
  // for it would copy the whole page once more.
  char probe[4096];
  while (ok) {
    const bool full = have == bytes.size();
    const ssize_t got = full ? ::read(fd, probe, sizeof probe) : ::read(fd, bytes.data() + have, bytes.size() - have);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    // A file that grew since its fstat is read to its end all the same.
    if (full) bytes.append(probe, std::size_t(got));
    have += std::size_t(got);
  }
  ::close(fd);
  bytes.resize(have);
  return ok;
}

// Where a link of the page should point, from its real URL.
struct TLinkTarget {
  bool Captured = false;
  std::string Local;  // relative to the page, escaped as a URL
};

class TPageRewriter {
 public:
  // ownerThread: on the capture's thread, which may read its tree and map
  // list; elsewhere an ISMAP image stops the rewrite (Run gives nullopt).
  TPageRewriter(TWeb& web, const TWebFile& page, std::string pagePath, const TRewriteOptions& options,
                TLinkTargets& targets, bool ownerThread = true)
      : web_(web), page_(page), options_(options), targets_(targets), pagePath_(std::move(pagePath)),
        ownerThread_(ownerThread) {}

  std::optional<std::string> Run(std::string_view bytes, bool* frameSet = nullptr);
  // The link's target in the capture, when it has a local copy.
  TLinkTarget Target(const std::string& url);
  // Off the capture's thread, the targets to be asked for are asked in one
  // question (Target then finds them at hand).
  void Expect(const std::string& url) { asked_.try_emplace(url); }
  void AskExpected() { targets_.Paths(asked_); }

 private:
  // The document a link leads to (its "#..." part stays in the tag).
  std::string RealUrl(const TTagLink& link, const std::string& base);
  // The scheme of the link's target when Target is asked for it: not for
  // class names, nor a relative URL or one of another scheme.
  std::optional<TIProtocol> LookedUpScheme(const TTagLink& link, const std::string& real);
  // The links' targets of the parsed page, for AskExpected.
  void ExpectLinks(THtmlParser& parser);
  bool RewriteLink(TTagLink& link, std::string& base);
  void RewriteImage(TTagLink& link, std::string& after);
  std::string MapBlock(const std::string& name, const std::string& mapPath, std::string& base);
  std::string NotFoundLink() const;

  TWeb& web_;
  const TWebFile& page_;
  const TRewriteOptions& options_;
  TLinkTargets& targets_;
  std::string pagePath_;
  bool ownerThread_;
  TUrlResolver resolver_;
  TLinkTargets::TPaths asked_;
  bool needScript_ = false;
};

bool IsOurOnClick(const TTag& tag) {
  TTagParam p;
  return tag.FindParam("ONCLICK", p) && tag.GetParamValue("ONCLICK").find("QuillonLU(") != std::string::npos;
}

bool HasForeignOnClick(const TTag& tag) {
  TTagParam p;
  return tag.FindParam("ONCLICK", p) && !IsOurOnClick(tag);
}

// The text after a closing marker without what the rewrite wrote after it.
std::string_view AfterRegion(std::string_view text) {
  if (text.substr(0, 2) == "  ") text.remove_prefix(2);
  if (text.substr(0, 2) == "\r\n") text.remove_prefix(2);
  return text;
}

// "scheme:" before any "/", "?" or "#" (a one-letter scheme is a drive).
bool HasScheme(std::string_view url) {
  size_t i = 0;
  while (i < url.size() && (std::isalnum(static_cast<unsigned char>(url[i])) || url[i] == '+' || url[i] == '-' ||
                            url[i] == '.'))
    ++i;
  return i >= 2 && i < url.size() && url[i] == ':' && std::isalpha(static_cast<unsigned char>(url[0]));
}

bool IsQuillonTag(const THtmlParser& parser, int i) {
  const TToken& t = parser.GetToken(i);
  if (t.Kind != tkQuillon || !(t.Flags & kTokenStart)) return false;
  TTag tag;
  parser.LoadTag(i, tag);
  TTagParam p;
  return tag.FindParam("BASEURL", p);
}

TLinkTarget TPageRewriter::Target(const std::string& url) {
  TLinkTarget target;
  if (pagePath_.empty()) return target;
  const auto asked = asked_.find(url);
  const std::string& path = asked != asked_.end() ? asked->second : targets_.Path(url);
  if (path.empty()) return target;
  target.Captured = true;
  target.Local = EscapeLocalLink(RelativePath(pagePath_, path));
  return target;
}

std::string TPageRewriter::NotFoundLink() const {
  return EscapeLocalLink(RelativePath(pagePath_, (std::filesystem::path(web_.GetFolder()) / kNotFoundPage).string()));
}

std::string TPageRewriter::RealUrl(const TTagLink& link, const std::string& base) {
  return link.HasOldRef() ? std::string(WithoutFragment(link.GetOldUrl())) : resolver_.ResolveTarget(link.GetUrl(), base);
}

std::optional<TIProtocol> TPageRewriter::LookedUpScheme(const TTagLink& link, const std::string& real) {
  if (link.Kind == tkApplet || link.Kind == tkParam) return std::nullopt;  // class names, not URLs
  if (real.empty()) return std::nullopt;
  // What the resolver gave is parsed already.
  std::optional<TUrl> own;
  const TUrl& parsed = !link.HasOldRef() ? resolver_.Resolved() : own.emplace(real);
  if (!IsAbsoluteUrl(parsed)) return std::nullopt;
  const TIProtocol scheme = parsed.Protocol;
  if (scheme != ipHttp && scheme != ipFtp && scheme != ipFile) return std::nullopt;
  return scheme;
}

// Goes over the page's links as Run does.
void TPageRewriter::ExpectLinks(THtmlParser& parser) {
  std::string base = page_.FullUrl;
  TTagLink link;
  for (int i = 0; i < parser.GetCount(); ++i) {
    if (const int end = parser.InsertedBlockEnd(i); end >= 0) {
      i = end;
      continue;
    }
    if (IsQuillonTag(parser, i)) continue;
    if (!parser.GetTagLink(i, link) || !(link.Flags & kTokenLinkTag) || !(link.Flags & kTokenStart) ||
        (link.GetUrl().empty() && !link.HasOldRef()))
      continue;
    if (link.Kind == tkImg && link.IsMap) return;  // Run gives the page back
    const std::string real = RealUrl(link, base);
    if (link.Kind == tkBase) {
      if (!real.empty()) base = real;
    } else if (LookedUpScheme(link, real)) {
      Expect(real);
    }
  }
}

// True when the tag was rewritten (it now carries OLDREF).
bool TPageRewriter::RewriteLink(TTagLink& link, std::string& base) {
  const std::string written = link.GetUrl();
  const std::string real = RealUrl(link, base);
  if (link.Kind == tkBase) {
    if (real.empty()) return false;
    base = real;
    // Relative links of the page now name local files beside the page.
    const std::string self = EscapeLocalLink(std::filesystem::path(pagePath_).filename().string());
    return link.SetUrl(self) && link.SetOldUrl(real);
  }
  const std::optional<TIProtocol> looked = LookedUpScheme(link, real);
  if (!looked) return false;
  const TIProtocol scheme = *looked;

  const TLinkTarget target = Target(real);
  const bool pageLink = link.Kind == tkA || link.Kind == tkArea;
  // Our OnClick is taken out last: removing an attribute leaves the link's
  // URL and OLDREF positions behind.
  const bool dropClick = IsOurOnClick(link);
  auto done = [&](bool rewritten) {
    if (dropClick) link.RemoveParam("ONCLICK");
    return rewritten;
  };
  if (target.Captured) return done(link.SetUrl(target.Local) && link.SetOldUrl(real));
  if (options_.SuppressLinks && pageLink) {
    if (!HasForeignOnClick(link)) {
      link.SetParam("OnClick", "QuillonLU('" + EscapeUrlForScript(real) + "');");
      needScript_ = true;
    }
    return link.SetUrl(NotFoundLink()) && link.SetOldUrl(real);
  }
  // A file: target that was not captured is never linked: the local page
  // would reach outside the capture folder.
  if (scheme == ipFile) return done(link.SetUrl(NotFoundLink()) && link.SetOldUrl(real));
  if (options_.RealLinks) return done(link.SetUrl(real) && link.SetOldUrl(real));
  // Put back as before, as the absolute URL: a relative reference kept as
  // written would name a file around the page's local copy.
  const bool hadOldRef = link.HasOldRef();
  if (hadOldRef || !HasScheme(written)) {
    link.SetUrl(real);
    if (hadOldRef) link.RemoveParam("OLDREF");
  }
  return done(false);
}

std::string TPageRewriter::MapBlock(const std::string& name, const std::string& mapPath, std::string& base) {
  std::string bytes;
  if (!ReadWhole(mapPath, bytes)) return {};
  QByteArray data = QByteArray::fromStdString(bytes);
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  THtmlParser parser(buffer);
  parser.Parse();
  std::string areas;
  TTagLink link;
  for (int i = 0; i < parser.GetCount(); ++i) {
    if (parser.GetToken(i).Kind != tkArea || !(parser.GetToken(i).Flags & kTokenStart)) continue;
    parser.GetTagLink(i, link);
    RewriteLink(link, base);
    areas.append(link.GetText()).append("\r\n");
  }
  if (areas.empty()) return {};
  return "\r\n<!--QUILLON MAP=ON-->\r\n<map name=\"" + EscapeHtmlText(name) + "\">" + areas +
         "</map>\r\n<!--QUILLON MAP=OFF-->";
}

// An ISMAP image whose map was drawn in the editor gets the map inline.
void TPageRewriter::RewriteImage(TTagLink& link, std::string& after) {
  const std::string real = link.HasOldRef() ? link.GetOldUrl() : ResolveUrl(link.GetUrl(), page_.FullUrl);
  TWebFile image(&web_);
  const int map = web_.FindUrl(real, image) ? web_.Maps.IndexOfName(image.GetLocalName()) : -1;
  std::string mapPath;
  if (map >= 0) {
    if (auto p = LocalNameToPath(web_.GetFolder(), web_.Maps[map].MapFile)) mapPath = p->string();
  }
  const std::string name = CleanNamePart(std::filesystem::path(image.GetLocalName()).stem().string());
  std::string base = page_.FullUrl;
  std::string block = mapPath.empty() || name.empty() ? std::string() : MapBlock(name, mapPath, base);
  TTagParam p;
  if (block.empty()) {
    if (link.FindParam("RORIVODODA", p)) {
      link.RemoveParam("USEMAP");
      link.RemoveParam("RORIVODODA");
    }
    return;
  }
  link.SetParam("USEMAP", "#" + name);
  link.SetParam("RORIVODODA", "TRUE");
  after = std::move(block);
}

std::optional<std::string> TPageRewriter::Run(std::string_view bytes, bool* frameSet) {
  // The parser reads the caller's bytes where they are.
  QByteArray data = QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  THtmlParser parser(buffer);
  parser.AnchorTexts = false;
  parser.Parse();
  if (!ownerThread_) {
    ExpectLinks(parser);
    AskExpected();
  }

  // Each rewritten link gains its OLDREF: room for that at once.
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2 + 1024);
  std::string base = page_.FullUrl;
  size_t firstLink = std::string::npos, bodyEnd = std::string::npos;
  TTagLink link;
  for (int i = 0; i < parser.GetCount(); ++i) {
    const TToken& t = parser.GetToken(i);
    // A block without its closing marker (a damaged page) stays.
    if (const int end = parser.InsertedBlockEnd(i); end >= 0) {
      const TMarker marker = parser.GetMarker(i);
      if (marker == TMarker::MapOn && out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0)
        out.resize(out.size() - 2);
      const std::string_view rest = parser.TextAfterBytes(end);
      out.append(marker == TMarker::On ? AfterRegion(rest) : rest);
      i = end;
      continue;
    }
    if (IsQuillonTag(parser, i)) {
      out.append(parser.TextAfterBytes(i));
      continue;
    }
    if (t.Kind == tkBody && (t.Flags & kTokenEnd)) bodyEnd = out.size();
    if (frameSet && t.Kind == tkFrameset && (t.Flags & kTokenStart)) *frameSet = true;
    const bool isLink = parser.GetTagLink(i, link) && (link.Flags & kTokenLinkTag) && (link.Flags & kTokenStart) &&
                        !(link.GetUrl().empty() && !link.HasOldRef());
    std::string after;
    if (isLink) {
      // The map of an ISMAP image is in the capture's map list.
      if (link.Kind == tkImg && link.IsMap && !ownerThread_) return std::nullopt;
      const size_t at = out.size();
      const bool rewritten = RewriteLink(link, base);
      if (link.Kind == tkImg && link.IsMap) RewriteImage(link, after);
      if (rewritten && firstLink == std::string::npos) firstLink = at;
      out.append(link.GetText());
    } else {
      out.append(parser.TokenBytes(i));
    }
    out.append(after);
    out.append(parser.TextAfterBytes(i));
  }

  // Insert from the end so that the earlier offset stays right.
  std::string banner;
  if (options_.Banner) {
    const std::string url = EscapeHtmlText(page_.FullUrl);
    banner = std::string(kOnMarker) + "<p><hr><b></i></s></u><var><center>  " +
             "Capturé par Quillon à partir de <A HREF=\"" + url + "\" > " + url + " </a> le " +
             EscapeHtmlText(options_.DateText ? *options_.DateText : DateTimeText(web_.CaptureDate)) + "<hr> " +
             std::string(kOffMarker);
  }
  std::string head;
  if (firstLink != std::string::npos) {
    head = "<QUILLON BASEURL=\"" + EscapeHtmlText(page_.FullUrl) + "\">";
    if (needScript_) head += std::string(kOnMarker) + std::string(kScriptBody) + std::string(kOffMarker);
  }
  const size_t bannerAt = bodyEnd == std::string::npos ? out.size() : bodyEnd;
  if (firstLink != std::string::npos && firstLink > bannerAt) {
    out.insert(firstLink, head);
    out.insert(bannerAt, banner);
  } else {
    out.insert(bannerAt, banner);
    if (!head.empty()) out.insert(firstLink, head);
  }
  return out;
}

// The links of a VRML world that lead to captured files, rewritten.
std::string VrmlBytes(TWeb& web, const TWebFile& world, const std::string& path, std::string_view bytes,
                      TLinkTargets& targets) {
  QByteArray data(bytes.data(), qsizetype(bytes.size()));
  QBuffer in(&data);
  in.open(QIODevice::ReadOnly);
  TVRMLParser parser(in);
  TRewriteOptions options;
  TPageRewriter rewriter(web, world, path, options, targets);
  QByteArray outBytes;
  QBuffer out(&outBytes);
  out.open(QIODevice::WriteOnly);
  // The documents are looked up (all at once); their "#..." parts follow
  // the local names.
  std::vector<std::string> reals(std::size_t(std::max(parser.Count(), 0)));
  for (int i = 0; i < parser.Count(); ++i) {
    std::string url, old;
    if (!parser.GetLink(i, url, old)) continue;
    reals[std::size_t(i)] = old.empty() ? ResolveUrl(url, world.FullUrl) : old;
    if (const std::string_view document = WithoutFragment(reals[std::size_t(i)]); !document.empty())
      rewriter.Expect(std::string(document));
  }
  rewriter.AskExpected();
  int64_t copied = 0;
  for (int i = 0; i < parser.Count(); ++i) {
    int64_t position = 0;
    int length = 0;
    std::string url, old;
    if (!parser.GetLinkPosition(i, position, length) || !parser.GetLink(i, url, old) || position < copied) continue;
    const std::string& real = reals[std::size_t(i)];
    const std::size_t document = WithoutFragment(real).size();
    const TLinkTarget target = rewriter.Target(real.substr(0, document));
    if (!target.Captured) continue;
    out.write(data.constData() + copied, position - copied);
    TVRMLParser::WriteLink(out, target.Local + real.substr(document), real);
    copied = position + length;
    // The link is written with its own line end: drop the one it replaces.
    if (copied < data.size() && data.at(qsizetype(copied)) == '\r') ++copied;
    if (copied < data.size() && data.at(qsizetype(copied)) == '\n') ++copied;
  }
  out.write(data.constData() + copied, data.size() - copied);
  return outBytes.toStdString();
}

}  // namespace

TRewriteOptions TRewriteOptions::FromOptions(const TOptions& options) {
  TRewriteOptions r;
  r.RealLinks = options.RealLinkFlag;
  r.SuppressLinks = options.SuppressLinkFlag;
  r.Banner = true;
  return r;
}

std::string EscapeUrlForScript(std::string_view url) { return PercentEncode(url, "\"'\\<>&%`"); }

std::string EscapeLocalLink(std::string_view path) { return PercentEncode(path, "\"'<>#%?\\`"); }

std::string RewritePageBytes(TWeb& web, const TWebFile& page, std::string_view bytes, const TRewriteOptions& options,
                             bool* frameSet, TLinkTargets* targets) {
  if (frameSet) *frameSet = false;
  TLinkTargets own(web);
  return *TPageRewriter(web, page, page.GetLocalPath(), options, targets ? *targets : own).Run(bytes, frameSet);
}

TStagedRewrite StageRewrite(TWeb& web, const TWebFile& file, const std::string& path, bool world,
                            const TRewriteOptions& options, TReplaceBatch& batch, TLinkTargets* targets, int lane) {
  TStagedRewrite staged;
  std::string bytes;
  errno = 0;
  if (!ReadWhole(path, bytes)) {
    staged.Error = errno ? errno : EIO;
    return staged;
  }
  TLinkTargets own(web);
  TLinkTargets& lookup = targets ? *targets : own;
  std::optional<std::string> out;
  if (world)
    out = VrmlBytes(web, file, path, bytes, lookup);
  else
    out = TPageRewriter(web, file, path, options, lookup, lane == 0).Run(bytes, &staged.FrameSet);
  if (!out) {
    staged.NeedsOwner = true;
    return staged;
  }
  staged.Read = true;
  staged.Growth = int64_t(out->size()) - int64_t(bytes.size());
  staged.Unchanged = *out == bytes;
  if (!world) staged.RawTitle = TWebFile::RawTitleOf(*out);
  if (!staged.Unchanged) {
    staged.Size = out->size();
    staged.Staged = batch.WriteStaged(path, *out, lane, &staged.Error);
  }
  return staged;
}

bool ApplyRewrite(TWeb& web, TWebFile& file, const std::string& path, bool world, const TRewriteOptions& options,
                  TReplaceBatch& batch, TStagedRewrite& staged) {
  if (!staged.Read) return false;
  if (world) {
    if (staged.Unchanged) return true;
    if (staged.Staged.empty()) return false;
    batch.Adopt(std::move(staged.Staged), path, staged.Size);
    return true;
  }
  file.SetFrameSet(staged.FrameSet);
  const uint8_t mark = options.Mark();
  if (staged.Unchanged) {
    if (file.GetRewriteMark() != mark) file.SetRewriteMark(mark);
    file.SaveChanges();
    return true;
  }
  file.SaveChanges();
  if (staged.Staged.empty()) return false;
  // The mark tells that the file is rewritten: set only once it is.
  batch.Adopt(std::move(staged.Staged), path, staged.Size, [&web, url = file.FullUrl, mark] {
    TWebFile stored(&web);
    if (!web.FindRecord(url, stored)) return;
    stored.SetRewriteMark(mark);
    stored.SaveChanges();
  });
  return true;
}

bool RewritePage(TWeb& web, TWebFile& page, const TRewriteOptions& options, TReplaceBatch& batch, int64_t* growth) {
  const std::string path = page.GetLocalPath();
  TStagedRewrite staged = StageRewrite(web, page, path, false, options, batch, nullptr);
  if (growth) *growth = staged.Growth;
  return ApplyRewrite(web, page, path, false, options, batch, staged);
}

bool RewritePage(TWeb& web, TWebFile& page, const TRewriteOptions& options) {
  TReplaceBatch batch(web.GetFolder());
  if (!RewritePage(web, page, options, batch) || !batch.Commit()) return false;
  page.SetRewriteMark(options.Mark());
  return true;
}

std::string RewriteVrmlBytes(TWeb& web, const TWebFile& world, std::string_view bytes, TLinkTargets* targets) {
  TLinkTargets own(web);
  return VrmlBytes(web, world, world.GetLocalPath(), bytes, targets ? *targets : own);
}

}  // namespace qlon
