// Takes the pictures of the auto tools shown in the README: both main
// windows, both job editors filled in, the confirmation of a loaded job and
// the run window during a transfer with a simulated terminal, and the file
// dialog that saves a job, each with its window frame and icon.
//
//   veska_auto_screenshots OUTPUT_FOLDER     (run by docs/take-screenshots.sh)
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <cstdio>

#include "cls_reg.h"
#include "f_auto.h"
#include "f_maind.h"
#include "f_mainu.h"
#include "f_msg.h"
#include "f_setd.h"
#include "f_setu.h"
#include "file_dialogs.h"
#include "gui_start.h"
#include "job_start.h"
#include "message_box.h"
#include "screen_grab.h"
#include "sim_process.h"
#include "test_env.h"
#include "tool_start.h"
#include "ui_common.h"

using namespace vsk;

namespace {

QString g_out;

void save(QWidget& w, const char* name) {
    vsk::testing::saveScreenshot(w, g_out, name);
}

using vsk::testing::settle;

// The upload tool's windows carry its own icon.
struct UploadToolIcon {
    UploadToolIcon() { QApplication::setWindowIcon(ui::programIcon("veskau")); }
    ~UploadToolIcon() { QApplication::setWindowIcon(ui::programIcon("veskad")); }
};

void mainWindows() {
    ui::F_MainD download;
    download.show();
    settle();
    save(download, "auto-download-main.png");
    UploadToolIcon icon;
    ui::F_MainU upload;
    upload.show();
    settle();
    save(upload, "auto-upload-main.png");
}

void editors(const QString& pc) {
    ui::F_SetD down;
    down.txtHTID()->setText(QStringLiteral("1-10,15"));
    down.txtPolling()->setText(QStringLiteral("100"));
    for (const char* name : {"MASTER.DAT", "PRICE.DAT", "*.TXT"}) {
        down.txtFileName()->setText(pc + QLatin1Char('/') + QLatin1String(name));
        down.btnAdd_Click();
    }
    down.txtFileName()->clear();
    down.chkSkip()->setChecked(true);
    down.optHis()->button(1)->setChecked(true);
    down.txtHis()->setText(pc + QStringLiteral("/HISTORY.TXT"));
    down.show();
    settle();
    save(down, "auto-download-editor.png");

    UploadToolIcon icon;
    ui::F_SetU up;
    up.txtHTID()->setText(QStringLiteral("1-20"));
    up.txtPolling()->setText(QStringLiteral("100"));
    up.txtUpFolder()->setText(pc + QStringLiteral("/in"));
    up.optFile()->button(2)->setChecked(true);
    up.txtHis()->setText(pc + QStringLiteral("/UPLOAD.TXT"));
    up.show();
    settle();
    save(up, "auto-upload-editor.png");
}

// The job editor's save dialog, in the jobs' folder.
bool fileDialog(const QString& folder) {
    QDir::setCurrent(folder);
    ui::F_SetD editor;
    editor.show();
    bool caught = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (caught || dialog == nullptr) return;
        caught = true;
        save(*dialog, "file-dialog.png");
        dialog->reject();
    });
    watch.start(50);
    ui::choosePath(ui::jobFileToSave(), &editor);
    return caught;
}

void confirmation(const QString& job) {
    ui::F_Msg msg;
    msg.Label1()->setText(ui::confirmationHeading(1));
    msg.ClrList();
    for (const QString& line : ui::confirmationOfFile(job, 1).value_or(QStringList{}))
        msg.AddList(line);
    msg.show();
    settle();
    save(msg, "auto-confirmation.png");
}

// The run window while it sends a file that the terminal takes slowly.
bool runWindow(const QString& job) {
    auto window = ui::startFromCommandLine(job, 1);
    if (!window) return false;
    bool caught = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (caught || !window->ProgressBar1()->isVisible() || window->ProgressBar1()->value() < 30)
            return;
        caught = true;
        save(*window, "auto-run-window.png");
        window->btn_Click();
    });
    watch.start(20);
    QElapsedTimer t;
    t.start();
    while (window->isVisible() && t.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return caught;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: veska_auto_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    QApplication app(argc, argv);
    ui::dressApplication(app, "veskad");
    ui::useJapaneseFont(app);
    // Absolute: a file dialog may change the current folder on the way.
    g_out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(g_out);

    vsk::testing::SettingsFolder config("auto-shots");
    htsim::testing::TempDir pc("auto-shots-pc"), jobs("auto-shots-jobs");
    ui::setMessageSink(
        [](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });
    pc.write("MASTER.DAT", std::string(40 * 512, 'm'));
    pc.write("PRICE.DAT", std::string(2300, 'p'));
    const QString pcPath = QString::fromStdString(pc.path());
    jobs.write("DAY.SIF", "[DOWNLOAD]\r\nHTID=1-3\r\nPOLLING=100\r\nSKIP=0\r\nLOGFILE=" +
                              pc.file("HISTORY.TXT") +
                              "\r\nLOGTYPE=1\r\n001DOWNFILE=" + pc.file("MASTER.DAT") +
                              "\r\n002DOWNFILE=" + pc.file("PRICE.DAT") + "\r\n");
    const QString job = QString::fromStdString(jobs.file("DAY.SIF"));

    mainWindows();
    editors(pcPath);
    confirmation(job);
    jobs.write("WEEK.SIF", "[UPLOAD]\r\nHTID=1-20\r\nPOLLING=100\r\n");
    if (!fileDialog(QString::fromStdString(jobs.path()))) {
        std::fprintf(stderr, "the file dialog was not caught\n");
        return 1;
    }

    // Terminal 2 takes each block slowly, so the run window can be caught.
    auto sim = vsk::testing::simulatorOnPort(
        1, {"--ht", "2", "--dir", "@dir:ht2", "--fault", "delay=40@W"});
    {
        ui::ClsReg reg;
        reg.setPort(1);
        reg.setBaudRate(115200);
        reg.setTimeout(1000);
    }
    if (!runWindow(job)) {
        std::fprintf(stderr, "the run window was not caught during a transfer\n");
        return 1;
    }
    return 0;
}
