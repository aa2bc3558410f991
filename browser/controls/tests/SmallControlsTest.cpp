#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "Gauge95.h"
#include "Gdi.h"
#include "HintUser.h"
#include "Label3D.h"
#include "MenusEx.h"
#include "Splash.h"
#include "W95Meter.h"

using namespace qlon::controls;

TEST(Gauge95, DefaultsAndBoxes) {
  TGauge95 g;
  EXPECT_EQ(g.size(), QSize(243, 24));
  EXPECT_EQ(g.FilledBoxes(), 0);
  g.SetProgress(50);
  EXPECT_EQ(g.FilledBoxes(), 10);
  EXPECT_EQ(g.BoxRect(0), QRect(2, 2, 10, 20));
  EXPECT_EQ(g.BoxRect(1).x(), 14);
  g.SetProgress(150);  // outside the bounds: ignored
  EXPECT_EQ(g.Progress(), 50);
  g.SetMaxValue(0);  // min = max: nothing filled
  EXPECT_EQ(g.FilledBoxes(), 0);
  g.SetMaxValue(3);
  g.SetProgress(2);
  EXPECT_EQ(g.FilledBoxes(), 13);  // truncated: 66.6 % of 20
}

TEST(Gauge95, PaintsOnlyFilledBoxes) {
  TGauge95 g;
  g.SetBoxColor(Qt::red);
  g.SetProgress(25);
  const QImage img = g.grab().toImage();
  EXPECT_EQ(QColor(img.pixel(g.BoxRect(4).center())), QColor(Qt::red));
  EXPECT_NE(QColor(img.pixel(g.BoxRect(5).center())), QColor(Qt::red));
  g.setEnabled(false);
  EXPECT_NE(QColor(g.grab().toImage().pixel(g.BoxRect(0).center())), QColor(Qt::red));
}

TEST(Gauge95, SizesItselfToWholeBoxes) {
  TGauge95 g;
  g.SetBounds(0, 0, 100, 24);
  EXPECT_EQ(g.BoxCount(), 8);
  EXPECT_EQ(g.width(), 99);
  EXPECT_EQ(g.height(), 24);
  g.SetAligned(true);
  g.SetBounds(0, 0, 100, 24);
  EXPECT_EQ(g.width(), 100);
  g.SetBevelStyle(bsNone);
  EXPECT_EQ(g.size(), QSize(98, 22));
  g.SetBevelStyle(bsRaised);
  EXPECT_EQ(g.size(), QSize(100, 24));
  g.SetBoxWidth(1);  // clamped to 3
  EXPECT_EQ(g.BoxWidth(), 3);
  EXPECT_EQ(g.width(), 3 * 8 + 3);
  g.SetBoxCount(0);
  EXPECT_EQ(g.BoxCount(), 1);
}

TEST(Gauge95, BoxesFollowTheSizeALayoutGives) {
  QWidget form;
  auto* layout = new QVBoxLayout(&form);
  auto* g = new TGauge95;
  layout->addWidget(g);
  g->SetProgress(100);
  form.resize(500, 60);
  form.show();
  QCoreApplication::processEvents();
  ASSERT_GT(g->width(), 400);
  EXPECT_EQ(g->BoxCount(), (g->width() - g->BorderWidth()) / g->BoxWidth());
  // Complete: the filled boxes reach the right edge, whatever the width.
  const QImage wide = g->grab().toImage();
  EXPECT_EQ(QColor(wide.pixel(g->BoxRect(g->BoxCount() - 1).center())), g->BoxColor());
  EXPECT_GT(g->BoxRect(g->BoxCount() - 1).right(), g->width() - g->BoxWidth() - 3);
  form.resize(120, 60);
  QCoreApplication::processEvents();
  EXPECT_EQ(g->BoxCount(), (g->width() - g->BorderWidth()) / g->BoxWidth());
  EXPECT_LE(g->BoxRect(g->BoxCount() - 1).right(), g->width());
}

