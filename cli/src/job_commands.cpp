#include "job_commands.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <chrono>
#include <iostream>
#include <optional>
#include <thread>

#include "auto_run.h"
#include "cls_setfile.h"
#include "history.h"
#include "job_start.h"
#include "report.h"
#include "result_codes.h"
#include "session.h"

namespace veskactl {
namespace {

using vsk::ui::AutoRunner;

// The tools' run window ticks at this interval.
constexpr std::chrono::milliseconds kPollingInterval{50};

std::string utf8(const QString& text) {
    return text.toStdString();
}

std::string sectionWord(int16_t protype) {
    return protype == kUploadJob ? "upload" : "download";
}

// The file named the job; `protype` names the job of it that failed, 0 when
// the file as a whole could not be read.
int reportReadFailure(const std::string& typed, int16_t protype = 0) {
    std::cerr << "veskactl: " << utf8(vsk::ui::kJobReadFailed) << ": " << typed;
    if (protype != 0) std::cerr << " (" << sectionWord(protype) << " job)";
    std::cerr << "\n";
    return kExitFailed;
}

std::vector<int16_t> jobsToTake(const QString& path, JobDirection direction) {
    switch (direction) {
        case JobDirection::kDownload:
            return {kDownloadJob};
        case JobDirection::kUpload:
            return {kUploadJob};
        case JobDirection::kEither:
            break;
    }
    return jobsHeld(path);
}

std::string confirmationText(int16_t protype, const QStringList& lines) {
    std::string text = utf8(vsk::ui::confirmationHeading(protype)) + "\n";
    for (const QString& line : lines) text += utf8(line) + "\n";
    return text;
}

// What a run tells its user: one line per terminal served, on stdout and
// flushed at once, so that a reader of a pipe sees each as it happens.
class StatusLines : public vsk::ui::RunEvents {
  public:
    explicit StatusLines(int16_t protype) : protype_(protype) {}

    void transferEnded(const QString& ht, int32_t result, int32_t count) override {
        std::cout << jobStatusLine(QDateTime::currentDateTime(), ht, protype_, count, result)
                  << std::flush;
    }
    // A failure that keeps coming back, a history that cannot be written,
    // files left out: once each time it begins or ends.
    void notice(const QString& text) override {
        std::cerr << "veskactl: " << utf8(text) << std::endl;
    }

