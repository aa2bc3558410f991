#pragma once
// TFrameViewer: shows a document that may be a FRAMESET. The document becomes
// a tree of frame sets (rows or columns of children sized by ROWS / COLS) and
// frames, each frame with its own THTMLViewer, or with a nested frame set when
// its source is itself a frameset document. A plain document is a frame set
// of one frame.
//
// A frame set takes at most kMaxFramesPerSet children (the others are not
// shown), and a frame tree at most kMaxFrames frames and sets, nested
// documents included: a page cannot make the viewer build windows without end.
//
// Size codes (ROWS and COLS entries, at most 20 read):
//   n > 0          n pixels (at most 5000)
//   -1 .. -99      a relative share "n*" (a bare "*" is -1)
//   -101 .. -1000  a percentage p as -(p + 100) (p at most 900)
// A set of more children than codes gives each extra child a bare share; one
// of fewer children gets an empty frame for each extra code, so children and
// codes always pair up (any number of them).
//
// Links are routed by their target (own, else the document's base target):
// "" and "_self" the clicked frame, a frame name that frame, "_top" the whole
// viewer, "_parent" the frame holding the clicked frame's set (or the whole
// viewer), any other name goes to OnBlankWindowRequest. Links of another
// scheme than a local file belong to the host (OnHotSpotTargetClick).
//
// The frame viewer keeps a history of its own: documents loaded through
// LoadFromFile and single-frame documents changed by links; each entry keeps
// the frame tree that showed it, so going back shows the same frames again.
// Frame trees no entry refers to are freed.
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "Htmlview.h"
#include "Readhtml.h"

class QMenu;
class QAction;
class QRubberBand;

namespace qlon::viewer {

class TFrameViewer;
class TFrameSet;
class TSubFrameSet;
class TFrame;
class TvwPrinter;

inline constexpr int kMaxFrameSizes = 20;
inline constexpr int kFrameBorderZone = 3;
// Frameset documents loaded inside each other beyond this depth stay empty.
inline constexpr int kMaxFrameNesting = 3;
inline constexpr int kMaxFramesPerSet = 64;
inline constexpr int kMaxFrames = 1000;

// The size codes of a ROWS or COLS text.
std::vector<int16_t> ParseFrameSizes(const QString& text);
// Each child's pixel size along an extent.
std::vector<int> FrameSizes(const std::vector<int16_t>& dim, int extent);

enum class FileKind : uint8_t { Html, Image, Text };
FileKind FileKindOf(const QString& name);

class TFrameBase : public QWidget {
 public:
  TFrameBase(QWidget* parent, TFrameViewer* owner, TSubFrameSet* master, TFrameSet* top);
  ~TFrameBase() override;
  TFrameViewer* Owner;
  TSubFrameSet* MasterSet;  // the set this one is a child of (nullptr for the top set)
  TFrameSet* TopSet;

  // Whether the children forbid moving their horizontal / vertical borders.
  virtual void CheckNoResize(bool& horizontal, bool& vertical) = 0;
  virtual void LoadFiles() = 0;
  // position < 0: each frame's kept position.
  virtual void ReloadFiles(TDocPosition position) = 0;
  virtual void UnloadFiles() = 0;
  virtual void InitializeDimensions(int x, int y, int width, int height) = 0;
  // Leaves the frame tree at once (names, viewers) and is freed later: it may
  // be running a handler of one of its own viewers.
  virtual void Retire();
  // No longer counted among the top set's members (once out of its tree).
  void Leave();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // Whether mouse moves are passed on for border dragging.
  virtual bool PassesMouse() const { return true; }

 private:
  bool counted_ = false;
};

class TFrame : public TFrameBase {
 public:
  bool NoScroll = false;
  bool NoReSize = false;
  THTMLViewer* Viewer = nullptr;
  TDocPosition FramePosition = 0;
  TSubFrameSet* FrameSet = nullptr;
  QString Source;
  QString WinName;
  FileKind Kind = FileKind::Html;

  // def nullptr: an empty frame. setFile: the frameset document it comes from.
  TFrame(TSubFrameSet* master, const TFrameDef* def, const QString& setFile);
  ~TFrame() override;

  void CheckNoResize(bool& horizontal, bool& vertical) override;
  void LoadFiles() override;
  void ReloadFiles(TDocPosition position) override;
  void UnloadFiles() override;
  void InitializeDimensions(int x, int y, int width, int height) override;
  void Retire() override;

