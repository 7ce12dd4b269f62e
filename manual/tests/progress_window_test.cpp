// The progress window on its own: the polling batches the link wrapper
// offers, an unknown kind, and closing it while a call runs.
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "cls_rsctl.h"
#include "f_prog.h"
#include "window_fixture.h"

namespace vsk::testing {
namespace {

using ui::F_Prog;

class ProgressWindowTest : public MainWindowTest {
  protected:
    void openLink() {
        link_.setBaudRate(115200);
        link_.setParity("N");
        link_.setBiteSize(8);
        link_.setStopBits(1);
        link_.setTimeout(500);
        link_.setRetry(3);
        ASSERT_EQ(link_.VskComOpen(1), 0);
    }
    void TearDown() override {
        link_.VskComClose();
        MainWindowTest::TearDown();
    }

    // Runs `act` on the progress window every 10 ms while it is up.
    template <typename Act>
    void whileShown(QTimer& timer, Act act) {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [act] {
            if (auto* w = dynamic_cast<F_Prog*>(QApplication::activeModalWidget())) act(*w);
        });
        timer.start();
    }

    ui::ClsRSCtl link_;
};

TEST_F(ProgressWindowTest, LinkSettingsBecomeTheLibraryCodes) {
    link_.setParity("E");
    link_.setBiteSize("7");
    link_.setStopBits(2);
    EXPECT_EQ(link_.Parity().toInt(), 1);
    EXPECT_EQ(link_.BiteSize().toInt(), 0);
    EXPECT_EQ(link_.StopBits().toInt(), 1);
    link_.setParity("X");  // not a letter it knows and not a number: unchanged
    EXPECT_EQ(link_.Parity().toInt(), 1);
    link_.setParity(2);
    EXPECT_EQ(link_.Parity().toInt(), 2);
}

TEST_F(ProgressWindowTest, FileTableIsAQueueOf128) {
    for (int i = 0; i < 128; ++i)
        ASSERT_EQ(link_.FileTblAdd(" N" + QByteArray::number(i) + " ", i), i + 1);
    EXPECT_EQ(link_.FileTblAdd("X", 0), -1);
    QByteArray name;
    int32_t size = -1;
    EXPECT_EQ(link_.FileTblGet(name, size), 128);
    EXPECT_EQ(name, "N0");
    EXPECT_EQ(size, 0);
    link_.FileTblClr();
    name = "kept";
    EXPECT_EQ(link_.FileTblGet(name, size), 0);
    EXPECT_EQ(name, "kept");
}

TEST_F(ProgressWindowTest, PollingBatchShowsThePollingTextAndStopsOnAbort) {
    pc_.write("A.DAT", "aaaa");
    startTerminal({"--polls", "1"});
    openLink();
    link_.FileTblAdd(QByteArray::fromStdString(pc_.file("A.DAT")), 0);
    std::string mask(128, '0');
    mask[0] = '1';
    QStringList texts;
    QString caption;
    QElapsedTimer clock;
    clock.start();
    QTimer timer;
    whileShown(timer, [&](F_Prog& w) {
        caption = w.windowTitle();
        texts << w.txtMsg()->toPlainText();
        // Once the terminal has been served and the polling text seen, stop
        // the endless loop (and in any case after a while).
        bool served = store_.read("A.DAT") == std::string("aaaa");
        if ((served && texts.contains(QStringLiteral("ポーリング中・・・"))) ||
            clock.elapsed() > 5000)
            w.btn()->click();
    });
    int32_t r = link_.VskPollingAllDownload(QString::fromStdString(mask), 100,
                                            QString::fromStdString(pc_.file("result.txt")), 0, 0);
    EXPECT_EQ(r, VSK_E_ABORT_PC);
    EXPECT_EQ(caption, QStringLiteral("オートモード・ファイルダウンロード"));
    EXPECT_TRUE(texts.contains(QStringLiteral("ポーリング中・・・")));
    EXPECT_FALSE(pc_.read("result.txt").value_or("").empty());
}

TEST_F(ProgressWindowTest, ClosingItWhileACallRunsAbortsTheCall) {
    store_.write("BIG.DAT", std::string(30 * 512, 'b'));
    startTerminal({"--fault", "delay=20"});
    openLink();
    link_.FileTblAdd("BIG.DAT", 30 * 512);
    bool closeRefused = false;
    QTimer timer;
    whileShown(timer, [&](F_Prog& w) {
        if (closeRefused || w.ProgressBar1()->value() == 0) return;
        w.close();
        closeRefused = w.isVisible();
    });
    int32_t r = link_.VskFUpload("001", QString::fromStdString(pc_.path()));
    EXPECT_TRUE(closeRefused) << "the window stays until the call has ended";
    EXPECT_EQ(r, VSK_E_ABORT_PC);
    EXPECT_EQ(pc_.read("BIG.DAT"), std::nullopt) << "an aborted upload leaves no file";
}

TEST_F(ProgressWindowTest, UnknownKindRunsNothing) {
    startTerminal();
    openLink();
    F_Prog w;
    w.setProtype(7);
    w.setHtno("001");
    w.ProgClr(link_.handle());
    w.TimerStart()->start();
    EXPECT_EQ(w.exec(), QDialog::Accepted);
    EXPECT_EQ(w.Result(), 0);
    EXPECT_TRUE(w.windowTitle().isEmpty());
    EXPECT_TRUE(sim_->received().empty());
}

}  // namespace
}  // namespace vsk::testing
