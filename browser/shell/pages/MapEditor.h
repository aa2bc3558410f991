#pragma once
// TMapEditor: the image-map page of the main window. The user picks one of
// the capture's server-side image maps (MapList, or a map node of the web
// tree), draws zones over its picture (MapImage) and saves them. Saving
// writes the map's ".map" file and enters, for every zone, the URL a click
// at the zone's centre asks the server for ("<map URL>?x,y") as a page link
// of the map's page, so that the next capture fetches the server's answers.
//
// ".map" file, in the capture folder under the map's map-file name; one line
// per zone, in drawing order, values HTML-escaped:
//   <area shape="rect" coords="03,04,50,60" [target="T" ]href="URL?26,32">CR LF
// Only AREA tags with shape rect/rectangle, circle or poly/polygon and valid
// coordinates are read back; TARGET and HREF come from the map on saving.
//
// Mouse editing (image coordinates = viewport coordinates + scroll - origin,
// the origin being where a centred picture's top-left lies):
//   left press        begins a zone of the current tool; rectangles, bands
//                     and circles end on release, a polygon adds a vertex per
//                     press (dragging moves that vertex) and ends with a
//                     press on its last vertex or a double click
//   Shift+left drag   moves the first zone under the press
//   right press       deletes the last zone under the press
// A finished zone that is too small (TZone::IsValid) is dropped.
//
// The editor keeps pointers into the web's map list: the main window calls
// SetWeb (nullptr before freeing a web) and Reset after TWeb's reset.
#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "ImgMap.h"

class QAction;
class QFrame;
class QMenu;
class QToolButton;

namespace qlon {

class TWeb;
class TWUrlList;

namespace controls {
class TExImage;
}

// What the editor needs of the main window.
class IMapEditorHost {
 public:
  virtual ~IMapEditorHost() = default;
  // TMapEditor::StatusHint changed.
  virtual void RefreshStatusHints() = 0;
  // Zone links were entered into the web (its counts and lists are stale),
  // or a map file was renamed in the web's map list (the web needs saving).
  virtual void RefreshState() = 0;
  // The main window's colour dialog, opened at its own default colour; none
  // when cancelled.
  virtual std::optional<QColor> ChooseMapPenColor() = 0;
};

using TZoneList = std::vector<std::unique_ptr<TZone>>;

class TMapEditor : public QWidget {
  Q_OBJECT
 public:
  // Drawing tools, the Tag of the MapMenuTools items.
  enum TMapTool { mtRectangle = 0, mtBandH = 1, mtBandV = 2, mtCircle = 3, mtPolygon = 4 };
  // Bytes above this are not a map file the editor wrote.
  static constexpr qint64 kMaxMapFileSize = 8 << 20;

  explicit TMapEditor(IMapEditorHost& host, QWidget* parent = nullptr);
  ~TMapEditor() override;

  // Main-window life cycle: creation, web reset, destruction.
  void Init();
  void Reset();
  void Free();
  // A new current web (or none). Pending edits of the current map are saved
  // into the web being left first.
  void SetWeb(TWeb* web);
  TWeb* Web() const { return web_; }

  // Tree page tpMaps (true: with the list of maps) or tpMap (false).
  void ShowMapPage(bool show);
  // Saves the map being left when it was edited (and stays on it when that
  // fails), then loads map `index`; an index the web has no map for leaves
  // no map selected.
  void SelectMap(int index);
  void LoadMap();
  // False (the file untouched, edits kept) when the file cannot be written.
  bool SaveMapZones();
  void EnableMapMenus();

  // "<image>  |  3 zones  |  x 12, y 34" and what went wrong while loading.
  QString StatusHint() const;

  // State.
  int MapIndex() const { return mapIndex_; }
  const TMapImg* CurrentMap() const { return currentMap_; }
  const TZoneList& MapZones() const { return zones_; }
  bool MapModified() const { return modified_; }
  bool MapCreating() const { return creating_; }
  bool MapMoving() const { return moving_; }
  int MapTool() const { return tool_; }
  QColor MapPenColor() const { return penColor_; }
  bool HasClipboard() const { return clipboard_ != nullptr; }
  QPoint MapMouse() const { return mouse_; }
  // (0, 0, picture size) with a current map and its picture, else the
  // image control's client area.
  QRect ImageRect() const;
  QPoint ImageToControl(QPoint image) const;
  QPoint ControlToImage(QPoint control) const;

  // Components, named as the main window and the tests reach them.
  QFrame* MapListFrame = nullptr;
  TWUrlList* MapList = nullptr;
  controls::TExImage* MapImage = nullptr;
  QToolButton *MapFileBtn = nullptr, *MapEditBtn = nullptr, *MapToolsBtn = nullptr;
  QMenu *MapFilePopup = nullptr, *MapEditPopup = nullptr, *MapMenuTools = nullptr;
  QAction *MapMenuLoad = nullptr, *MapMenuSave = nullptr;
  QAction *MapMenuCopy = nullptr, *MapMenuPaste = nullptr, *MapMenuClear = nullptr;
  QAction *MapMenuRectangle = nullptr, *MapMenuBandH = nullptr, *MapMenuBandV = nullptr;
  QAction *MapMenuCircle = nullptr, *MapMenuPolygon = nullptr, *MapMenuColor = nullptr;

  // Commands.
  void MapListClick();
  void MapMenuLoadClick();
  void MapMenuSaveClick() { SaveMapZones(); }
  void MapMenuCopyClick();
  void MapMenuPasteClick();
  void MapMenuClearClick();
  void MapMenuToolClick(int tool);
  void MapMenuColorClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildMenus();
  void updateButtons();
  void checkTool();  // the MapMenuTools item of the current tool, alone
  void forgetMap();
  void loadZones(const std::string& folder);
  // The map file's path, renamed first when a captured file owns the name.
  std::optional<std::string> mapFilePathForSaving();
  std::string centreUrl(const TZone& zone) const;
  std::string areaLine(const TZone& zone) const;

  void mapImagePaint(QPainter& painter);
  void mapImageMouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, QPoint at,
                         bool doubleClick);
  void mapImageMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, QPoint at);
  void mapImageMouseUp(QPoint at);
  QPoint origin() const;
  TZoneRectangle imageLimit() const;
  QPoint clampToImage(QPoint image) const;
  // The bounds bookkeeping around each change of the zone being drawn or moved.
  void beforeZoneChange();
  void afterZoneChange();
  void repaintImageRect(const TZoneRectangle& r);
  void repaintImage();

  IMapEditorHost& host_;
  TWeb* web_ = nullptr;
  int mapIndex_ = -1;
  TMapImg* currentMap_ = nullptr;
  TZoneList zones_;
  std::unique_ptr<TZoneList> clipboard_;
  TZone* zone_ = nullptr;  // the zone being drawn or moved, one of zones_
  TZoneRectangle dirty_;
  bool creating_ = false, moving_ = false, modified_ = false;
  int tool_ = mtRectangle;
  QPoint grip_, mouse_;
  QColor penColor_;
  bool havePicture_ = false;
  bool mapFileUnread_ = false;  // the .map file exists but could not be read: never overwrite it
  int droppedZones_ = 0;
};

}  // namespace qlon
