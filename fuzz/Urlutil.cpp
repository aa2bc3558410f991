// Any bytes through the URL model: no crash, and the rebuilt text of a URL
// (parsed alone or resolved against a base) is stable under a second parse
// and keeps the normal form's invariants, since it is the key of a record.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "Urlutil.h"

using namespace qlon;

namespace {

void CheckNormalForm(const TUrl& u) {
  const std::string full = u.GetFullUrl();
  Check(TUrl(full).GetFullUrl() == full);
  Check(full.find('\0') == std::string::npos);
  Check(full.find_first_of(" \t\r\n") == std::string::npos);
  if (u.Protocol == ipMailto) return;
  Check(!u.Path.empty() && u.Path.front() == '/' && u.Path.back() == '/');
  Check(u.Path.find("//") == std::string::npos);
  Check(u.Path == JoinPathSegments(u.Segments));
  for (std::size_t i = 1; i < u.Segments.size(); ++i)
    Check(u.Segments[i] != "../" && u.Segments[i] != "./");
  Check(full == u.GetDirectoryUrl() + u.GetDocument());
  Check(u.GetDirectoryUrl().starts_with(u.GetSiteUrl()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const char* const kBases[] = {"", "http://b.org:81/x/y/z.htm?q#f", "file:///srv/site/a.htm",
                                       "ftp://f.org/pub/", "mailto:a@b.org"};
  if (size == 0) return 0;
  const std::string_view base = kBases[data[0] % (sizeof kBases / sizeof *kBases)];
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  CheckNormalForm(TUrl(text));
  CheckNormalForm(TUrl::CreateRelative(text, base));

  // A local path never comes back with a NUL, nor relative.
  const std::string path = FileUrlToPath(PathToFileUrl("/" + std::string(text)));
  Check(path.find('\0') == std::string::npos);
  Check(path.empty() || path.front() == '/');
  (void)UnescapeUrl(text);
  (void)RelativePath(text, base);
  (void)GetUrlComponents(text);
  (void)ShortWebName(text);
  (void)CompareSites(text, base);
  return 0;
}
