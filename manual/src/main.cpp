// veskam: the manual-mode tool.
//   veskam [--start]     --start: start the link as soon as the window is up
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include "f_mainm.h"
#include "gui_start.h"
#include "single_instance.h"
#include "ui_common.h"
#include "veska.h"

int main(int argc, char** argv) {
    auto app = vsk::ui::openApplication(argc, argv, "veskam");
    if (!app) return vsk::ui::kNoDisplayExit;
    vsk::ui::SingleInstance instance(QStringLiteral("veskam"));
    if (instance.anotherIsRunning()) return 0;
    QApplication::setApplicationVersion(QStringLiteral(VSK_VERSION_TEXT));
    QCommandLineParser options;
    options.addHelpOption();
    options.addVersionOption();
    QCommandLineOption start(QStringLiteral("start"),
                             QStringLiteral("Start the link as soon as the window is up."));
    options.addOption(start);
    options.process(*app);

    vsk::ui::useJapaneseFont(*app);
    vsk::ui::F_MainM window;
    window.show();
    if (options.isSet(start))
        QTimer::singleShot(0, &window, [&window] { window.btnStart_Click(); });
    return app->exec();
}
