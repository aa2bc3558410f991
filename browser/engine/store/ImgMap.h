#pragma once
// Server-side image maps of a capture, and the zones the image-map editor
// draws on them.
//
// Map list stream form (inside the capture header), little-endian:
//   int16  count n
//   n x 7 short strings: image file, map file, map URL, title, page URL,
//          target, image URL (the last from capture-file version 513 on)
//
// Zones are in image pixels. Hit tests follow the rules of the platform's
// regions: a rectangle holds its left and top edges but not its right and
// bottom ones; ellipses and polygons hold the pixels whose centres lie inside
// (polygons by the winding rule). A polygon has at most 99 vertices.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QIODevice;

namespace qlon {

class TUrlBTree;

struct TZonePoint {
  int x = 0, y = 0;
  bool operator==(const TZonePoint&) const = default;
};

struct TZoneRectangle {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TZoneRectangle&) const = default;
};

// What a zone draws with; the editor implements it over its painter.
class TZoneCanvas {
 public:
  virtual ~TZoneCanvas() = default;
  virtual void Rectangle(const TZoneRectangle& r) = 0;
  virtual void Ellipse(const TZoneRectangle& bounds) = 0;
  virtual void Polygon(const std::vector<TZonePoint>& points) = 0;  // winding fill
};

class TMapImg {
 public:
  TMapImg(std::string imageUrl, std::string imageFile, std::string mapFile, std::string title, std::string mapUrl,
          std::string pageUrl, std::string target);
  std::string ImageUrl, ImageFile, MapFile, MapUrl, Title, PageUrl, Target;
};

class TMapList {
 public:
  int Count() const { return int(maps_.size()); }
  TMapImg& operator[](int i) { return *maps_[size_t(i)]; }
  const TMapImg& operator[](int i) const { return *maps_[size_t(i)]; }
  void Clear() { maps_.clear(); }
  // The last map whose image file equals the name ignoring ASCII case; -1 when none.
  int IndexOfName(std::string_view imageFile) const;
  TMapImg& AddMap(const std::string& imageUrl, const std::string& imageFile, const std::string& mapFile,
                  const std::string& title, const std::string& mapUrl, const std::string& pageUrl,
                  const std::string& target);
  // Deletes the map files that exist in the capture folder.
  void DeleteMapFiles(const std::string& folder) const;
  // False when a text was longer than a short string holds and was cut.
  bool SaveToStream(QIODevice& stream) const;
  // Raises EReadError on a truncated block.
  void LoadFromStream(int version, QIODevice& stream);

 private:
  std::vector<std::unique_ptr<TMapImg>> maps_;
};

// Adds to the list the server-side image maps of a saved page: each
// retrieved, non-HTML image marked ISMAP, with the link around it, once per
// local image.
void CollectPageMaps(const std::string& pageUrl, const std::string& localPath, TUrlBTree& capture, TMapList& maps);

class TZone {
 public:
  static constexpr int kTrackFinal = 8;

  virtual ~TZone() = default;
  bool Creating = false;
  TZonePoint Anchor;
  TZoneRectangle Limit;   // the image's area; zones stay inside it
  TZoneRectangle Bounds;  // the zone's rectangle

  virtual void Assign(const TZone& source);
  virtual void Draw(TZoneCanvas& canvas) const = 0;
  virtual bool Contains(int x, int y) const = 0;
  virtual void BeginCreate(int x, int y) = 0;
  virtual void EndCreate(int x, int y) = 0;
  virtual void Track(int x, int y, int flags) = 0;
  virtual void MoveTo(int x, int y) = 0;
  virtual TZonePoint GetCenter() const = 0;
  virtual std::string GetShapeName() const = 0;
  virtual std::string GetCoordsText() const = 0;
  virtual TZoneRectangle GetBounds() const { return Bounds; }
  virtual bool IsValid() const = 0;
  // False (and the zone unchanged) when the text holds too few numbers.
  virtual bool ParseCoords(std::string_view text) = 0;
};

class TZoneRect : public TZone {
 public:
  explicit TZoneRect(bool fullWidth = false, bool fullHeight = false)
      : FullWidth(fullWidth), FullHeight(fullHeight) {}
  bool FullWidth, FullHeight;
  void Assign(const TZone& source) override;
  void Draw(TZoneCanvas& canvas) const override { canvas.Rectangle(Bounds); }
  bool Contains(int x, int y) const override;
  void BeginCreate(int x, int y) override;
  void EndCreate(int x, int y) override;
  void Track(int x, int y, int flags) override;
  void MoveTo(int x, int y) override;
  TZonePoint GetCenter() const override;
  std::string GetShapeName() const override { return "rect"; }
  std::string GetCoordsText() const override;
  bool IsValid() const override;
  bool ParseCoords(std::string_view text) override;
};

class TZoneCircle : public TZone {
 public:
  void Draw(TZoneCanvas& canvas) const override { canvas.Ellipse(Bounds); }
  bool Contains(int x, int y) const override;
  void BeginCreate(int x, int y) override;
  void EndCreate(int x, int y) override;
  void Track(int x, int y, int flags) override;
  void MoveTo(int x, int y) override;
  TZonePoint GetCenter() const override { return Anchor; }
  std::string GetShapeName() const override { return "circle"; }
  std::string GetCoordsText() const override;
  bool IsValid() const override { return Bounds.Right - Bounds.Left > 5; }
  bool ParseCoords(std::string_view text) override;
};

class TZonePolygon : public TZone {
 public:
  static constexpr size_t kMaxPoints = 99;
  // The vertices; the closing point (the first again) is implied.
  std::vector<TZonePoint> Points;
  void Assign(const TZone& source) override;
  void Draw(TZoneCanvas& canvas) const override;
  bool Contains(int x, int y) const override;
  void BeginCreate(int x, int y) override;
  void EndCreate(int x, int y) override;
  void Track(int x, int y, int flags) override;
  void MoveTo(int x, int y) override;
  TZonePoint GetCenter() const override { return Anchor; }
  std::string GetShapeName() const override { return "POLYGON"; }
  std::string GetCoordsText() const override;
  TZoneRectangle GetBounds() const override;
  bool IsValid() const override { return Points.size() > 2; }
  bool ParseCoords(std::string_view text) override;
};

}  // namespace qlon
