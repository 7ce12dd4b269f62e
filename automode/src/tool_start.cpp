#include "tool_start.h"

#include <QApplication>
#include <QFileInfo>
#include <QStringList>

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
    if (!readJobFile(path, protype, &job, &window->runner().files())) {
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
    SingleInstance instance(QString::fromLatin1(tool.program));
    if (instance.anotherIsRunning()) return 0;
    QApplication::setApplicationVersion(QStringLiteral(VSK_VERSION_TEXT));
    useJapaneseFont(*app);

    const QString joined = QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));
    if (joined.isEmpty()) {
        std::unique_ptr<QWidget> main = tool.mainWindow();
        main->show();
        return app->exec();
    }
    std::unique_ptr<F_Auto> run = startFromCommandLine(joined, tool.protype);
    if (!run) return 1;
    QObject::connect(run.get(), &QDialog::finished, app.get(), &QCoreApplication::quit);
    app->exec();
    return run->Result() == 0 ? 0 : 1;
}

}  // namespace vsk::ui
