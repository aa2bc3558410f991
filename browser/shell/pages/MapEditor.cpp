#include "MapEditor.h"

#include <QAction>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "DlgVignettes.h"
#include "ExImage.h"
#include "HtmlParser.h"
#include "LocalPath.h"
#include "MessageBox.h"
#include "Urlutil.h"
#include "Utils.h"
#include "WUrlList.h"
#include "Web.h"

namespace qlon {

namespace fs = std::filesystem;

namespace {

constexpr int kAutoScrollEdge = 8;
constexpr int kListFrameHeight = 140;

// The mouse state as the zones read it: Shift 1, Alt 2, Ctrl 4, left 8,
// right 16, middle 32 (the left-button bit is TZone::kTrackFinal).
int ShiftFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
  return (mods & Qt::ShiftModifier ? 1 : 0) | (mods & Qt::AltModifier ? 2 : 0) |
         (mods & Qt::ControlModifier ? 4 : 0) | (buttons & Qt::LeftButton ? 8 : 0) |
         (buttons & Qt::RightButton ? 16 : 0) | (buttons & Qt::MiddleButton ? 32 : 0);
}

TZoneRectangle Union(const TZoneRectangle& a, const TZoneRectangle& b) {
  return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
          std::max(a.Bottom, b.Bottom)};
}

std::unique_ptr<TZone> CopyZone(const TZone& zone) {
  std::unique_ptr<TZone> copy;
  if (auto* r = dynamic_cast<const TZoneRect*>(&zone))
    copy = std::make_unique<TZoneRect>(r->FullWidth, r->FullHeight);
  else if (dynamic_cast<const TZoneCircle*>(&zone))
    copy = std::make_unique<TZoneCircle>();
  else
    copy = std::make_unique<TZonePolygon>();
  copy->Assign(zone);
  return copy;
}

TZoneList CopyZones(const TZoneList& zones) {
  TZoneList out;
  for (auto& z : zones) out.push_back(CopyZone(*z));
  return out;
}

// Zones draw in image coordinates; the painter is the control's.
class TMapCanvas : public TZoneCanvas {
 public:
  TMapCanvas(QPainter& painter, QPoint offset) : p_(painter), offset_(offset) {}
  // Outlines cover the zone's pixels: right and bottom edges excluded.
  void Rectangle(const TZoneRectangle& r) override { p_.drawRect(box(r)); }
  void Ellipse(const TZoneRectangle& r) override { p_.drawEllipse(box(r)); }
  void Polygon(const std::vector<TZonePoint>& points) override {
    QPolygon polygon;
    for (auto& pt : points) polygon << QPoint(pt.x, pt.y) + offset_;
    p_.drawPolygon(polygon, Qt::WindingFill);
  }

 private:
  QRect box(const TZoneRectangle& r) const {
    return QRect(r.Left + offset_.x(), r.Top + offset_.y(), std::max(0, r.Right - r.Left - 1),
                 std::max(0, r.Bottom - r.Top - 1));
  }
  QPainter& p_;
  QPoint offset_;
};

void ShowError(const std::string& text) {
  platform::MessageBox(text, "Erreur", platform::MB_OK | platform::MB_ICONEXCLAMATION);
}

}  // namespace

TMapEditor::TMapEditor(IMapEditorHost& host, QWidget* parent) : QWidget(parent), host_(host) {
  setObjectName("MapFrame");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  MapListFrame = new QFrame(this);
  MapListFrame->setObjectName("MapListFrame");
  MapListFrame->setFixedHeight(kListFrameHeight);
  auto* listLayout = new QVBoxLayout(MapListFrame);
  listLayout->setContentsMargins(0, 0, 0, 0);
  MapList = new TWUrlList(usMapList, usMapList, MapListFrame);
  MapList->setObjectName("MapList");
  MapList->SetStyle(usMapList);
  MapList->OnWebFileClick = [this](TWUrlList*, TWebFile&) { MapListClick(); };
  listLayout->addWidget(MapList);
  layout->addWidget(MapListFrame);

  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(2, 2, 2, 2);
  auto makeButton = [&](const char* name, const QString& text) {
    auto* b = new QToolButton(this);
    b->setObjectName(name);
    b->setText(text);
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setPopupMode(QToolButton::InstantPopup);
    buttons->addWidget(b);
    return b;
  };
  MapFileBtn = makeButton("MapFileBtn", "Map");
  MapEditBtn = makeButton("MapEditBtn", "Edition");
  MapToolsBtn = makeButton("MapToolsBtn", "Outils");
  buttons->addStretch(1);
  layout->addLayout(buttons);

  MapImage = new controls::TExImage(this);
  MapImage->setObjectName("MapImage");
  MapImage->SetCenter(true);
  MapImage->SetColor(Qt::white);
  MapImage->SetScrollMouse(false);  // a left drag draws zones here
  MapImage->OnPaint = [this](controls::TExImage*, QPainter& p, int, int, int) { mapImagePaint(p); };
  MapImage->viewport()->installEventFilter(this);
  layout->addWidget(MapImage, 1);

  buildMenus();
  Init();
  updateButtons();
}

