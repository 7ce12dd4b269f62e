// The run window against simulated terminals on a pseudo-terminal: the
// polling cycle, transfers both ways, the history file, the stop file, abort
// and the results that end a run. The settings store lives in a scratch
// folder and message boxes are recorded instead of shown.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <tuple>

#include "auto_testing.h"
#include "cls_reg.h"
#include "f_auto.h"
#include "message_box.h"
#include "qt_wait.h"
#include "sim_process.h"
#include "single_instance.h"
#include "test_env.h"
#include "tool_start.h"

namespace vsk::ui {
namespace {

using htsim::testing::isCommand;
using htsim::testing::isFrame;
using htsim::testing::SimProcess;
using htsim::testing::TempDir;
using htsim::testing::testPattern;
using vsk::testing::maskOf;
using vsk::testing::RecordedMessages;
using vsk::testing::SettingsFolder;
using vsk::testing::whenTrue;

// A run's steps take a few polling ticks each: a longer wait than the default.
bool waitUntil(const std::function<bool()>& done, int ms = 8000) {
    return vsk::testing::waitUntil(done, ms);
}

// The lines of a history file with date and time checked and taken out.
QStringList historyLines(const std::string& path) {
    QStringList lines;
    auto text = htsim::testing::readFile(path);
    if (!text) return {QStringLiteral("<missing>")};
    static const QRegularExpression stamp(
        QStringLiteral("^([HDF]),\\d\\d/\\d\\d/\\d\\d,\\d\\d:\\d\\d:\\d\\d,"));
    QString all = QString::fromStdString(*text);
    if (!all.endsWith(QStringLiteral("\r\n"))) return {QStringLiteral("<no CR LF at the end>")};
    for (QString line : all.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        if (!stamp.match(line).hasMatch()) return {QStringLiteral("<bad line> ") + line};
        lines << line.replace(stamp, QStringLiteral("\\1,"));
    }
    return lines;
}

class RunWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClsReg reg;
        reg.setPort(1);
        reg.setBaudRate(115200);
        reg.setParity(QStringLiteral("N"));
        reg.setBiteSize(8);
        reg.setStopBits(1);
        reg.setTimeout(500);
        reg.setRetry(2);
    }

    void TearDown() override {
        if (window_ && window_->isVisible()) {
            window_->btn()->click();
            waitUntil([this] { return !window_->isVisible(); });
        }
        window_.reset();
    }

    void startSim(std::vector<std::string> args) {
        sim_ = vsk::testing::simulatorOnPort(1, std::move(args));
    }

    // A run window set up the way the tools' windows do it.
    F_Auto& window(int16_t protype, const QString& htno, int32_t resMode = 1) {
        window_ = std::make_unique<F_Auto>();
        window_->setHtno(htno);
        window_->setPollingTout(QStringLiteral("100"));
        window_->setResFileName(QString::fromStdString(history()));
        window_->setResMode(resMode);
        window_->setLineFromStore();
        window_->setProtype(protype);
        return *window_;
    }

    void downloadFiles(const QStringList& names) {
        for (const QString& n : names) window_->FileTblAdd(n);
    }

    bool ended() {
        return waitUntil([this] { return !window_->isVisible(); });
    }

    std::string history() const { return pc_.file("HISTORY.TXT"); }
    QString pcPath(const char* name) const { return QString::fromStdString(pc_.file(name)); }

    SettingsFolder config_{"auto-config"};
    TempDir pc_{"auto-pc"};
    TempDir jobs_{"auto-jobs"};
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<F_Auto> window_;
    QStringList messages_;
    RecordedMessages recording_{messages_};
};

