#include "tool_start.h"

#include <QApplication>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>

#include "gui_start.h"
#include "job_start.h"
#include "message_box.h"
#include "single_instance.h"
#include "ui_common.h"
#include "veska.h"

namespace vsk::ui {

namespace {

// A relative job path names a file in the folder the tool was started in.
QString absoluteJobPath(const QString& path) {
    if (path.isEmpty() || path.startsWith(QLatin1Char('/'))) return path;
    return QFileInfo(path).absoluteFilePath();
}

}  // namespace

std::unique_ptr<F_Auto> startFromCommandLine(const QString& joined, int16_t protype) {
    const CommandLineStart start = parseCommandLine(joined);
    const QString path = absoluteJobPath(start.path);
    auto window = std::make_unique<F_Auto>();
    AutoJob job;
    JobRefusal why = JobRefusal::kNone;
    if (!readJobFile(path, protype, &job, &window->runner().files(), &why)) {
        // Said on stderr as well: a scheduled start may have nobody at the screen.
        std::fprintf(stderr, "%s: %s (%s)\n", qPrintable(kJobReadFailed), qPrintable(path),
                     qPrintable(jobRefusalDetail(why)));
        std::fflush(stderr);
        showError(kJobReadFailed);
        return nullptr;
    }
    window->setJob(job);
    window->setIconFlg(start.icon);
    window->setLineFromStore();
    window->setProtype(protype);
    window->runModeless();
    return window;
}

int runAutoTool(int argc, char** argv, const AutoTool& tool) {
    auto app = openApplication(argc, argv, tool.program,
                               "To run a job without a display, use: veskactl job run JOB.SIF");
    if (!app) return kNoDisplayExit;
    QApplication::setApplicationVersion(QStringLiteral(VSK_VERSION_TEXT));
    useJapaneseFont(*app);
    return startAutoTool(tool, QCoreApplication::arguments().mid(1));
}

int startAutoTool(const AutoTool& tool, const QStringList& arguments) {
    const QString joined = arguments.join(QLatin1Char(' '));
    SingleInstance instance(QString::fromLatin1(tool.program));
    // Started again without a job, the clerk is looking for the running
    // copy's window: it comes to the front.
    if (instance.anotherIsRunning() && joined.isEmpty() && instance.askRunningCopyToShow())
        return 0;
    if (instance.anotherIsRunning()) {
        std::fprintf(stderr, "%s: another copy is running; %s\n", tool.program,
                     joined.isEmpty()
                         ? "not started"
                         : qPrintable(QStringLiteral("the job was not run: ") + joined));
        std::fflush(stderr);
        showError(kAlreadyRunning);
        return kAlreadyRunningExit;
    }
    instance.serveRequestsToShow();
    if (joined.isEmpty()) {
        std::unique_ptr<QWidget> main = tool.mainWindow();
        main->show();
        return QCoreApplication::exec();
    }
    std::unique_ptr<F_Auto> run = startFromCommandLine(joined, tool.protype);
    if (!run) return 1;
    QObject::connect(run.get(), &QDialog::finished, QCoreApplication::instance(),
                     &QCoreApplication::quit);
    QCoreApplication::exec();
    return run->Result() == 0 && !run->runner().historyFailed() ? 0 : 1;
}

}  // namespace vsk::ui