TMapEditor::~TMapEditor() = default;

void TMapEditor::buildMenus() {
  MapFilePopup = new QMenu(this);
  MapFilePopup->setObjectName("MapFilePopup");
  MapMenuLoad = MapFilePopup->addAction("&Charger", this, &TMapEditor::MapMenuLoadClick);
  MapMenuSave = MapFilePopup->addAction("&Enregistrer", this, &TMapEditor::MapMenuSaveClick);
  MapFileBtn->setMenu(MapFilePopup);

  MapEditPopup = new QMenu(this);
  MapEditPopup->setObjectName("MapEditPopup");
  MapMenuCopy = MapEditPopup->addAction("&Copier", this, &TMapEditor::MapMenuCopyClick);
  MapMenuPaste = MapEditPopup->addAction("C&oller", this, &TMapEditor::MapMenuPasteClick);
  MapMenuClear = MapEditPopup->addAction("&Effacer", this, &TMapEditor::MapMenuClearClick);
  MapEditBtn->setMenu(MapEditPopup);

  MapMenuTools = new QMenu(this);
  MapMenuTools->setObjectName("MapMenuTools");
  auto tool = [&](const QString& text, int tag) {
    QAction* a = MapMenuTools->addAction(text, this, [this, tag] { MapMenuToolClick(tag); });
    a->setCheckable(true);
    a->setData(tag);
    return a;
  };
  MapMenuRectangle = tool("&Rectangle", mtRectangle);
  MapMenuBandH = tool("Bandeau &Horizontal", mtBandH);
  MapMenuBandV = tool("Bandeau &Vertical", mtBandV);
  MapMenuCircle = tool("&Cercle", mtCircle);
  MapMenuPolygon = tool("&Polygone", mtPolygon);
  MapMenuTools->addSeparator();
  MapMenuColor = MapMenuTools->addAction("Couleur...", this, &TMapEditor::MapMenuColorClick);
  MapToolsBtn->setMenu(MapMenuTools);

  for (QMenu* m : {MapFilePopup, MapEditPopup, MapMenuTools})
    connect(m, &QMenu::aboutToShow, this, &TMapEditor::EnableMapMenus);
}

// ---------------------------------------------------------------- life cycle

void TMapEditor::Init() {
  mapIndex_ = -1;
  currentMap_ = nullptr;
  tool_ = mtRectangle;
  penColor_ = QColor(255, 0, 0);
  EnableMapMenus();
}

void TMapEditor::forgetMap() {
  zone_ = nullptr;
  zones_.clear();
  creating_ = moving_ = modified_ = false;
  currentMap_ = nullptr;
  mapIndex_ = -1;
  havePicture_ = mapFileUnread_ = false;
  droppedZones_ = 0;
}

void TMapEditor::Reset() {
  MapImage->SetBitmap(QImage());
  forgetMap();  // the web's maps are gone already
  repaintImage();
  EnableMapMenus();
}

void TMapEditor::Free() { clipboard_.reset(); }

void TMapEditor::SetWeb(TWeb* web) {
  if (web == web_) return;
  if (currentMap_ && modified_) SaveMapZones();  // the web goes away even when that failed
  Reset();
  web_ = web;
  MapList->SetWeb(web);
  updateButtons();
}

void TMapEditor::updateButtons() {
  const bool maps = web_ && web_->Maps.Count() > 0;
  for (QToolButton* b : {MapFileBtn, MapEditBtn, MapToolsBtn}) b->setEnabled(maps);
}

void TMapEditor::ShowMapPage(bool show) {
  MapListFrame->setVisible(show);
  if (show) MapList->Reload();
  updateButtons();
}