TEST_F(RunWindowTest, DownloadOverThreeTerminalsOneSilentUntilTheStopFile) {
    startSim({"--ht", "1", "--dir", "@dir:ht1", "--ht", "3", "--dir", "@dir:ht3"});
    pc_.write("MASTER.DAT", testPattern(1500, 1));
    pc_.write("PRICE.DAT", testPattern(700, 2));
    F_Auto& w = window(1, maskOf({1, 2, 3}));
    w.setSetPath(QString::fromStdString(jobs_.file("DAY.SIF")));
    downloadFiles({pcPath("*.DAT"), QString()});
    jobs_.write("ENDPRM.DAT", "1\r\n");  // does not stop the run
    w.runModeless();
    ASSERT_TRUE(waitUntil([&] { return historyLines(history()).size() >= 8; }));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("オートモード・ファイルダウンロード"));
    EXPECT_TRUE(w.isVisible());
    jobs_.write("ENDPRM.DAT", "2\r\n");
    ASSERT_TRUE(ended());
    EXPECT_EQ(w.Result(), 0);
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join(u'|').toStdString();
    // Served 1 and 3 in turn; 2 never answered and left no trace.
    QStringList lines = historyLines(history());
    ASSERT_GE(lines.size(), 8);
    EXPECT_EQ(lines.mid(0, 8), (QStringList{QStringLiteral("H,001,ダウンロード,0000,処理開始"),
                                            QStringLiteral("D,001,MASTER.DAT  ,0001,成功"),
                                            QStringLiteral("D,001,PRICE.DAT   ,0001,成功"),
                                            QStringLiteral("F,001,ダウンロード,0000,正常終了"),
                                            QStringLiteral("H,003,ダウンロード,0000,処理開始"),
                                            QStringLiteral("D,003,MASTER.DAT  ,0001,成功"),
                                            QStringLiteral("D,003,PRICE.DAT   ,0001,成功"),
                                            QStringLiteral("F,003,ダウンロード,0000,正常終了")}));
    EXPECT_EQ(htsim::testing::readFile(sim_->dir("ht3") + "/PRICE.DAT"), testPattern(700, 2));
    EXPECT_FALSE(sim_->received(isCommand('P', 2)).empty());
    EXPECT_TRUE(sim_->received(isCommand('W', 2)).empty());
}

TEST_F(RunWindowTest, RewrittenHistoryHoldsOnlyTheLastTerminal) {
    startSim({"--ht", "4", "--dir", "@dir:ht4", "--polls", "1", "--ht", "9", "--dir", "@dir:ht9",
              "--polls", "1"});
    pc_.write("A.DAT", "alpha");
    F_Auto& w = window(1, maskOf({4, 9}), 0);
    downloadFiles({pcPath("A.DAT")});
    w.runModeless();
    ASSERT_TRUE(waitUntil([&] { return historyLines(history()).value(0).contains(u"009"); }));
    EXPECT_EQ(historyLines(history()),
              (QStringList{QStringLiteral("H,009,ダウンロード,0000,処理開始"),
                           QStringLiteral("D,009,A.DAT       ,0001,成功"),
                           QStringLiteral("F,009,ダウンロード,0000,正常終了")}));
}

TEST_F(RunWindowTest, UploadInEachSaveMode) {
    const char* expected[] = {"new", "oldnew", "old"};
    const char* outcome[] = {"0001,成功", "0001,成功", "0003,同名"};
    for (int mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE(mode);
        TempDir terminal("auto-ht"), folder("auto-in");
        terminal.write("STOCK.TXT", "new");
        folder.write("STOCK.TXT", "old");
        startSim({"--ht", "2", "--dir", terminal.path(), "--polls", "1"});
        F_Auto& w = window(2, maskOf({2}));
        w.setUpfolder(QString::fromStdString(folder.path()));
        w.setSaveMode(mode);
        std::remove(history().c_str());
        w.runModeless();
        ASSERT_TRUE(waitUntil([&] { return historyLines(history()).size() == 3; }));
        EXPECT_EQ(w.windowTitle(), QStringLiteral("オートモード・ファイルアップロード"));
        EXPECT_EQ(folder.read("STOCK.TXT"), expected[mode]);
        EXPECT_EQ(
            historyLines(history()),
            (QStringList{QStringLiteral("H,002,アップロード,0000,処理開始"),
                         QStringLiteral("D,002,STOCK.TXT   ,") + QString::fromUtf8(outcome[mode]),
                         QStringLiteral("F,002,アップロード,0000,正常終了")}));
        w.btn()->click();
        ASSERT_TRUE(ended());
        EXPECT_TRUE(messages_.isEmpty());
    }
}