  private:
    int16_t protype_;
};

void abortRunner(void* runner) {
    static_cast<AutoRunner*>(runner)->abort();
}

// The tools' closing message where there is one, and veskactl's own report
// of the port, so that the user learns which device was tried.
int reportNotOpened(AutoRunner& runner) {
    const int32_t code = runner.Result();
    const QString message = runner.close();
    if (!message.isEmpty()) std::cerr << "veskactl: " << utf8(message) << "\n";
    LineOptions line = defaultLineOptions();
    line.port = runner.job().ComPort;
    reportOpenFailure(line, code);
    return kExitFailed;
}

// The run as the tools' run window makes it, with a plain loop for its timer.
int runUntilEnded(AutoRunner& runner) {
    InterruptRoute route(abortRunner, &runner);
    runner.reset();
    // reset() forgets an abort, so one that came before it is passed on again.
    if (Session::interruptRequested()) runner.abort();
    if (!runner.open()) return reportNotOpened(runner);
    while (runner.pollingTick()) std::this_thread::sleep_for(kPollingInterval);
    const QString message = runner.close();
    if (!message.isEmpty()) {
        std::cerr << "veskactl: " << utf8(message) << "\n";
        return kExitFailed;
    }
    if (runner.aborted()) {
        std::cerr << "veskactl: job run interrupted\n";
        return kExitFailed;
    }
    // Nothing else ends a run: the stop file said so. Said here because a stop
    // file left behind ends every later run before it polls anything.
    std::cout << "stopped by " << utf8(runner.job().stopFolder + AutoRunner::kStopFileName) << "\n";
    if (runner.historyFailed()) {
        std::cerr << "veskactl: the history file could not always be written; lines are missing\n";
        return kExitFailed;
    }
    return kExitOk;
}

// The one job a run takes; throws UsageError when the file leaves the choice
// open. 0 when the file holds no job.
int16_t chooseJob(const QString& path, const Invocation& invocation) {
    const std::vector<int16_t> jobs = jobsToTake(path, invocation.direction);
    if (jobs.size() > 1)
        throw UsageError(invocation.operands[0] +
                         " holds a download and an upload job; choose one with --download or "
                         "--upload");
    return jobs.empty() ? 0 : jobs[0];
}

}  // namespace

QString jobFilePath(const std::string& typed) {
    if (typed.empty()) return {};
    return QFileInfo(QFile::decodeName(typed.c_str())).absoluteFilePath();
}

std::vector<int16_t> jobsHeld(const QString& path) {
    vsk::ui::ClsSetFile file;
    if (!file.setfilename(path)) return {};
    std::vector<int16_t> jobs;
    for (int16_t protype : {kDownloadJob, kUploadJob})
        if (!file.GetHTNO(protype).isEmpty()) jobs.push_back(protype);
    return jobs;
}

void applyTypedLine(const Invocation& invocation, vsk::ui::AutoJob& job) {
    const unsigned given = invocation.lineGiven;
    const LineSettings typed = toLineSettings(invocation.line);
    LineSettings& line = job.line;
    if (given & kLinePort) job.ComPort = invocation.line.port;
    if (given & kLineBaud) line.BaudRate = typed.BaudRate;
    if (given & kLineParity) line.Parity = typed.Parity;
    if (given & kLineData) line.BiteSize = typed.BiteSize;
    if (given & kLineStop) line.StopBits = typed.StopBits;
    if (given & kLineTimeout) line.timeout = typed.timeout;
    if (given & kLineRetry) line.Retry = typed.Retry;
    if (given & kLinePolling) job.PollingTout = invocation.line.pollingMs;
}

std::string jobStatusLine(const QDateTime& when, const QString& ht, int16_t protype, int32_t count,
                          int32_t result) {
    QString text = vsk::ui::historyResultText(result);
    // The tools leave codes outside their table without a text.
    if (text.isEmpty()) text = QString::fromUtf8(vsk::resultText(result));
    return utf8(when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))) + " HT " + utf8(ht) + " " +
           sectionWord(protype) + " " + std::to_string(count) + (count == 1 ? " file" : " files") +
           ": " + std::to_string(result) + " " + utf8(text) + "\n";
}

int runJobShow(const Invocation& invocation) {
    const std::string& typed = invocation.operands[0];
    const QString path = jobFilePath(typed);
    const std::vector<int16_t> jobs = jobsToTake(path, invocation.direction);
    if (jobs.empty()) return reportReadFailure(typed);
    int status = kExitOk;
    bool shown = false;
    for (int16_t protype : jobs) {
        const std::optional<QStringList> lines = vsk::ui::confirmationOfFile(path, protype);
        if (!lines) {
            status = reportReadFailure(typed, jobs.size() > 1 ? protype : 0);
            continue;
        }
        std::cout << (shown ? "\n" : "") << confirmationText(protype, *lines);
        shown = true;
    }
    return status;
}

int runJobRun(const Invocation& invocation) {
    const std::string& typed = invocation.operands[0];
    const QString path = jobFilePath(typed);
    const int16_t protype = chooseJob(path, invocation);
    if (protype == 0) return reportReadFailure(typed);

    StatusLines events(protype);
    AutoRunner runner(&events);
    vsk::ui::JobRefusal why = vsk::ui::JobRefusal::kNone;
    if (!vsk::ui::readJobFile(path, protype, &runner.job(), &runner.files(), &why)) {
        // A job that selects no terminal would poll nothing, for ever.
        if (why == vsk::ui::JobRefusal::kNoTerminal) {
            std::cerr << "veskactl: the " << sectionWord(protype) << " job of " << typed
                      << " selects no terminal\n";
            return kExitFailed;
        }
        if (why == vsk::ui::JobRefusal::kTooLarge) {
            std::cerr << "veskactl: " << utf8(vsk::ui::kJobReadFailed) << ": " << typed << " ("
                      << utf8(vsk::ui::jobRefusalDetail(why)) << ")\n";
            return kExitFailed;
        }
        return reportReadFailure(typed);
    }
    vsk::ui::takeStoredLine(&runner.job());
    applyTypedLine(invocation, runner.job());
    return runUntilEnded(runner);
}

}  // namespace veskactl