void TMapEditor::SelectMap(int index) {
  // Edits that could not be saved keep their map (the user was told why).
  if (currentMap_ && modified_ && !SaveMapZones()) return;
  if (!web_ || index < 0 || index >= web_->Maps.Count()) {
    Reset();
    return;
  }
  mapIndex_ = index;
  LoadMap();
}

void TMapEditor::MapListClick() {
  TWebFile record(web_);
  if (!web_ || !MapList->CurrentRecord(record)) return;
  const int index = web_->Maps.IndexOfName(record.GetLocalName());
  if (index < 0 || index == mapIndex_) return;
  MapList->setEnabled(false);
  SelectMap(index);
  MapList->setEnabled(true);
}

// ---------------------------------------------------------------- files

void TMapEditor::LoadMap() {
  if (!web_ || web_->Maps.Count() == 0 || mapIndex_ < 0 || mapIndex_ >= web_->Maps.Count()) return;
  currentMap_ = &web_->Maps[mapIndex_];
  const std::string& folder = web_->GetFolder();

  // A picture that cannot be read leaves an empty control rather than the
  // previous map's picture under this map's zones.
  const auto image = LocalNameToPath(folder, currentMap_->ImageFile);
  const QImage picture = image ? LoadImageWithPalette(QString::fromStdString(image->string())) : QImage();
  havePicture_ = !picture.isNull();
  MapImage->SetBitmap(picture);
  if (!havePicture_)
    ShowError("L'image de la map \"" + currentMap_->ImageFile + "\" est introuvable ou illisible.");

  creating_ = moving_ = false;
  zone_ = nullptr;
  loadZones(folder);
  modified_ = false;
  repaintImage();
  host_.RefreshStatusHints();
  EnableMapMenus();
}

void TMapEditor::loadZones(const std::string& folder) {
  zones_.clear();
  droppedZones_ = 0;
  mapFileUnread_ = false;
  const auto path = LocalNameToPath(folder, currentMap_->MapFile);
  std::error_code ec;
  if (!path || !fs::exists(*path, ec)) return;
  QFile file(QString::fromStdString(path->string()));
  if (!fs::is_regular_file(*path, ec) || fs::file_size(*path, ec) > uint64_t(kMaxMapFileSize) ||
      !file.open(QIODevice::ReadOnly)) {
    mapFileUnread_ = true;
    ShowError("Le fichier de zones \"" + currentMap_->MapFile +
              "\" ne peut être lu : il ne sera pas remplacé par les zones de cette map.");
    return;
  }
  THtmlParser parser(file);
  parser.Parse();
  const TZoneRectangle limit = imageLimit();
  for (int i = 0; i < parser.GetCount(); ++i) {
    const TToken& token = parser.GetToken(i);
    if (!(token.Flags & kTokenStart) || token.Kind != tkArea) continue;
    TTag tag;
    parser.LoadTag(i, tag);
    std::unique_ptr<TZone> zone;
    switch (WordIndex(tag.GetParamValue("shape"), "rect rectangle circle poly polygon")) {
      case 1:
      case 2: zone = std::make_unique<TZoneRect>(); break;
      case 3: zone = std::make_unique<TZoneCircle>(); break;
      case 4:
      case 5: zone = std::make_unique<TZonePolygon>(); break;
      default: ++droppedZones_; continue;
    }
    if (!zone->ParseCoords(tag.GetParamValue("coords")) || !zone->IsValid()) {
      ++droppedZones_;
      continue;
    }
    zone->Limit = limit;
    zones_.push_back(std::move(zone));
  }
}

std::optional<std::string> TMapEditor::mapFilePathForSaving() {
  const std::string& folder = web_->GetFolder();
  // A ".map" file captured from the site beside its image belongs to its
  // record: the zones go to a name of their own instead.
  auto owned = [&](const std::string& name) {
    bool found = false;
    web_->ForEach([&](TWebFile& r) {
      found = SameTextAscii(r.GetLocalName(), name);
      return !found;
    });
    return found;
  };
  if (owned(currentMap_->MapFile)) {
    const std::string other = currentMap_->ImageFile + ".zones.map";
    if (owned(other)) return std::nullopt;
    currentMap_->MapFile = other;
    host_.RefreshState();
  }
  const auto path = LocalNameToPath(folder, currentMap_->MapFile);
  if (!path) return std::nullopt;
  return path->string();
}

std::string TMapEditor::centreUrl(const TZone& zone) const {
  const TZonePoint c = zone.GetCenter();
  return currentMap_->MapUrl + "?" + std::to_string(c.x) + "," + std::to_string(c.y);
}

