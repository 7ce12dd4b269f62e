// Windows driven as a user drives them: keys go to the control that has the
// focus, lists are read and selected by their items' texts.
#pragma once

#include <QKeySequence>
#include <QString>
#include <QStringList>

class QListWidget;
class QWidget;

namespace vsk::testing {

// The texts of `list`'s items, in order.
QStringList itemsOf(const QListWidget* list);

// Selects exactly the items with these texts.
void select(QListWidget* list, const QStringList& names);

// The keyboard as it arrives: each key goes to the control that has the
// focus. The name of the control that has it after.
QString press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Presses Tab `count` times; the names of the controls it went to.
QStringList tabs(int count, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Types `text` into the control that has the focus.
void typeIn(const QString& text);

// Shows `window` and gives it the keyboard, as a click on it would.
bool showActive(QWidget& window);

// The title bar's close box: the close arrives from the window system, on
// the window rather than the widget. True when the window let itself close.
bool closeBox(QWidget& window);

}  // namespace vsk::testing
