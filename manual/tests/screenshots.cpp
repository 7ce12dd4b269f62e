// Takes the pictures of the manual tool shown in the README: the main window
// connected to a simulated terminal, the progress window during a transfer,
// the serial settings dialog, a delete confirmation and the error box of a
// port that cannot be opened, each with its window frame and icon.
//
//   veskam_screenshots OUTPUT_FOLDER      (run by docs/take-screenshots.sh)
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "cls_reg.h"
#include "dialog_driver.h"
#include "f_con.h"
#include "f_mainm.h"
#include "f_prog.h"
#include "f_setrs.h"
#include "file_list_box.h"
#include "gui_start.h"
#include "message_box.h"
#include "qt_wait.h"
#include "screen_grab.h"
#include "sim_process.h"
#include "test_env.h"
#include "ui_common.h"
#include "widget_input.h"

using namespace vsk;
using vsk::testing::DialogDriver;
using vsk::testing::select;
using vsk::testing::waitUntil;

namespace {

QString g_out;

void save(QWidget& w, const char* name) {
    vsk::testing::saveScreenshot(w, g_out, name);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: veskam_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    QApplication app(argc, argv);
    ui::dressApplication(app, "veskam");
    ui::useJapaneseFont(app);
    // Absolute: a file dialog may change the current folder on the way.
    g_out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(g_out);

    vsk::testing::SettingsFolder config("veskam-shots");
    htsim::testing::TempDir store("veskam-shots-ht"), pc("veskam-shots-pc");
    store.write("STOCK.TXT", std::string(1520, 's'));
    store.write("ORDER01.DAT", std::string(384, 'o'));
    store.write("COUNT.DAT", std::string(96, 'c'));
    pc.write("MASTER.DAT", std::string(60 * 512, 'm'));
    pc.write("PRICE.DAT", std::string(2300, 'p'));
    pc.write("ITEMS.DAT", std::string(900, 'i'));
    pc.write("APP.HEX", std::string(1000, 'h'));
    // Downloads are slowed down so that the progress window can be caught.
    auto sim = vsk::testing::simulatorOnPort(
        1, {"--ht", "1", "--dir", store.path(), "--free", "482304", "--fault", "delay=25@D"});
    {
        ui::ClsReg reg;
        reg.setPort(1);
        reg.setBaudRate(115200);
        reg.setDefFolder(QString::fromStdString(pc.path()));
    }
    ui::setMessageSink(
        [](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });

    ui::F_MainM window;
    window.show();
    window.btnStart()->click();
    if (!waitUntil([&] { return window.connected() && window.btnCopy()->isEnabled(); })) {
        std::fprintf(stderr, "the simulated terminal did not answer\n");
        return 1;
    }
    vsk::testing::select(window.lstHOSTFile(), {"PRICE.DAT", "ITEMS.DAT"});
    waitUntil([] { return false; }, 300);
    save(window, "main-window.png");

    {
        DialogDriver<ui::F_SetRS> settings([](ui::F_SetRS& d) {
            save(d, "settings-dialog.png");
            d.reject();
        });
        window.mnset()->setEnabled(true);
        window.mnset_Click();
    }
    {
        DialogDriver<ui::F_CON> confirm([](ui::F_CON& d) {
            save(d, "delete-confirmation.png");
            d.btn(2)->click();
        });
        window.btnDel()->click();
    }
    bool caught = false;
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* prog = dynamic_cast<ui::F_Prog*>(QApplication::activeModalWidget());
        if (caught || prog == nullptr || prog->ProgressBar1()->value() < 40) return;
        caught = true;
        save(*prog, "progress-window.png");
    });
    watcher.start();
    vsk::testing::select(window.lstHOSTFile(), {"MASTER.DAT"});
    window.btnCopy()->click();
    watcher.stop();

    // Started again on an adapter that is not plugged in.
    window.btnStart()->click();  // stops the link
    QString missing = QStringLiteral("/dev/ttyUSB0");
    for (int n = 1; QFileInfo::exists(missing) && n < 10; ++n)
        missing = QStringLiteral("/dev/ttyUSB%1").arg(n);
    vsk::testing::pointPortAt(1, missing.toStdString());
    ui::setMessageSink(nullptr);
    bool boxCaught = false;
    QTimer boxWatcher;
    boxWatcher.setInterval(50);
    QObject::connect(&boxWatcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (boxCaught || box == nullptr) return;
        boxCaught = true;
        save(*box, "error-message.png");
        box->accept();
    });
    boxWatcher.start();
    window.btnStart()->click();
    boxWatcher.stop();
    window.btnEnd()->click();
    return caught && boxCaught ? 0 : 1;
}