std::string TMapEditor::areaLine(const TZone& zone) const {
  std::string line = "<area shape=\"" + zone.GetShapeName() + "\" coords=\"" + zone.GetCoordsText() + "\" ";
  if (!currentMap_->Target.empty()) line += "target=\"" + EscapeHtmlText(currentMap_->Target) + "\" ";
  return line + "href=\"" + EscapeHtmlText(centreUrl(zone)) + "\">\r\n";
}

bool TMapEditor::SaveMapZones() {
  if (!currentMap_ || !web_) return false;
  if (mapFileUnread_) {
    ShowError("Le fichier de zones \"" + currentMap_->MapFile +
              "\" n'a pas pu être lu : il n'est pas remplacé. Rechargez la map une fois le fichier réparé.");
    return false;
  }
  const auto path = mapFilePathForSaving();
  if (!path) {
    ShowError("Les zones de la map \"" + currentMap_->ImageFile + "\" ne peuvent être enregistrées dans le dossier du Web.");
    return false;
  }
  // A zone still being drawn when the map is left is not one yet.
  std::vector<const TZone*> zones;
  for (auto& zone : zones_)
    if (zone->IsValid()) zones.push_back(zone.get());
  std::string text;
  for (const TZone* zone : zones) text += areaLine(*zone);
  QSaveFile file(QString::fromStdString(*path));
  if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), qint64(text.size())) != qint64(text.size()) ||
      !file.commit()) {
    ShowError("Le fichier de zones \"" + currentMap_->MapFile + "\" n'a pas pu être enregistré.");
    return false;
  }

  // Each zone's centre URL becomes a page link of the map's page.
  TWebFile page(web_);
  if (!zones.empty() && IsAbsoluteUrl(currentMap_->MapUrl) && web_->FindUrl(currentMap_->PageUrl, page)) {
    int refused = 0;
    for (const TZone* zone : zones) {
      TWebFile link(web_);
      link.FullUrl = centreUrl(*zone);
      link.SetLinkType(ltPage);
      if (!web_->AddLink(link, &page)) ++refused;
    }
    host_.RefreshState();
    if (refused > 0)
      ShowError(std::to_string(refused) + " adresse(s) de zone de la map \"" + currentMap_->ImageFile +
                "\" n'ont pas pu être ajoutées au Web.");
  }
  modified_ = false;
  host_.RefreshStatusHints();
  return true;
}

// ---------------------------------------------------------------- commands

void TMapEditor::MapMenuLoadClick() {
  if (currentMap_) LoadMap();
}

void TMapEditor::MapMenuCopyClick() {
  if (!clipboard_) clipboard_ = std::make_unique<TZoneList>();
  *clipboard_ = CopyZones(zones_);
  EnableMapMenus();
}

void TMapEditor::MapMenuPasteClick() {
  if (!clipboard_ || !currentMap_) return;
  zone_ = nullptr;
  creating_ = moving_ = false;
  zones_ = CopyZones(*clipboard_);
  repaintImage();
  modified_ = true;
  host_.RefreshStatusHints();
}

void TMapEditor::MapMenuClearClick() {
  if (!currentMap_) return;
  zone_ = nullptr;
  creating_ = moving_ = false;
  zones_.clear();
  modified_ = true;  // the emptied map is saved like any edit
  repaintImage();
  host_.RefreshStatusHints();
}

void TMapEditor::MapMenuToolClick(int tool) {
  tool_ = std::clamp(tool, int(mtRectangle), int(mtPolygon));
  checkTool();
}

void TMapEditor::checkTool() {
  for (QAction* a : MapMenuTools->actions())
    if (a->isCheckable()) a->setChecked(a->data().toInt() == tool_);
}

void TMapEditor::MapMenuColorClick() {
  if (auto color = host_.ChooseMapPenColor()) penColor_ = *color;
  repaintImage();
}

void TMapEditor::EnableMapMenus() {
  const bool map = currentMap_ != nullptr;
  MapMenuLoad->setEnabled(true);
  MapMenuSave->setEnabled(map);
  MapMenuCopy->setEnabled(map);
  MapMenuClear->setEnabled(map);
  MapMenuPaste->setEnabled(map && clipboard_);
  if (map) checkTool();
}

