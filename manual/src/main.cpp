// veskam: the manual-mode tool.
//   veskam [--start]     --start: start the link as soon as the window is up
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

#include "f_mainm.h"
#include "gui_start.h"
#include "single_instance.h"
#include "ui_common.h"
#include "veska.h"

int main(int argc, char** argv) {
    auto app = vsk::ui::openApplication(argc, argv, "veskam");
    if (!app) return vsk::ui::kNoDisplayExit;
    QApplication::setApplicationVersion(QStringLiteral(VSK_VERSION_TEXT));
    QCommandLineParser options;
    options.addHelpOption();
    options.addVersionOption();
    QCommandLineOption start(QStringLiteral("start"),
                             QStringLiteral("Start the link as soon as the window is up."));
    options.addOption(start);
    options.process(*app);

    vsk::ui::SingleInstance instance(QStringLiteral("veskam"));
    if (instance.anotherIsRunning()) {
        // The clerk who starts it again is looking for the window: show it.
        if (instance.askRunningCopyToShow()) return 0;
        std::fprintf(stderr, "veskam: another copy is running, and did not answer\n");
        return 0;
    }
    instance.serveRequestsToShow();

    vsk::ui::useJapaneseFont(*app);
    vsk::ui::F_MainM window;
    window.show();
    if (options.isSet(start))
        QTimer::singleShot(0, &window, [&window] { window.btnStart_Click(); });
    return app->exec();
}
