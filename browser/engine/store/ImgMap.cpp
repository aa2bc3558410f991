#include "ImgMap.h"

#include <QFile>
#include <QIODevice>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "HtmlParser.h"
#include "LocalPath.h"
#include "Types.h"
#include "UrlBTree.h"
#include "Urlutil.h"
#include "Utils.h"

namespace qlon {

namespace {


// The integers of a coordinates text, in order ("10, 20,30" or "10 20 30").
std::vector<int> Numbers(std::string_view text) {
  std::vector<int> out;
  for (size_t i = 0; i < text.size();) {
    bool neg = text[i] == '-' && i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]));
    if (!neg && !std::isdigit(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    if (neg) ++i;
    long long v = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
      v = std::min<long long>(v * 10 + (text[i] - '0'), 1 << 30);
      ++i;
    }
    out.push_back(int(neg ? -v : v));
  }
  return out;
}

std::string Format2(std::initializer_list<int> values) {
  std::string out;
  char buf[16];
  for (int v : values) {
    std::snprintf(buf, sizeof buf, "%.2d", v);
    if (!out.empty()) out += ',';
    out += buf;
  }
  return out;
}

TZoneRectangle Normalized(int x1, int y1, int x2, int y2) {
  return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

TZoneRectangle Clipped(TZoneRectangle r, const TZoneRectangle& limit) {
  r.Left = std::clamp(r.Left, limit.Left, limit.Right);
  r.Right = std::clamp(r.Right, limit.Left, limit.Right);
  r.Top = std::clamp(r.Top, limit.Top, limit.Bottom);
  r.Bottom = std::clamp(r.Bottom, limit.Top, limit.Bottom);
  return r;
}

}  // namespace

// ---------------------------------------------------------------- maps

TMapImg::TMapImg(std::string imageUrl, std::string imageFile, std::string mapFile, std::string title,
                 std::string mapUrl, std::string pageUrl, std::string target)
    : ImageUrl(std::move(imageUrl)),
      ImageFile(std::move(imageFile)),
      MapFile(std::move(mapFile)),
      MapUrl(std::move(mapUrl)),
      Title(std::move(title)),
      PageUrl(std::move(pageUrl)),
      Target(std::move(target)) {}

int TMapList::IndexOfName(std::string_view imageFile) const {
  for (int i = Count() - 1; i >= 0; --i)
    if (SameTextAscii(maps_[size_t(i)]->ImageFile, imageFile)) return i;
  return -1;
}

TMapImg& TMapList::AddMap(const std::string& imageUrl, const std::string& imageFile, const std::string& mapFile,
                          const std::string& title, const std::string& mapUrl, const std::string& pageUrl,
                          const std::string& target) {
  maps_.push_back(std::make_unique<TMapImg>(imageUrl, imageFile, mapFile, title, mapUrl, pageUrl, target));
  return *maps_.back();
}

void TMapList::DeleteMapFiles(const std::string& folder) const {
  for (auto& m : maps_) {
    auto path = LocalNameToPath(folder, m->MapFile);
    std::error_code ec;
    if (path && std::filesystem::is_regular_file(*path, ec)) std::filesystem::remove(*path, ec);
  }
}

bool TMapList::SaveToStream(QIODevice& stream) const {
  WriteInt16(int16_t(std::min<size_t>(maps_.size(), 0x7FFF)), stream);
  bool whole = maps_.size() <= 0x7FFF;
  for (size_t i = 0; i < maps_.size() && i < 0x7FFF; ++i) {
    const TMapImg& m = *maps_[i];
    for (const std::string* s : {&m.ImageFile, &m.MapFile, &m.MapUrl, &m.Title, &m.PageUrl, &m.Target, &m.ImageUrl})
      whole = WriteShortString(*s, stream) && whole;
  }
  return whole;
}

void TMapList::LoadFromStream(int version, QIODevice& stream) {
  Clear();
  int count = ReadInt16Checked(stream);
  if (count < 0) throw EReadError("La liste des images cliquables annonce un nombre négatif");
  for (int i = 0; i < count; ++i) {
    std::string s[7];
    for (int k = 0; k < 6; ++k) s[k] = ReadShortStringChecked(stream);
    if (version >= 513) s[6] = ReadShortStringChecked(stream);
    AddMap(s[6], s[0], s[1], s[3], s[2], s[4], s[5]);
  }
}

// The map file of an image: its local name with ".map" for the extension;
// when another map of the list has that name already ("a.gif" and "a.jpg"),
// ".map" is added to the whole name so that their zones stay apart.
static std::string MapFileOf(const std::string& local, const TMapList& maps) {
  size_t slash = local.rfind('/');
  size_t dot = local.rfind('.');
  std::string name = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? local + ".map"
                                                                                             : local.substr(0, dot) + ".map";
  for (int i = 0; i < maps.Count(); ++i)
    if (SameTextAscii(maps[i].MapFile, name)) return local + ".map";
  return name;
}