QString TMapEditor::StatusHint() const {
  if (!currentMap_) return {};
  QString hint = QString::fromStdString(currentMap_->ImageFile) +
                 QString("  |  %1 zone%2  |  x %3, y %4")
                     .arg(zones_.size())
                     .arg(zones_.size() > 1 ? "s" : "")
                     .arg(mouse_.x())
                     .arg(mouse_.y());
  if (modified_) hint += "  |  modifiée";
  if (!havePicture_) hint += "  |  image introuvable";
  if (mapFileUnread_) hint += "  |  fichier de zones illisible";
  if (droppedZones_ > 0) hint += QString("  |  %1 zone(s) illisible(s) ignorée(s)").arg(droppedZones_);
  return hint;
}

// ---------------------------------------------------------------- drawing

QRect TMapEditor::ImageRect() const {
  if (currentMap_ && havePicture_) return QRect(QPoint(0, 0), MapImage->Bitmap().size());
  return QRect(QPoint(0, 0), MapImage->viewport()->size());
}

TZoneRectangle TMapEditor::imageLimit() const {
  const QRect r = ImageRect();
  return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

QPoint TMapEditor::clampToImage(QPoint image) const {
  const TZoneRectangle r = imageLimit();
  return QPoint(std::max(std::min(image.x(), r.Right), r.Left), std::max(std::min(image.y(), r.Bottom), r.Top));
}

QPoint TMapEditor::origin() const {
  return MapImage->Bitmap().isNull() ? QPoint(0, 0) : MapImage->Margins();
}

QPoint TMapEditor::ControlToImage(QPoint control) const {
  return control + QPoint(MapImage->HorzPos(), MapImage->VertPos()) - origin();
}

QPoint TMapEditor::ImageToControl(QPoint image) const {
  return image - QPoint(MapImage->HorzPos(), MapImage->VertPos()) + origin();
}

void TMapEditor::mapImagePaint(QPainter& painter) {
  if (zones_.empty()) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(penColor_, 1));
  painter.setBrush(Qt::NoBrush);
  TMapCanvas canvas(painter, ImageToControl(QPoint(0, 0)));
  for (auto& zone : zones_) zone->Draw(canvas);
  painter.restore();
}

void TMapEditor::repaintImageRect(const TZoneRectangle& r) {
  if (r.Left == r.Right || r.Top == r.Bottom) return;
  const QPoint topLeft = ImageToControl(QPoint(r.Left, r.Top));
  // One pixel more each way: a polygon's outline runs on its bounding box.
  MapImage->viewport()->repaint(QRect(topLeft, QSize(r.Right - r.Left, r.Bottom - r.Top)).adjusted(-1, -1, 2, 2));
}

void TMapEditor::repaintImage() { MapImage->viewport()->repaint(); }

void TMapEditor::beforeZoneChange() {
  if ((creating_ || moving_) && zone_) dirty_ = zone_->GetBounds();
}

void TMapEditor::afterZoneChange() {
  if (!(creating_ || moving_) || !zone_) return;
  dirty_ = Union(dirty_, zone_->GetBounds());
  if (!zone_->Creating && !moving_) {
    if (!zone_->IsValid()) {
      auto it = std::find_if(zones_.begin(), zones_.end(), [&](auto& z) { return z.get() == zone_; });
      if (it != zones_.end()) zones_.erase(it);
    }
    zone_ = nullptr;
    creating_ = false;
  }
  repaintImageRect(dirty_);
}

// ---------------------------------------------------------------- mouse

