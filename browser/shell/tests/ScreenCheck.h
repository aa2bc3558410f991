#pragma once
// What a screenshot shows that can be checked without a person: a text
// wider than the widget that draws it (cut off, or hidden behind a scroll
// bar), and a framework button left in English.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>
#include <QToolButton>
#include <QWidget>
#include <string>
#include <vector>

namespace qlon::test {

// The text as drawn: without its mnemonic marks ("&&" stays one "&").
inline QString Drawn(QString text) {
  text.replace(QLatin1String("&&"), QString(QChar(0x1)));
  text.remove(QLatin1Char('&'));
  text.replace(QChar(0x1), QLatin1Char('&'));
  return text;
}

inline std::string Name(const QWidget& w) {
  const QString name = w.objectName().isEmpty() ? QString::fromLatin1(w.metaObject()->className()) : w.objectName();
  return name.toStdString();
}

// "name: \"text\" needs N, has M" for every visible text of `top` (the
// window itself included) that does not fit its widget.
inline std::vector<std::string> ClippedTexts(const QWidget& top) {
  std::vector<std::string> clipped;
  const auto report = [&](const QWidget& w, const QString& text, int need, int have) {
    if (need > have)
      clipped.push_back(Name(w) + ": \"" + text.toStdString() + "\" needs " + std::to_string(need) + ", has " +
                        std::to_string(have));
  };
  QList<QWidget*> widgets = top.findChildren<QWidget*>();
  widgets.prepend(const_cast<QWidget*>(&top));
  for (QWidget* w : widgets) {
    if (!w->isVisible() || w->width() <= 0) continue;
    const QFontMetrics fm = w->fontMetrics();
    QStyle* style = w->style();
    if (auto* label = qobject_cast<QLabel*>(w)) {
      const QString text = label->text();
      if (text.isEmpty() || label->textFormat() == Qt::MarkdownText) continue;
      const int have = label->contentsRect().width() - 2 * label->margin() - std::max(0, label->indent());
      if (label->wordWrap() || Qt::mightBeRichText(text)) {
        // Wrapped or rich text: the lines it needs at this width must fit the height.
        if (label->wordWrap()) report(*label, text, label->heightForWidth(label->width()), label->height());
        else {
          QTextDocument doc;
          doc.setDefaultFont(label->font());
          doc.setDocumentMargin(0);
          doc.setHtml(text);
          report(*label, text, int(doc.idealWidth()), have);
        }
        continue;
      }
      for (const QString& line : Drawn(text).split(QLatin1Char('\n'))) report(*label, line, fm.horizontalAdvance(line), have);
    } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
      if (!check->text().isEmpty()) report(*check, check->text(), check->sizeHint().width(), check->width());
    } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
      if (!radio->text().isEmpty()) report(*radio, radio->text(), radio->sizeHint().width(), radio->width());
    } else if (auto* push = qobject_cast<QPushButton*>(w)) {
      if (push->text().isEmpty()) continue;
      // What the button's own drawing needs around its text (the style's
      // smallest button width left out: a short text fits a narrow button).
      QStyleOptionButton opt;
      opt.initFrom(push);
      const QSize icon = push->icon().isNull() ? QSize() : push->iconSize();
      const QSize contents(fm.horizontalAdvance(Drawn(push->text())) + (icon.isValid() ? icon.width() + 4 : 0),
                           fm.height());
      int need = style->sizeFromContents(QStyle::CT_PushButton, &opt, contents, push).width();
      if (push->menu()) need += style->pixelMetric(QStyle::PM_MenuButtonIndicator, &opt, push);
      report(*push, push->text(), need, push->width());
    } else if (auto* tool = qobject_cast<QToolButton*>(w)) {
      if (!tool->text().isEmpty() && tool->toolButtonStyle() != Qt::ToolButtonIconOnly)
        report(*tool, tool->text(), tool->sizeHint().width(), tool->width());
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      if (!group->title().isEmpty())
        report(*group, group->title(), fm.horizontalAdvance(Drawn(group->title())) + 2 * fm.averageCharWidth(),
               group->width());
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
      if (combo->isEditable() || combo->currentText().isEmpty()) continue;
      QStyleOptionComboBox opt;
      opt.initFrom(combo);
      opt.editable = false;
      const QRect field = style->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo);
      report(*combo, combo->currentText(), fm.horizontalAdvance(combo->currentText()), field.width());
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      // A row wider than the list shows a scroll bar and hides its end.
      for (int i = 0; i < list->count(); ++i)
        report(*list, list->item(i)->text(), list->sizeHintForIndex(list->model()->index(i, 0)).width(),
               list->viewport()->width());
    }
  }
  return clipped;
}

// The framework's button texts when its translation is missing.
inline const QStringList& EnglishButtonTexts() {
  static const QStringList texts = {"Cancel", "Close", "Open",  "Save",    "Yes",     "No",     "Apply", "Help",
                                    "Abort",  "Retry", "Ignore", "Discard", "Reset",   "Print",  "Yes to All",
                                    "No to All", "Restore Defaults", "Save All", "Don't Save"};
  return texts;
}

// Buttons of `top` (the window itself included) that read English.
inline std::vector<std::string> EnglishButtons(const QWidget& top) {
  std::vector<std::string> english;
  for (const QAbstractButton* b : top.findChildren<QAbstractButton*>())
    if (EnglishButtonTexts().contains(Drawn(b->text()).trimmed()))
      english.push_back(Name(*b) + ": \"" + b->text().toStdString() + "\"");
  return english;
}

// How much darker the first item's text is than the item's background (grey
// levels, 0..255), its text starting `indent` pixels into the row.
inline int FirstItemContrast(QListWidget& list, int indent) {
  if (list.count() == 0) return 0;
  const QImage shot = list.viewport()->grab().toImage();
  const QRect row = list.visualItemRect(list.item(0));
  int darkest = 255;
  for (int y = row.top() + 3; y < row.bottom() - 3; ++y)
    for (int x = row.left() + indent + 2; x < std::min(row.right(), row.left() + indent + 70); ++x)
      darkest = std::min(darkest, qGray(shot.pixel(x, y)));
  return qGray(shot.pixel(row.right() - 2, row.center().y())) - darkest;
}

}  // namespace qlon::test