TEST(Gauge95, KeepsItsHeightAmongOtherControls) {
  // A progress window's column: the gauge must not be squeezed to nothing
  // between the labels and the button.
  QWidget form;
  auto* layout = new QVBoxLayout(&form);
  layout->addWidget(new QLabel("site"));
  auto* g = new TGauge95;
  layout->addWidget(g);
  layout->addWidget(new QPushButton("Annuler"));
  form.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(g->height(), 24);
  EXPECT_GE(g->BoxCount(), 1);
}

TEST(W95Meter, ClampsAndErasesOnDecrease) {
  TW95Meter m;
  m.SetSegmentColor(Qt::blue);
  m.SetPercent(150);
  EXPECT_EQ(m.Percent(), 100);
  m.SetPercent(-5);
  EXPECT_EQ(m.Percent(), 0);
  EXPECT_TRUE(m.Segments().empty());
  m.SetPercent(100);
  // 100 px at a 10 px pitch: 10 segments, those ending within 96 drawn.
  EXPECT_EQ(m.Segments().size(), 9u);
  EXPECT_EQ(m.Segments()[0], QRect(4, 4, 8, 10));
  m.SetPercent(50);
  const QImage img = m.grab().toImage();
  EXPECT_EQ(QColor(img.pixel(5, 9)), QColor(Qt::blue));
  EXPECT_NE(QColor(img.pixel(85, 9)), QColor(Qt::blue));  // no stale segment
  EXPECT_EQ(QColor(img.pixel(0, 5)), fromColorRef(0x808080));  // lowered edge
  EXPECT_EQ(QColor(img.pixel(99, 5)), QColor(Qt::white));
}

TEST(W95Meter, VerticalFillsFromTheBottom) {
  TW95Meter m;
  m.resize(18, 100);
  m.SetPercent(20);
  const auto segs = m.Segments();
  ASSERT_EQ(segs.size(), 2u);
  EXPECT_EQ(bottomOf(segs[0]), 96);
  EXPECT_EQ(bottomOf(segs[1]), 86);
  EXPECT_EQ(segs[0].left(), 4);
  EXPECT_EQ(rightOf(segs[0]), 14);
}

TEST(Label3D, ShadowCopiesPerStyle) {
  TLabel3D l;
  l.SetColorLowerText(Qt::red);
  auto offsets = [&] {
    std::vector<QPoint> out;
    for (auto& c : l.Copies()) out.push_back(c.offset);
    return out;
  };
  l.SetCaptionStyle(csNone);
  EXPECT_EQ(offsets(), (std::vector<QPoint>{{0, 0}}));
  l.SetCaptionStyle(csRaised);
  EXPECT_EQ(offsets(), (std::vector<QPoint>{{-1, -1}, {0, 0}}));
  EXPECT_EQ(l.Copies()[0].color, QColor(Qt::red));
  l.SetCaptionStyle(csHeavyRecessed);
  EXPECT_EQ(offsets(), (std::vector<QPoint>{{1, 1}, {-1, -1}, {0, 0}}));
  EXPECT_EQ(l.Copies()[0].color, QColor(Qt::red));
  EXPECT_EQ(l.Copies()[1].color, l.palette().color(QPalette::Dark));
  // Disabled: the same shadows, the caption in grey.
  l.setEnabled(false);
  EXPECT_EQ(l.Copies().size(), 3u);
  EXPECT_EQ(l.Copies()[2].color, l.palette().color(QPalette::Disabled, QPalette::WindowText));
}

TEST(Label3D, HighlightsWhileTheMouseIsInside) {
  TLabel3D l;
  l.setText("x");
  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QApplication::sendEvent(&l, &enter);
  EXPECT_FALSE(l.MouseInside());  // highlighting off
  l.SetFocusHighLighing(true);
  QApplication::sendEvent(&l, &enter);
  EXPECT_TRUE(l.MouseInside());
  EXPECT_EQ(l.Copies().back().color, l.ColorFocusText());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&l, &leave);
  EXPECT_FALSE(l.MouseInside());
}

namespace {
struct Vetoing : QWidget {
  bool veto = false;
  bool event(QEvent* e) override {
    if (e->type() == HintShowEvent::eventType()) {
      static_cast<HintShowEvent*>(e)->cancel = veto;
      return true;
    }
    return QWidget::event(e);
  }
};
}  // namespace

