#pragma once
// TWSocketList: the main window's list of the capture's open connections,
// one title row and one row per request of the capture's pool.
#include <QString>
#include <array>
#include <functional>

#include "Types.h"
#include "WCustomGrid.h"

namespace qlon::shell {

class TWSocketList : public controls::TWCustomGrid {
  Q_OBJECT
 public:
  // The request pool never has more rows than this table.
  static constexpr int kRows = 16;

  struct Row {
    QString web, url;
    THTTP_STATE state = sIdle;
    qint32 size = 0;
    qint32 progress = 0;
  };

  explicit TWSocketList(QWidget* parent = nullptr);

  void Clear();
  int SocketCount() const { return RowCount() - 1; }
  // Clamped to the table: 0..16 connections.
  void SetSocketCount(int n);

  // Setters ignore indexes outside 0..15 and redraw only their cells.
  void SetWeb(int index, const QString& text);
  void SetUrl(int index, const QString& text);
  void SetState(int index, THTTP_STATE state);
  void SetSize(int index, qint32 bytes);
  void SetProgress(int index, qint32 percent);

  const Row& row(int index) const { return rows_.at(index); }
  const QString& Caption(int col) const { return captions_.at(col); }

  // Draws one cell onto any painter (the paint event and tests use it).
  void PaintCell(QPainter& p, int col, int row, const QRect& rect);

 protected:
  void DrawCell(QPainter& p, int col, int row, const QRect& rect, int state) override;
  void Resized() override;

 private:
  bool valid(int index) const { return index >= 0 && index < kRows; }
  void drawText(QPainter& p, const QRect& cell, const QString& text, bool path);
  void drawProgress(QPainter& p, const QRect& cell, const Row& r);
  std::array<QString, 5> captions_;
  std::array<Row, kRows> rows_;
};

}  // namespace qlon::shell