TEST_F(RunWindowTest, AbortByButtonOrCloseBoxDuringATransfer) {
    for (bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "button");
        startSim({"--baud", "9600", "--ht", "1", "--dir", "@dir:ht1"});
        pc_.write("BIG.DAT", testPattern(40000, 3));
        F_Auto& w = window(1, maskOf({1}));
        downloadFiles({pcPath("BIG.DAT")});
        std::remove(history().c_str());
        // The progress tick shows the transfer while it runs.
        QString shown;
        bool refused = false;
        whenTrue(
            &w, [&] { return w.ProgressBar1()->isVisible() && w.ProgressBar1()->value() > 0; },
            [&] {
                shown = w.txtMsg()->toPlainText();
                if (closeBox) {
                    QCloseEvent event;
                    QApplication::sendEvent(&w, &event);
                    refused = !event.isAccepted();
                } else {
                    w.btn()->click();
                }
            });
        w.runModeless();
        ASSERT_TRUE(ended());
        EXPECT_EQ(w.Result(), 1003);
        EXPECT_EQ(shown.left(21), QStringLiteral("HandyID：001 \nBIG.DAT "));
        EXPECT_EQ(refused, closeBox);
        EXPECT_TRUE(messages_.isEmpty()) << messages_.join(u'|').toStdString();
        EXPECT_EQ(historyLines(history()).value(2),
                  QStringLiteral("F,001,ダウンロード,1003,中断終了（ＰＣ側）"));
        EXPECT_TRUE(sim_->waitReceived(1, isFrame('E', "CAN")));
        sim_.reset();
    }
}

TEST_F(RunWindowTest, AnAbortBeforeTheRunBeginsIsHonoured) {
    for (bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "button");
        startSim({"--ht", "1", "--dir", "@dir:ht1"});
        F_Auto& w = window(1, maskOf({1}));
        // Shown, and aborted before the run has had its first turn.
        w.runModeless();
        if (closeBox) {
            QCloseEvent event;
            QApplication::sendEvent(&w, &event);
            EXPECT_FALSE(event.isAccepted());
        } else {
            w.btn()->click();
        }
        ASSERT_TRUE(ended());
        EXPECT_EQ(w.Result(), 0);
        EXPECT_FALSE(w.runner().sessionOpen());
        EXPECT_TRUE(sim_->received(isCommand('P')).empty());
        EXPECT_TRUE(messages_.isEmpty()) << messages_.join(u'|').toStdString();
        sim_.reset();
    }
}

// What the run window looked like at each moment of a run, sampled every
// few milliseconds from inside the event loop (during a transfer only the
// library's own dispatching runs).
struct Looks {
    bool minimised;
    bool barShown;
    QRect button;  // in the window
    QSize window;
};

class LooksRecorder {
  public:
    explicit LooksRecorder(F_Auto& w) {
        QObject::connect(&timer_, &QTimer::timeout, [this, &w] {
            if (!w.isVisible()) return;
            seen.push_back(
                {w.isMinimized(), w.ProgressBar1()->isVisible(), w.btn()->geometry(), w.size()});
        });
        timer_.start(3);
    }
    // From the first sample on which `holds` is true.
    std::vector<Looks> from(const std::function<bool(const Looks&)>& holds) const {
        auto first = std::find_if(seen.begin(), seen.end(), holds);
        return {first, seen.end()};
    }

    std::vector<Looks> seen;

  private:
    QTimer timer_;
};

