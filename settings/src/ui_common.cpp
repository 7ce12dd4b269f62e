#include "ui_common.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFont>
#include <QRadioButton>
#include <QScreen>
#include <QWidget>

namespace vsk::ui {

namespace {

// Left to itself, Tab enters a group at whichever button last had the focus,
// or at the first: not at the selected one once the selection has changed
// without the focus, as when the dialog is loaded again and gives the focus
// back to the button that had it.
void moveTabStopToSelection(QButtonGroup* group) {
    const QList<QAbstractButton*> buttons = group->buttons();
    if (buttons.isEmpty()) return;
    QAbstractButton* stop = buttons.first();
    for (QAbstractButton* button : buttons) {
        if (button->isChecked()) stop = button;
    }
    for (QAbstractButton* button : buttons) {
        button->setFocusPolicy(button == stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

// A button taking the focus makes itself the group's tab stop; the stop goes
// back to the selection after that.
class OptionButton : public QRadioButton {
  public:
    using QRadioButton::QRadioButton;

  protected:
    void focusInEvent(QFocusEvent* event) override {
        QRadioButton::focusInEvent(event);
        if (group() != nullptr) moveTabStopToSelection(group());
    }
};

}  // namespace

void useJapaneseFont(QApplication& app) {
    QFont font = app.font();
    // Best first; the style hint covers a system with none of them.
    font.setFamilies({"IPAPGothic", "IPA Pゴシック", "Noto Sans CJK JP", "Source Han Sans",
                      "VL PGothic", "TakaoPGothic"});
    font.setStyleHint(QFont::SansSerif);
    app.setFont(font);
}

void centreOnScreen(QWidget* w) {
    QScreen* screen = w->screen() != nullptr ? w->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QRect area = screen->availableGeometry();
    QSize size = w->frameGeometry().size();
    w->move(area.x() + (area.width() - size.width()) / 2,
            area.y() + (area.height() - size.height()) / 2);
}

QRadioButton* addOption(QButtonGroup* group, int id, const QString& caption, QWidget* parent) {
    auto* button = new OptionButton(caption, parent);
    group->addButton(button, id);
    QObject::connect(button, &QAbstractButton::toggled, group,
                     [group] { moveTabStopToSelection(group); });
    moveTabStopToSelection(group);
    return button;
}

}  // namespace vsk::ui