  // A link's file (already expanded) loaded into this frame; with record, a
  // one-frame tree's document change goes into the frame viewer's history.
  void FrameLoad(const QString& file, const QString& anchor, bool record = true);
  // Drops the viewer or nested set.
  void ClearContent();

 protected:
  bool PassesMouse() const override { return !NoReSize; }
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void LoadSource(const QString& file, const QString& anchor);
  void EnsureViewer();
  void LoadViewer(const QString& file, const QString& anchor);
  void ShowError(const QString& name);
  void PlaceContent();
};

class TSubFrameSet : public TFrameBase {
 public:
  std::vector<TFrameBase*> List;
  bool Rows = false;
  std::vector<int16_t> Dim;
  std::vector<int> DimF;
  std::vector<int> Lines;  // the offset after each child
  int LineIndex = -1;
  int DimFTot = 0;
  QRect OldRect;
  TFrame* Holder = nullptr;  // the frame a nested set fills

  TSubFrameSet(QWidget* parent, TFrameViewer* owner, TSubFrameSet* master, TFrameSet* top);
  ~TSubFrameSet() override;

  TFrame* CreateFrame(const TFrameDef* def, const QString& setFile);
  TSubFrameSet* AddFrameSet(const TFrameDef& def, const QString& setFile);
  // Children and sizes from a FRAMESET description.
  void Build(const TFrameDef& def, const QString& setFile);

  void CheckNoResize(bool& horizontal, bool& vertical) override;
  void LoadFiles() override;
  void ReloadFiles(TDocPosition position) override;
  void UnloadFiles() override;
  void InitializeDimensions(int x, int y, int width, int height) override;
  void Retire() override;
  // Takes every frame and viewer below out of the top set's lists.
  void Unhook();

  // Mouse handling for border dragging; at: in this set's coordinates.
  void FrameMouse(QMouseEvent* event, QWidget* source, QPoint at);
  // The border under a point (index into Lines), or -1.
  int BorderAt(QPoint at) const;

 protected:
  void DeleteChildren();

 private:
  QRubberBand* band_ = nullptr;
  int dragPos_ = 0;
  void AlignChildren();
  int DragLimit(bool low) const;
};

class TFrameSet : public TSubFrameSet {
 public:
  std::map<QString, TFrame*> FrameNames;  // upper-cased names
  std::vector<TFrame*> Frames;
  std::vector<THTMLViewer*> Viewers;
  TSubFrameSet* DragSet = nullptr;
  int NestLevel = 0;
  int Members = 0;  // the frames and sets of the tree, the top set aside
  TFrameViewer* FrameViewer;
  QString FileName;  // the document the tree was built from

  explicit TFrameSet(TFrameViewer* owner);
  ~TFrameSet() override;

  // Reads a document: a frameset document gives its tree, any other file one
  // frame showing it.
  void LoadFromFile(const QString& file);
  void Register(TFrame* frame);
  void Unregister(TFrame* frame);
  void AddViewer(THTMLViewer* viewer) { Viewers.push_back(viewer); }
  void RemoveViewer(THTMLViewer* viewer);
  TFrame* FindFrame(const QString& name) const;
  // The single frame when the tree has exactly one.
  TFrame* SingleFrame() const { return Frames.size() == 1 ? Frames.front() : nullptr; }
  bool Full() const { return Members >= kMaxFrames; }
};

class TFrameViewer : public QWidget {
 public:
  explicit TFrameViewer(QWidget* parent = nullptr);
  ~TFrameViewer() override;

  // --- events
  std::function<void(THTMLViewer& sender, const QString& target, const QString& url, bool& handled)>
      OnHotSpotTargetClick;
  std::function<void(THTMLViewer& sender, const QString& target, const QString& url)> OnHotSpotTargetCovered;
  std::function<void(THTMLViewer& sender, const QString& target, const QString& url)> OnBlankWindowRequest;
  std::function<void(TFrameViewer& sender)> OnHistoryChange;
  std::function<void(THTMLViewer& sender, const QString& action, const QString& method, const QStringList& results)>
      OnFormSubmit;
  BitmapRequest OnBitmapRequest;
  std::function<void(TFrameViewer& sender, bool processingOn)> OnProcessing;

  // Nothing while busy; "file#name" positions a single frame to the anchor.
  // A missing file raises EInOutError and keeps what is shown.
  void LoadFromFile(const QString& name);
  // The active frame's viewer printed (Part of a job or a job of its own);
  // the pages printed, 0 without an active viewer.
  int Print(int firstPage, int lastPage);
  int Print(int firstPage, int lastPage, TvwPrinter& job);