TEST_F(RunWindowTest, AMinimisedRunStaysMinimisedThroughItsTransfers) {
    // Two terminals served in turn: the progress bar comes and goes twice.
    startSim({"--baud", "38400", "--ht", "1", "--dir", "@dir:ht1", "--polls", "1", "--ht", "2",
              "--dir", "@dir:ht2", "--polls", "1"});
    pc_.write("BIG.DAT", testPattern(6000, 5));
    F_Auto& w = window(1, maskOf({1, 2}));
    w.setIconFlg(true);
    downloadFiles({pcPath("BIG.DAT")});
    LooksRecorder looks(w);
    w.runModeless();
    ASSERT_TRUE(waitUntil([&] { return historyLines(history()).size() >= 6; }, 20000));
    ASSERT_TRUE(waitUntil([&] { return !w.ProgressBar1()->isVisible(); }));
    const std::vector<Looks> run = looks.from([](const Looks& l) { return l.minimised; });
    ASSERT_FALSE(run.empty()) << "never minimised";
    EXPECT_TRUE(std::any_of(run.begin(), run.end(), [](const Looks& l) { return l.barShown; }))
        << "no progress was shown";
    const auto restored =
        std::count_if(run.begin(), run.end(), [](const Looks& l) { return !l.minimised; });
    EXPECT_EQ(restored, 0) << "of " << run.size() << " samples";
    EXPECT_TRUE(std::all_of(run.begin(), run.end(), [&](const Looks& l) {
        return l.window == run.front().window;
    })) << "the window changed its size while minimised";
    EXPECT_TRUE(w.isMinimized());
}

TEST_F(RunWindowTest, TheAbortButtonStaysPutAsTheProgressBarComesAndGoes) {
    startSim({"--baud", "38400", "--ht", "1", "--dir", "@dir:ht1", "--polls", "1"});
    pc_.write("BIG.DAT", testPattern(6000, 6));
    F_Auto& w = window(1, maskOf({1}));
    downloadFiles({pcPath("BIG.DAT")});
    LooksRecorder looks(w);
    w.runModeless();
    ASSERT_TRUE(waitUntil([&] { return historyLines(history()).size() >= 3; }, 20000));
    ASSERT_TRUE(waitUntil([&] { return !w.ProgressBar1()->isVisible(); }));
    // From the first sample with the bar hidden on, nothing moves.
    const std::vector<Looks> run = looks.from([](const Looks& l) { return !l.barShown; });
    ASSERT_FALSE(run.empty());
    std::set<std::tuple<int, int, int, int>> buttons;
    std::set<std::pair<int, int>> windows;
    for (const Looks& l : run) {
        buttons.insert({l.button.x(), l.button.y(), l.button.width(), l.button.height()});
        windows.insert({l.window.width(), l.window.height()});
    }
    EXPECT_TRUE(std::any_of(run.begin(), run.end(), [](const Looks& l) { return l.barShown; }));
    EXPECT_EQ(buttons.size(), 1u) << "the abort button moved";
    EXPECT_EQ(windows.size(), 1u) << "the window changed its size";
    // The bar keeps its place below the text and above the button.
    EXPECT_LT(w.txtMsg()->geometry().bottom(), w.ProgressBar1()->geometry().top());
    EXPECT_LT(w.ProgressBar1()->geometry().bottom(), w.btn()->geometry().top());
}

TEST_F(RunWindowTest, ResultsThatEndTheRunAndThoseThatDoNot) {
    // 1002 is written down and polling goes on; 2004 ends the run with its box.
    startSim({"--ht", "1", "--dir", "@dir:ht1", "--fault", "cancel*1@W", "--ht", "2", "--dir",
              "@dir:ht2", "--fault", "result=M@W"});
    pc_.write("A.DAT", "alpha");
    F_Auto& w = window(1, maskOf({1, 2}));
    downloadFiles({pcPath("A.DAT")});
    w.runModeless();
    ASSERT_TRUE(ended());
    EXPECT_EQ(w.Result(), 2004);
    EXPECT_EQ(
        messages_,
        QStringList{QStringLiteral("ダウンロードに失敗しました。ｴﾗｰｺｰﾄﾞ：2004\nＨＴモードエラー")});
    QStringList lines = historyLines(history());
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[2], QStringLiteral("F,001,ダウンロード,1002,中断終了（ＨＴ側）"));
    EXPECT_EQ(lines[5], QStringLiteral("F,002,ダウンロード,2004,ＨＴモードエラー"));
}

