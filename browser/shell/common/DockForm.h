#pragma once
// TDockForm: the base of the windows the main window shows either docked in
// one of its panels or as free windows (capture properties, scheduler, help,
// options). Docking makes the form a frameless child of the host, placed by
// its alignment and following the host's size; undocking gives it back its
// frame, its parent and the exact bounds it had before it was docked.
#include <QPointer>
#include <QRect>
#include <QWidget>

namespace qlon {

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TDockForm : public QWidget {
 public:
  explicit TDockForm(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::Window);
  ~TDockForm() override;

  // No effect when the state does not change, nor when docking without a host.
  virtual void SetDocked(bool docked, QWidget* parent, TAlign align);
  bool Docked() const { return Docked_; }
  QWidget* DockParent() const { return DockParent_; }
  TAlign Align() const { return Align_; }
  // The bounds kept while docked (the window's frame and place before).
  QRect SavedBounds() const { return SavedBounds_; }

 protected:
  // The window parameters the form is created with: a frameless child while
  // docked in a host, else the form's own.
  virtual Qt::WindowFlags CreateParams() const;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool Docked_ = false;
  QPointer<QWidget> DockParent_;
  QPointer<QWidget> SavedParent_;
  Qt::WindowFlags SavedFlags_;
  QRect SavedBounds_;
  TAlign Align_ = alNone;

  // Places the docked form in its host by the alignment.
  void ApplyAlign();
};

}  // namespace qlon
