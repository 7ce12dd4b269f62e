#include "widget_input.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QListWidget>
#include <QTest>
#include <QWindow>

namespace vsk::testing {

QStringList itemsOf(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
}

void select(QListWidget* list, const QStringList& names) {
    list->clearSelection();
    for (int i = 0; i < list->count(); ++i)
        if (names.contains(list->item(i)->text())) list->item(i)->setSelected(true);
}

QString press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QWidget* focused = QApplication::focusWidget();
    if (focused == nullptr) return QStringLiteral("<no focus>");
    QTest::keyClick(focused, key, modifiers);
    focused = QApplication::focusWidget();
    return focused != nullptr ? focused->objectName() : QStringLiteral("<no focus>");
}

QStringList tabs(int count, Qt::KeyboardModifiers modifiers) {
    QStringList names;
    for (int i = 0; i < count; ++i) names << press(Qt::Key_Tab, modifiers);
    return names;
}

void typeIn(const QString& text) {
    QWidget* focused = QApplication::focusWidget();
    if (focused == nullptr) {
        ADD_FAILURE() << "nothing has the focus to type into";
        return;
    }
    QTest::keyClicks(focused, text);
}

bool showActive(QWidget& window) {
    window.show();
    QApplication::setActiveWindow(&window);
    return QTest::qWaitForWindowActive(&window);
}

bool closeBox(QWidget& window) {
    QCloseEvent event;
    QApplication::sendEvent(window.windowHandle(), &event);
    return event.isAccepted();
}

}  // namespace vsk::testing