bool TMapEditor::eventFilter(QObject* watched, QEvent* event) {
  if (watched == MapImage->viewport()) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick: {
        auto* e = static_cast<QMouseEvent*>(event);
        mapImageMouseDown(e->button(), e->buttons(), e->modifiers(), e->position().toPoint(),
                          event->type() == QEvent::MouseButtonDblClick);
        break;
      }
      case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        mapImageMouseMove(e->buttons(), e->modifiers(), e->position().toPoint());
        break;
      }
      case QEvent::MouseButtonRelease:
        mapImageMouseUp(static_cast<QMouseEvent*>(event)->position().toPoint());
        break;
      default: break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TMapEditor::mapImageMouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods,
                                   QPoint at, bool doubleClick) {
  if (!currentMap_) return;
  QPoint pt = ControlToImage(at);
  // The second press of a double click lands on the vertex the first one
  // made, even when the hand moved a pixel: it ends the polygon.
  if (auto* polygon = dynamic_cast<TZonePolygon*>(zone_); doubleClick && creating_ && polygon && !polygon->Points.empty())
    pt = QPoint(polygon->Points.back().x, polygon->Points.back().y);
  // A zone begins on the picture, even when the press is in the margin of a centred one.
  int x = clampToImage(pt).x(), y = clampToImage(pt).y();
  const TZoneRectangle limit = imageLimit();
  moving_ = false;
  if (!creating_) {
    if (button == Qt::RightButton) {
      for (auto it = zones_.rbegin(); it != zones_.rend(); ++it) {
        if ((*it)->Contains(pt.x(), pt.y())) {
          zones_.erase(std::next(it).base());
          modified_ = true;
          repaintImage();
          break;
        }
      }
      host_.RefreshStatusHints();
      return;
    }
    if (button == Qt::LeftButton && mods == Qt::ShiftModifier && buttons == Qt::LeftButton) {
      for (auto& z : zones_) {
        if (!z->Contains(pt.x(), pt.y())) continue;
        zone_ = z.get();
        zone_->Limit = limit;
        moving_ = true;
        grip_ = QPoint(pt.x() - zone_->Anchor.x, pt.y() - zone_->Anchor.y);
        beforeZoneChange();
        afterZoneChange();
        break;
      }
    } else if (button == Qt::LeftButton) {
      std::unique_ptr<TZone> zone;
      switch (tool_) {  // a band starts at the picture's edge
        case mtBandH:
          zone = std::make_unique<TZoneRect>(true, false);
          x = 0;
          break;
        case mtBandV:
          zone = std::make_unique<TZoneRect>(false, true);
          y = 0;
          break;
        case mtCircle: zone = std::make_unique<TZoneCircle>(); break;
        case mtPolygon: zone = std::make_unique<TZonePolygon>(); break;
        default: zone = std::make_unique<TZoneRect>(); break;
      }
      zone->Anchor = {x, y};
      zone->Limit = limit;
      dirty_ = zone->GetBounds();
      zone_ = zone.get();
      zones_.push_back(std::move(zone));
      creating_ = true;
      modified_ = true;
    }
  }
  if (creating_ && zone_) {
    beforeZoneChange();
    zone_->BeginCreate(x, y);
    afterZoneChange();
    if (zone_) dirty_ = zone_->GetBounds();
  }
  host_.RefreshStatusHints();
}

void TMapEditor::mapImageMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, QPoint at) {
  if (!currentMap_) return;
  const QWidget* vp = MapImage->viewport();
  if (at.x() < kAutoScrollEdge) MapImage->ScrollHorizontal(-kAutoScrollEdge);
  if (at.x() > vp->width() - kAutoScrollEdge) MapImage->ScrollHorizontal(kAutoScrollEdge);
  if (at.y() < kAutoScrollEdge) MapImage->ScrollVertical(-kAutoScrollEdge);
  if (at.y() > vp->height() - kAutoScrollEdge) MapImage->ScrollVertical(kAutoScrollEdge);

  const QPoint pt = ControlToImage(at);
  mouse_ = pt;
  const int flags = ShiftFlags(buttons, mods);
  if (creating_ && zone_) {
    // An open polygon follows the mouse only while a button drags its last
    // vertex: moving to the next vertex must not end it.
    if (dynamic_cast<TZonePolygon*>(zone_) && !(flags & TZone::kTrackFinal)) {
      host_.RefreshStatusHints();
      return;
    }
    beforeZoneChange();
    const QPoint inside = clampToImage(pt);
    zone_->Track(inside.x(), inside.y(), flags);
    afterZoneChange();
  } else if (moving_ && zone_ && mods == Qt::ShiftModifier && buttons == Qt::LeftButton) {
    beforeZoneChange();
    const QPoint anchor = pt - grip_;
    if (anchor.x() >= 1 && anchor.y() >= 1) {
      zone_->MoveTo(anchor.x(), anchor.y());
      mouse_ = anchor;
      modified_ = true;
    }
    afterZoneChange();
  } else {
    moving_ = false;
  }
  host_.RefreshStatusHints();
}

void TMapEditor::mapImageMouseUp(QPoint at) {
  if (!currentMap_) return;
  if (creating_ && zone_) {
    const QPoint inside = clampToImage(ControlToImage(at));
    beforeZoneChange();
    zone_->EndCreate(inside.x(), inside.y());
    afterZoneChange();
  }
  host_.RefreshStatusHints();
}

}  // namespace qlon
