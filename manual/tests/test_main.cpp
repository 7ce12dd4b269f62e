#include <gtest/gtest.h>

#include <QApplication>

#include "gui_start.h"

int main(int argc, char** argv) {
    // No display is needed: the offscreen platform draws into memory.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vsk::ui::dressApplication(app, "veskam");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