void CollectPageMaps(const std::string& pageUrl, const std::string& localPath, TUrlBTree& capture, TMapList& maps) {
  QFile file(QString::fromStdString(localPath));
  if (localPath.empty() || !file.open(QIODevice::ReadOnly)) return;
  THtmlParser parser(file);
  parser.Parse();
  std::string mapUrl, target, title;
  bool haveTitle = false;
  for (int i = 0; i < parser.GetCount(); ++i) {
    if (!(parser.GetToken(i).Flags & kTokenStart)) continue;
    TTagLink link;
    if (!parser.GetTagLink(i, link)) continue;
    std::string url = link.HasOldRef() ? link.GetOldUrl() : link.GetUrl();
    if (url.empty()) continue;
    url = ResolveUrl(url, pageUrl);
    if (link.Kind == tkA) {
      mapUrl = url;
      target = link.GetParamValue("TARGET");
    } else if (link.Kind == tkImg && link.IsMap) {
      TWebFile image(&capture);
      if (!capture.FindUrl(url, image) || image.GetState() != fsRetrieved || image.IsHtmlPage()) continue;
      std::string local = image.GetLocalName();
      if (local.empty() || maps.IndexOfName(local) >= 0) continue;
      if (!haveTitle) {
        std::string text, tag;
        if (FindTagTextInFile(localPath, "TITLE", 10, text, tag)) DecodeHtmlEntities(text, false, title);
        haveTitle = true;
      }
      maps.AddMap(image.FullUrl, local, MapFileOf(local, maps), title, mapUrl, pageUrl, target);
    }
  }
}

// ---------------------------------------------------------------- zones

void TZone::Assign(const TZone& source) {
  Creating = source.Creating;
  Anchor = source.Anchor;
  Limit = source.Limit;
  Bounds = source.Bounds;
}

void TZoneRect::Assign(const TZone& source) {
  TZone::Assign(source);
  if (auto* r = dynamic_cast<const TZoneRect*>(&source)) {
    FullWidth = r->FullWidth;
    FullHeight = r->FullHeight;
  }
}

bool TZoneRect::Contains(int x, int y) const {
  return x >= Bounds.Left && x < Bounds.Right && y >= Bounds.Top && y < Bounds.Bottom;
}

void TZoneRect::BeginCreate(int x, int y) {
  Anchor = {x, y};
  Track(x, y, 0);
  Creating = true;
}

void TZoneRect::EndCreate(int x, int y) {
  Track(x, y, kTrackFinal);
  Creating = false;
}

void TZoneRect::Track(int x, int y, int) {
  Bounds = Clipped(Normalized(Anchor.x, Anchor.y, x, y), Limit);
  if (FullWidth) Bounds.Right = Limit.Right;
  if (FullHeight) Bounds.Bottom = Limit.Bottom;
}

void TZoneRect::MoveTo(int x, int y) {
  int dx = x - Anchor.x, dy = y - Anchor.y;
  Anchor = {x, y};
  Bounds = {Bounds.Left + dx, Bounds.Top + dy, Bounds.Right + dx, Bounds.Bottom + dy};
}

TZonePoint TZoneRect::GetCenter() const {
  return {(Bounds.Left + Bounds.Right) / 2, (Bounds.Top + Bounds.Bottom) / 2};
}

std::string TZoneRect::GetCoordsText() const { return Format2({Bounds.Left, Bounds.Top, Bounds.Right, Bounds.Bottom}); }

bool TZoneRect::IsValid() const { return Bounds.Left + 5 < Bounds.Right && Bounds.Top + 5 < Bounds.Bottom; }

bool TZoneRect::ParseCoords(std::string_view text) {
  auto n = Numbers(text);
  if (n.size() < 4) return false;
  Bounds = Normalized(n[0], n[1], n[2], n[3]);
  Anchor = {Bounds.Left, Bounds.Top};
  return true;
}

bool TZoneCircle::Contains(int x, int y) const {
  double rx = (Bounds.Right - Bounds.Left) / 2.0, ry = (Bounds.Bottom - Bounds.Top) / 2.0;
  if (rx <= 0 || ry <= 0) return false;
  double dx = (x + 0.5 - (Bounds.Left + rx)) / rx, dy = (y + 0.5 - (Bounds.Top + ry)) / ry;
  return dx * dx + dy * dy <= 1.0;
}

void TZoneCircle::BeginCreate(int x, int y) {
  Anchor = {x, y};
  Bounds = {x - 1, y - 1, x + 1, y + 1};
  Creating = true;
}