TEST(UserHint, ShowsUnlessVetoedAndHidesQuietly) {
  TUserHint hint;
  hint.HideHint();  // never shown: nothing happens
  EXPECT_FALSE(hint.isVisible());
  Vetoing control;
  control.veto = true;
  hint.ShowHintAt(&control, QPoint(10, 20), false, "text");
  EXPECT_FALSE(hint.isVisible());
  control.veto = false;
  hint.ShowHintAt(&control, QPoint(10, 20), false, "text");
  EXPECT_TRUE(hint.isVisible());
  EXPECT_EQ(hint.pos(), QPoint(10, 20));
  hint.ShowHintAt(&control, QPoint(10, 20), true, "text");
  EXPECT_GT(hint.pos().y(), 20);
  hint.HideHint();
  EXPECT_FALSE(hint.isVisible());
  // Long texts wrap within the limit.
  const QString words = QString("ab cd ef gh ").repeated(20);
  const QRect wrapped = hint.HintRect(100, words);
  EXPECT_LE(wrapped.width(), 100);
  EXPECT_GT(wrapped.height(), hint.HintRect(10000, words).height());
}

TEST(PopupMenuEx, DropUpListsItemsAboveThePoint) {
  TPopupMenuEx menu;
  menu.addAction("one");
  menu.addAction("two")->setStatusTip("second item");
  int popups = 0;
  QString hint;
  menu.OnPopup = [&](TPopupMenuEx*) { ++popups; };
  menu.OnHint = [&](const QString& h) { hint = h; };
  EXPECT_EQ(menu.PopupPosition(50, 400), QPoint(50, 400));
  menu.SetDropUp(true);
  menu.Popup(50, 400);
  EXPECT_EQ(popups, 1);
  EXPECT_LE(menu.geometry().bottom(), 400);
  EXPECT_EQ(menu.PopupPosition(50, 400).y(), 400 - menu.sizeHint().height());
  emit menu.hovered(menu.actions()[1]);
  EXPECT_EQ(hint, "second item");
  menu.hide();
  // No room above: the menu stays on the screen.
  EXPECT_GE(menu.PopupPosition(50, 5).y(), 0);
}

TEST(Splash, ShowsOnceAndHidesAfterTheDelay) {
  QPixmap pm(40, 30);
  pm.fill(Qt::red);
  TSplash s;
  int shown = 0;
  s.OnSplash = [&](TSplash*) { ++shown; };
  s.SetPicture(pm);
  s.SetDelay(0);
  EXPECT_TRUE(s.AutoDestroy);
  s.Show();
  ASSERT_NE(TSplash::Window(), nullptr);
  EXPECT_EQ(TSplash::Window()->size(), QSize(40, 30));
  s.Show();  // a splash is open: nothing
  EXPECT_EQ(shown, 1);
  for (int i = 0; i < 100 && TSplash::Window(); ++i) QTest::qWait(20);
  EXPECT_EQ(TSplash::Window(), nullptr);
  EXPECT_TRUE(s.Picture().isNull());
  s.Show();  // shown once: nothing left to show
  EXPECT_EQ(shown, 1);
}

TEST(Splash, EmptyResourceKeepsTheBitmapAndLoadedHonoursAutoCreate) {
  QPixmap pm(10, 10);
  pm.fill(Qt::blue);
  TSplash s;
  s.SetPicture(pm);
  s.SetResource("no-such-bitmap");
  EXPECT_TRUE(s.Picture().isNull());
  s.SetResource("");
  EXPECT_FALSE(TSplash::SplashBitmap().isNull());
  s.AutoCreate = false;
  s.Loaded();
  EXPECT_EQ(TSplash::Window(), nullptr);
  s.AutoCreate = true;
  s.AutoDestroy = false;
  s.Loaded();
  EXPECT_NE(TSplash::Window(), nullptr);
  EXPECT_FALSE(s.HasTimer());
  s.Hide();
  EXPECT_EQ(TSplash::Window(), nullptr);
}