TEST_F(RunWindowTest, AFailedOpenEndsAtTheStartStep) {
    vsk::testing::pointPortAt(1, jobs_.file("no-such-line"));
    F_Auto& w = window(2, maskOf({1}));
    w.runModeless();
    ASSERT_TRUE(ended());
    EXPECT_EQ(w.Result(), 6001);
    // The code line as always; below it, which device is missing.
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(
        messages_[0].startsWith(QStringLiteral("アップロードに失敗しました。ｴﾗｰｺｰﾄﾞ：6001\n") +
                                QString::fromStdString(jobs_.file("no-such-line")) +
                                QStringLiteral("：デバイスが見つかりません")))
        << messages_[0].toStdString();
    EXPECT_FALSE(w.runner().sessionOpen());
}

TEST_F(RunWindowTest, MasksThatSelectOneOrNone) {
    startSim({"--ht", "7", "--dir", "@dir:ht7"});
    F_Auto& only7 = window(1, maskOf({7}));
    only7.runModeless();
    ASSERT_TRUE(waitUntil([&] { return sim_->received(isCommand('P')).size() >= 3; }));
    for (const auto& poll : sim_->received(isCommand('P'))) EXPECT_EQ(poll.htNumber(), 7);
    only7.btn()->click();
    ASSERT_TRUE(ended());

    // Nothing selected: nothing is polled, and the window still answers its button.
    const size_t polls = sim_->received(isCommand('P')).size();
    F_Auto& none = window(1, QString(128, u'0'));
    none.runModeless();
    QTimer::singleShot(300, &none, [&none] { none.btn()->click(); });
    ASSERT_TRUE(ended());
    EXPECT_EQ(sim_->received(isCommand('P')).size(), polls);
}

TEST_F(RunWindowTest, CommandLineStartMinimisedWithTheStopFileBesideTheJob) {
    startSim({"--ht", "1", "--dir", "@dir:ht1"});
    pc_.write("A.DAT", "alpha");
    const std::string job = jobs_.file("MY DAY.SIF");
    jobs_.write("MY DAY.SIF", "[DOWNLOAD]\r\nHTID=1\r\nPOLLING=100\r\nLOGTYPE=2\r\n001DOWNFILE=" +
                                  pc_.file("A.DAT") + "\r\n");
    jobs_.write("ENDPRM.DAT", "2");  // left from an earlier day: ends the run at once
    auto run = startFromCommandLine(
        QStringLiteral("\"") + QString::fromStdString(job) + QStringLiteral("\" /ICON"), 1);
    ASSERT_TRUE(run);
    ASSERT_TRUE(waitUntil([&] { return run->isMinimized() || !run->isVisible(); }));
    ASSERT_TRUE(waitUntil([&] { return !run->isVisible(); }));
    EXPECT_TRUE(run->IconFlg());
    EXPECT_TRUE(sim_->received(isCommand('P')).empty());

    jobs_.write("BAD.SIF", "[DOWNLOAD]\r\nHTID=1\r\n");  // no POLLING
    EXPECT_FALSE(startFromCommandLine(QString::fromStdString(jobs_.file("BAD.SIF")), 1));
    EXPECT_EQ(messages_, QStringList{QStringLiteral("設定ファイルの読み込みに失敗しました")});

    // A job that selects no terminal would poll nothing, for ever; the
    // refusal is said on stderr too, for a start nobody watches.
    messages_.clear();
    jobs_.write("NONE.SIF", "[UPLOAD]\r\nHTID=abc\r\nPOLLING=100\r\nUPLOAD=/tmp\r\n");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(startFromCommandLine(QString::fromStdString(jobs_.file("NONE.SIF")), 2));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("HTID selects no terminal"), std::string::npos) << said;
    EXPECT_EQ(messages_, QStringList{QStringLiteral("設定ファイルの読み込みに失敗しました")});
}