  // The only viewer of a one-frame tree, else the one that last had the focus.
  THTMLViewer* ActiveViewer() const;
  int SelLength() const;
  QString CurrentFile() const;
  QString DocumentTitle() const;
  QString Base() const;
  QString BaseTarget() const;
  // The document loaded through LoadFromFile.
  QString FrameSetFile() const { return currentFile_; }
  TFrameSet* CurFrameSet() const { return cur_; }
  // A name turned into a path like the viewers' links, against the current file.
  QString ExpandName(const QString& name) const;
  bool Processing() const { return ownBusy_ > 0 || !busyViewers_.empty(); }
  QString HotSpotURL() const { return hotSpotUrl_; }
  QString HotSpotTarget() const { return hotSpotTarget_; }

  // --- history (index 0 = newest)
  struct HistoryEntry {
    QString File, Title;
    TDocPosition Pos = 0;
    TFrameSet* Set = nullptr;
  };
  const std::vector<HistoryEntry>& History() const { return history_; }
  int HistoryIndex() const { return historyIndex_; }
  void SetHistoryIndex(int index);
  int HistoryMaxCount() const { return historyMaxCount_; }
  void SetHistoryMaxCount(int count);

  // The popup with "Forward in Frame" and "Back in Frame", set up for the
  // viewer under the mouse (nullptr: the whole frame viewer).
  void PreparePopup(THTMLViewer* underMouse);
  QAction* ForwardAction() const { return forward_; }
  QAction* BackAction() const { return back_; }

  // --- display defaults, passed on to every frame's viewer
  bool ViewImages() const { return viewImages_; }
  void SetViewImages(bool on);
  int ImageCacheCount() const { return imageCacheCount_; }
  void SetImageCacheCount(int count);
  bool NoSelect() const { return noSelect_; }
  void SetNoSelect(bool on);
  Color DefBackground() const { return defBackground_; }
  void SetDefBackground(Color c);
  Color DefFontColor() const { return defFontColor_; }
  void SetDefFontColor(Color c);
  Color DefHotSpotColor() const { return defHotSpotColor_; }
  void SetDefHotSpotColor(Color c);
  int DefFontSize() const { return defFontSize_; }
  void SetDefFontSize(int size);
  QString DefFontName() const { return defFontName_; }
  void SetDefFontName(const QString& name);
  QString DefPreFontName() const { return defPreFontName_; }
  void SetDefPreFontName(const QString& name);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class TFrame;
  friend class TFrameSet;

  // A new frame viewer's settings and hooks.
  void SetupViewer(TFrame* frame, THTMLViewer* viewer);
  void RouteClick(TFrame* frame, THTMLViewer& sender, const QString& url);
  void ViewerProcessing(QObject* viewer, bool on);
  void SetOwnBusy(bool on);
  void ReportProcessing();
  void DoLoadFromFile(const QString& name);
  // The history around a document change: the place left, then the new entry.
  void NoteCurrentPosition();
  void AddHistory(const QString& file, const QString& title);
  void EraseHistory(size_t from, size_t to);
  void FreeIfUnused(TFrameSet* set);
  TDocPosition CurrentPosition() const;
  void MoveViewer(THTMLViewer* viewer, int step);
  template <typename F> void ForEachViewer(F f);
  // Stores a display default and gives it to every frame's viewer.
  template <typename T, typename Arg> void Pass(T& field, const T& value, void (THTMLViewer::*setter)(Arg));

  TFrameSet* cur_ = nullptr;
  QString currentFile_;
  QString hotSpotUrl_, hotSpotTarget_;
  std::vector<HistoryEntry> history_;
  int historyIndex_ = 0;
  int historyMaxCount_ = 0;
  int ownBusy_ = 0;
  std::set<QObject*> busyViewers_;
  bool reportedBusy_ = false;
  QPointer<THTMLViewer> active_;
  QPointer<THTMLViewer> popupViewer_;
  QMenu* popup_;
  QAction* forward_;
  QAction* back_;

  bool viewImages_ = true;
  int imageCacheCount_ = 5;
  bool noSelect_ = false;
  Color defBackground_ = clBtnFace;
  Color defFontColor_ = clBtnText;
  Color defHotSpotColor_ = clBlue;
  int defFontSize_ = 12;
  QString defFontName_ = QStringLiteral("Times New Roman");
  QString defPreFontName_ = QStringLiteral("Courier New");
};

}  // namespace qlon::viewer
