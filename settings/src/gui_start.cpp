#include "gui_start.h"

#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
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

// The sizes the icon is drawn in at build time (settings/CMakeLists.txt).
constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// The toolkit's catalogue for its own texts (file dialogs, standard buttons).
bool loadToolkitTranslations(QApplication& app) {
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                          QStringLiteral("_"), folder)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

}  // namespace

QIcon programIcon(const char* program) {
    QIcon icon;
    for (int size : kIconSizes) {
        const QString file =
            QStringLiteral(":/icons/%1-%2.png").arg(QLatin1String(program)).arg(size);
        if (QFile::exists(file)) icon.addFile(file, QSize(size, size));
    }
    if (icon.isNull()) icon = QIcon::fromTheme(QLatin1String(program));
    return icon;
}

bool dressApplication(QApplication& app, const char* program) {
    QApplication::setWindowIcon(programIcon(program));
    // Desktops group the windows with the menu entry of this name.
    QGuiApplication::setDesktopFileName(QLatin1String(program));
    // Dates, numbers and the standard dialogs the Japanese way, whatever the
    // user's locale: every other text of the tools is Japanese.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    if (loadToolkitTranslations(app)) return true;
    std::fprintf(stderr,
                 "%s: the toolkit's Japanese translations (qtbase_ja.qm in %s) are not "
                 "installed; its standard dialogs will be in English.\n",
                 program, qPrintable(QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
    return false;
}

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
    dressApplication(*app, program);
    return app;
}

}  // namespace vsk::ui