TEST_F(RunWindowTest, ALineThatGoesAwayWhilePollingEndsTheRun) {
    startSim({"--ht", "5", "--dir", "@dir:ht5"});
    F_Auto& w = window(1, maskOf({1}));  // nobody answers: the run only polls
    w.runModeless();
    ASSERT_TRUE(waitUntil([&] { return sim_->received(isCommand('P')).size() >= 2; }));
    sim_.reset();  // the line's other end closes, as when an adapter is pulled
    ASSERT_TRUE(ended());
    EXPECT_GT(w.Result(), 6000);
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].startsWith(QStringLiteral("ダウンロードに失敗しました。ｴﾗｰｺｰﾄﾞ：60")));
}

TEST_F(RunWindowTest, AnUnsafeNameFromOneTerminalIsRefusedAndTheNextIsServed) {
    // Terminal 1 offers "../EVIL.TXT" first. The refusal is that terminal's
    // failure: terminal 2, numbered after it, is served all the same.
    startSim({"--ht", "1", "--dir", "@dir:ht1", "--fault", "badname", "--polls", "1", "--ht", "2",
              "--dir", "@dir:ht2", "--polls", "1"});
    htsim::testing::TempDir in("auto-in");
    QFile b(QString::fromStdString(sim_->dir("ht2") + "/B.TXT"));
    ASSERT_TRUE(b.open(QIODevice::WriteOnly) && b.write("beta") == 4);
    b.close();
    F_Auto& w = window(2, maskOf({1, 2}));
    w.setUpfolder(QString::fromStdString(in.file("sub")));
    QDir().mkpath(QString::fromStdString(in.file("sub")));
    w.runModeless();
    ASSERT_TRUE(waitUntil([&] { return historyLines(history()).join(u'|').contains(u"F,002"); }));
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join(u'|').toStdString();
    const QStringList lines = historyLines(history());
    ASSERT_GE(lines.size(), 6) << lines.join(u'\n').toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("H,001,アップロード,0000,処理開始"));
    EXPECT_EQ(lines[1], QStringLiteral("D,001,../EVIL.TXT ,0002,失敗"));
    const QStringList last3 = lines.mid(lines.size() - 3);
    EXPECT_EQ(lines[lines.size() - 4],
              QStringLiteral("F,001,アップロード,3011,ＰＣファイル名エラー"));
    EXPECT_EQ(last3, (QStringList{QStringLiteral("H,002,アップロード,0000,処理開始"),
                                  QStringLiteral("D,002,B.TXT       ,0001,成功"),
                                  QStringLiteral("F,002,アップロード,0000,正常終了")}));
    EXPECT_EQ(in.read("sub/B.TXT"), "beta");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(in.file("EVIL.TXT"))));
    w.btn()->click();
    ASSERT_TRUE(ended());
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join(u'|').toStdString();
}

