#include "ui_common.h"

#include <QApplication>
#include <QFont>
#include <QScreen>
#include <QWidget>

namespace vsk::ui {

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

}  // namespace vsk::ui
