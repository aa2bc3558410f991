#pragma once
// The Alt+letter keys a window answers, as a person meets them: the menu
// bar's titles, the buttons', check boxes' and radio buttons' captions, the
// labels that lead to a field, group titles and tabs of what is visible in
// the window now. Two owners of one key make the key cycle between them
// instead of acting: MnemonicClashes lists such keys.
#include <QAbstractButton>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QStackedWidget>
#include <QStringList>
#include <QTabBar>
#include <functional>
#include <map>

namespace qlon::test {

// "Alt+C: \"&Capture\" (QMenuBar), \"Accepter les &cookies\" (QCheckBox)"
// for each key two visible controls of the window share.
inline QStringList MnemonicClashes(QWidget& window) {
  std::map<QString, QStringList> owners;
  const auto add = [&](const QString& text, const QObject* who) {
    const QKeySequence key = QKeySequence::mnemonic(text);
    if (key.isEmpty()) return;
    const QString kind = QString::fromLatin1(who->metaObject()->className());
    owners[key.toString()] << QStringLiteral("\"%1\" (%2)").arg(text, kind);
  };
  QList<QWidget*> widgets = window.findChildren<QWidget*>();
  widgets.prepend(&window);
  for (QWidget* w : widgets) {
    // What lies in another window (a dialog of its own) is not this one's.
    if (w->window() != &window || (w != &window && !w->isVisibleTo(&window))) continue;
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      add(button->text(), w);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
      if (label->buddy()) add(label->text(), w);
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      add(group->title(), w);
    } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
      for (int i = 0; i < tabs->count(); ++i)
        if (tabs->isTabVisible(i)) add(tabs->tabText(i), w);
    } else if (auto* bar = qobject_cast<QMenuBar*>(w)) {
      for (QAction* action : bar->actions())
        if (action->isVisible()) add(action->text(), w);
    }
  }
  QStringList clashes;
  for (const auto& [key, who] : owners)
    if (who.size() > 1) clashes << key + QStringLiteral(": ") + who.join(QStringLiteral(", "));
  return clashes;
}

// Calls `check` with each page of each stack of pages in the window shown
// in turn (once when it has none), then puts the stacks back as they were.
inline void ForEachPage(QWidget& window, const std::function<void(const QString& page)>& check) {
  const QList<QStackedWidget*> stacks = window.findChildren<QStackedWidget*>();
  bool any = false;
  for (QStackedWidget* stack : stacks) {
    if (stack->window() != &window || stack->count() < 2) continue;
    any = true;
    const int was = stack->currentIndex();
    for (int i = 0; i < stack->count(); ++i) {
      stack->setCurrentIndex(i);
      check(QStringLiteral("%1 page %2").arg(stack->objectName()).arg(i));
    }
    stack->setCurrentIndex(was);
  }
  if (!any) check(QString());
}

}  // namespace qlon::test
