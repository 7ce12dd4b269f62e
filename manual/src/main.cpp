#include <QApplication>

#include "ui_common.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    vsk::ui::useJapaneseFont(app);
    return 0;
}
