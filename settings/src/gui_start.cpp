#include "gui_start.h"

#include <unistd.h>

#include <QByteArray>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vsk::ui {

namespace {

std::string g_program;
std::string g_hint;

void sayNoDisplay(const char* why) {
    std::fprintf(stderr, "%s: no display could be opened (%s).\n", g_program.c_str(), why);
    if (!g_hint.empty()) std::fprintf(stderr, "%s\n", g_hint.c_str());
}

// Qt ends the process with a fatal message when its platform cannot start.
// During the start that message is turned into ours and a clean exit.
void fatalAtStart(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtFatalMsg) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return;
    }
    sayNoDisplay(text.toLocal8Bit().constData());
    std::fflush(stderr);
    _exit(kNoDisplayExit);
}

// The platforms that need a display server, and whether one is named.
bool displayNamed() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true;  // offscreen, vnc, eglfs and the like bring their own
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

std::unique_ptr<QApplication> openApplication(int& argc, char** argv, const char* program,
                                              const char* hint) {
    g_program = program;
    g_hint = hint != nullptr ? hint : "";
    if (!displayNamed()) {
        sayNoDisplay("neither DISPLAY nor WAYLAND_DISPLAY is set");
        return nullptr;
    }
    QtMessageHandler previous = qInstallMessageHandler(fatalAtStart);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    return app;
}

}  // namespace vsk::ui