TEST_F(RunWindowTest, AFolderThatHasGoneIsWrittenDownOnceUntilItIsBack) {
    htsim::testing::TempDir terminal("auto-ht"), in("auto-in");
    terminal.write("A.TXT", "alpha");
    startSim({"--ht", "3", "--dir", terminal.path()});
    const QString folder = QString::fromStdString(in.file("gone"));
    F_Auto& w = window(2, maskOf({3}));
    w.setUpfolder(folder);
    ::testing::internal::CaptureStderr();
    w.runModeless();
    // Every cycle fails alike: one block, and the status says why.
    ASSERT_TRUE(waitUntil([&] { return sim_->received(isCommand('P', 3)).size() >= 8; }));
    EXPECT_EQ(historyLines(history()),
              (QStringList{QStringLiteral("H,003,アップロード,0000,処理開始"),
                           QStringLiteral("F,003,アップロード,3004,ＰＣフォルダ無し")}));
    EXPECT_TRUE(w.txtMsg()->toPlainText().startsWith(QStringLiteral("ポーリング中・・・\n")));
    EXPECT_TRUE(w.txtMsg()->toPlainText().contains(
        QStringLiteral("HT003：ＰＣフォルダ無し（3004）が続いています")))
        << w.txtMsg()->toPlainText().toStdString();

    // The folder is back: the repeats are counted, and the run serves again.
    QDir().mkpath(folder);
    ASSERT_TRUE(waitUntil([&] { return historyLines(history()).size() >= 6; }));
    const std::string said = ::testing::internal::GetCapturedStderr();
    QStringList lines = historyLines(history());
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral(
                        "^F,003,アップロード,3004,ＰＣフォルダ無し（同じ結果 \\d+ 回・記録省略）$"))
                    .match(lines[2])
                    .hasMatch())
        << lines[2].toStdString();
    EXPECT_EQ(lines.mid(3, 3), (QStringList{QStringLiteral("H,003,アップロード,0000,処理開始"),
                                            QStringLiteral("D,003,A.TXT       ,0001,成功"),
                                            QStringLiteral("F,003,アップロード,0000,正常終了")}));
    EXPECT_EQ(in.read("gone/A.TXT"), "alpha");
    // Said once when it began and once when it ended, not every cycle.
    EXPECT_EQ(QString::fromStdString(said).count(QStringLiteral("3004")), 1) << said;
    EXPECT_EQ(QString::fromStdString(said).count(QStringLiteral("結果が変わりました")), 1) << said;
    ASSERT_TRUE(waitUntil([&] { return !w.txtMsg()->toPlainText().contains(u"3004"); }));
}

TEST_F(RunWindowTest, AHistoryThatCannotBeWrittenIsSaidAndTheRunGoesOn) {
    startSim({"--ht", "1", "--dir", "@dir:ht1"});
    pc_.write("A.DAT", "alpha");
    pc_.write("LOGS", "a file where the history's folder should be");
    const std::string log = pc_.file("LOGS/HISTORY.TXT");
    F_Auto& w = window(1, maskOf({1}));
    w.setResFileName(QString::fromStdString(log));
    downloadFiles({pcPath("A.DAT")});
    ::testing::internal::CaptureStderr();
    w.runModeless();
    ASSERT_TRUE(waitUntil([&] { return sim_->received(isCommand('W', 1)).size() >= 3; }));
    ASSERT_TRUE(waitUntil([&] {
        return w.txtMsg()->toPlainText().contains(QStringLiteral("履歴ファイルに書き込めません"));
    }));

    // Once the folder can be made, the history is written again.
    std::remove(pc_.file("LOGS").c_str());
    QDir().mkpath(QString::fromStdString(pc_.file("LOGS")));
    ASSERT_TRUE(waitUntil([&] { return historyLines(log).size() >= 3; }));
    const QString said = QString::fromStdString(::testing::internal::GetCapturedStderr());
    EXPECT_EQ(
        said.count(QStringLiteral("履歴ファイルに書き込めません：") + QString::fromStdString(log)),
        1)
        << said.toStdString();
    EXPECT_EQ(said.count(QStringLiteral("履歴ファイルに書き込めるようになりました")), 1)
        << said.toStdString();
    EXPECT_EQ(historyLines(log).value(2), QStringLiteral("F,001,ダウンロード,0000,正常終了"));
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.runner().historyFailed()) << "a run that lost lines ends with status 1";
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join(u'|').toStdString();
}

TEST_F(RunWindowTest, FilesNoTransferCanCarryAreLeftOutAndSaidOnce) {
    startSim({"--ht", "1", "--dir", "@dir:ht1"});
    pc_.write("GOOD.DAT", "good");
    pc_.write("TWO\nLINES.DAT", "a name with a line break");
    F_Auto& w = window(1, maskOf({1}));
    downloadFiles({pcPath("*.DAT")});
    ::testing::internal::CaptureStderr();
    w.runModeless();
    ASSERT_TRUE(waitUntil([&] { return sim_->received(isCommand('W', 1)).size() >= 3; }));
    w.btn()->click();
    ASSERT_TRUE(ended());
    const QString said = QString::fromStdString(::testing::internal::GetCapturedStderr());
    EXPECT_EQ(said.count(QStringLiteral("送らないファイル：") + pcPath("TWO\\x0ALINES.DAT")), 1)
        << said.toStdString();
    const QStringList lines = historyLines(history());
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.mid(0, 3), (QStringList{QStringLiteral("H,001,ダウンロード,0000,処理開始"),
                                            QStringLiteral("D,001,GOOD.DAT    ,0001,成功"),
                                            QStringLiteral("F,001,ダウンロード,0000,正常終了")}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(sim_->dir("ht1") + "/TWO\nLINES.DAT")));
}