void TZoneCircle::EndCreate(int x, int y) {
  if (Creating) Track(x, y, kTrackFinal);
  Creating = false;
}

void TZoneCircle::Track(int x, int y, int) {
  int r = std::min({std::abs(x - Anchor.x), std::abs(y - Anchor.y), Anchor.x - Limit.Left, Limit.Right - Anchor.x,
                    Anchor.y - Limit.Top, Limit.Bottom - Anchor.y});
  r = std::max(r, 0);
  Bounds = {Anchor.x - r, Anchor.y - r, Anchor.x + r, Anchor.y + r};
}

void TZoneCircle::MoveTo(int x, int y) {
  int dx = x - Anchor.x, dy = y - Anchor.y;
  Anchor = {x, y};
  Bounds = {Bounds.Left + dx, Bounds.Top + dy, Bounds.Right + dx, Bounds.Bottom + dy};
}

std::string TZoneCircle::GetCoordsText() const {
  return Format2({Anchor.x, Anchor.y, (Bounds.Right - Bounds.Left) / 2});
}

bool TZoneCircle::ParseCoords(std::string_view text) {
  auto n = Numbers(text);
  if (n.size() < 3) return false;
  int r = std::abs(n[2]);
  Anchor = {n[0], n[1]};
  Bounds = {n[0] - r, n[1] - r, n[0] + r, n[1] + r};
  return true;
}

void TZonePolygon::Assign(const TZone& source) {
  TZone::Assign(source);
  if (auto* p = dynamic_cast<const TZonePolygon*>(&source)) Points = p->Points;
}

void TZonePolygon::Draw(TZoneCanvas& canvas) const {
  if (Points.empty()) return;
  std::vector<TZonePoint> closed = Points;
  closed.push_back(Points.front());
  canvas.Polygon(closed);
}

bool TZonePolygon::Contains(int x, int y) const {
  if (Points.size() < 3) return false;
  // Winding number of the pixel's centre.
  double px = x + 0.5, py = y + 0.5;
  int winding = 0;
  for (size_t i = 0; i < Points.size(); ++i) {
    const TZonePoint& a = Points[i];
    const TZonePoint& b = Points[(i + 1) % Points.size()];
    double cross = (b.x - a.x) * (py - a.y) - (px - a.x) * (b.y - a.y);
    if (a.y <= py) {
      if (b.y > py && cross > 0) ++winding;
    } else if (b.y <= py && cross < 0) {
      --winding;
    }
  }
  return winding != 0;
}

void TZonePolygon::BeginCreate(int x, int y) {
  if (Points.empty()) {
    Points.push_back({x, y});
    Anchor = {x, y};
    Creating = true;
    return;
  }
  if (Creating && Points.back() == TZonePoint{x, y}) {
    Creating = false;
    return;
  }
  if (Points.size() < kMaxPoints) Points.push_back({x, y});
}

void TZonePolygon::EndCreate(int x, int y) {
  if (Creating && !Points.empty()) Points.back() = {x, y};
}

void TZonePolygon::Track(int x, int y, int flags) {
  if (Points.empty()) return;
  if (flags & kTrackFinal) {
    Points.back() = {x, y};
  } else if (std::abs(x - Points.back().x) > 5 || std::abs(y - Points.back().y) > 5) {
    Creating = false;
  }
}

void TZonePolygon::MoveTo(int x, int y) {
  int dx = x - Anchor.x, dy = y - Anchor.y;
  Anchor = {x, y};
  for (auto& p : Points) p = {p.x + dx, p.y + dy};
}

std::string TZonePolygon::GetCoordsText() const {
  std::string out;
  for (auto& p : Points) {
    if (!out.empty()) out += ',';
    out += std::to_string(p.x) + "," + std::to_string(p.y);
  }
  return out;
}

TZoneRectangle TZonePolygon::GetBounds() const {
  if (Points.empty()) return {};
  TZoneRectangle r{Points[0].x, Points[0].y, Points[0].x, Points[0].y};
  for (auto& p : Points) {
    r.Left = std::min(r.Left, p.x);
    r.Top = std::min(r.Top, p.y);
    r.Right = std::max(r.Right, p.x);
    r.Bottom = std::max(r.Bottom, p.y);
  }
  return r;
}

bool TZonePolygon::ParseCoords(std::string_view text) {
  auto n = Numbers(text);
  if (n.size() < 6) return false;
  Points.clear();
  for (size_t i = 0; i + 1 < n.size() && Points.size() < kMaxPoints; i += 2) Points.push_back({n[i], n[i + 1]});
  Anchor = Points.front();
  Bounds = GetBounds();
  return true;
}

}  // namespace qlon