TEST_F(RunWindowTest, AStartWhileAnotherCopyRunsIsRefusedAloud) {
    const AutoTool tool{"veskad-lock-test", 1, [] { return std::make_unique<QWidget>(); }};
    SingleInstance running(QString::fromLatin1(tool.program));
    ASSERT_FALSE(running.anotherIsRunning());
    const std::string job = jobs_.file("DAY.SIF");
    jobs_.write("DAY.SIF", "[DOWNLOAD]\r\nHTID=1\r\nPOLLING=100\r\nLOGTYPE=2\r\n");
    for (const QStringList& arguments : {QStringList{QString::fromStdString(job)}, QStringList{}}) {
        messages_.clear();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(startAutoTool(tool, arguments), kAlreadyRunningExit);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("veskad-lock-test: another copy is running"), std::string::npos)
            << said;
        EXPECT_EQ(messages_, QStringList{kAlreadyRunning});
    }
}

TEST_F(RunWindowTest, VeskactlRunsTheSameJobToTheSameHistory) {
    // Each terminal answers one poll only, so each run serves each once.
    const std::vector<std::string> line = {"--ht",    "1",    "--dir",   "@dir:ht1",    "--polls",
                                           "1",       "--ht", "3",       "--dir",       "@dir:ht3",
                                           "--polls", "1",    "--fault", "blknak=0*1@W"};
    pc_.write("A.DAT", testPattern(900, 4));
    pc_.write("B.DAT", "beta");
    const std::string job = jobs_.file("DAY.SIF");
    jobs_.write("DAY.SIF", "[DOWNLOAD]\r\nHTID=1-3\r\nPOLLING=60\r\nLOGTYPE=1\r\nLOGFILE=" +
                               history() + "\r\n001DOWNFILE=" + pc_.file("*.DAT") +
                               "\r\n002DOWNFILE=" + pc_.file("MISSING.DAT") + "\r\n");
    auto served = [this] { return historyLines(history()).size() >= 10; };

    startSim(line);
    auto window = startFromCommandLine(QString::fromStdString(job), 1);
    ASSERT_TRUE(window);
    ASSERT_TRUE(waitUntil(served));
    jobs_.write("ENDPRM.DAT", "2");
    ASSERT_TRUE(waitUntil([&] { return !window->isVisible(); }));
    const QStringList fromWindow = historyLines(history());

    std::remove(history().c_str());
    std::remove(jobs_.file("ENDPRM.DAT").c_str());
    startSim(line);
    QProcess veskactl;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(config_.path()));
    veskactl.setProcessEnvironment(env);
    veskactl.start(QStringLiteral(VESKACTL_BINARY),
                   {QStringLiteral("job"), QStringLiteral("run"), QString::fromStdString(job)});
    ASSERT_TRUE(veskactl.waitForStarted());
    ASSERT_TRUE(waitUntil(served));
    jobs_.write("ENDPRM.DAT", "2");
    ASSERT_TRUE(veskactl.waitForFinished(5000));
    EXPECT_EQ(veskactl.exitCode(), 0) << veskactl.readAllStandardError().toStdString();

    EXPECT_EQ(historyLines(history()), fromWindow);
    EXPECT_EQ(fromWindow.value(3), QStringLiteral("D,001,MISSING.DAT ,0002,失敗"));
}

}  // namespace
}  // namespace vsk::ui
