// veskactl's auto-mode job commands run as a program against simulated
// terminals, with the desktop tools' settings store in a scratch folder.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "sim_process.h"
#include "veskactl_run.h"

namespace {

using namespace std::chrono_literals;
using veskactl::testing::finish;
using veskactl::testing::Outcome;
using veskactl::testing::slurp;
using veskactl::testing::spawnVeskactl;
using veskactl::testing::VeskactlOnLine;
using vsk::htsim::testing::isCommand;
using vsk::htsim::testing::isFrame;
using vsk::htsim::testing::TempDir;
using vsk::htsim::testing::testPattern;
namespace fs = std::filesystem;

const std::string kDate = R"(\d\d/\d\d/\d\d)";
const std::string kTime = R"(\d\d:\d\d:\d\d)";
const std::string kStamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)";

std::vector<std::string> linesOf(const std::string& text, const std::string& end) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t stop = text.find(end, start);
        if (stop == std::string::npos) {
            lines.push_back(text.substr(start) + "<no line end>");
            break;
        }
        lines.push_back(text.substr(start, stop - start));
        start = stop + end.size();
    }
    return lines;
}

// `expected` lines name the fields after date and time; each history line
// must have its date and time in their places and then exactly those fields.
void expectHistory(const std::string& path, const std::vector<std::string>& expected) {
    const std::vector<std::string> lines = linesOf(slurp(path), "\r\n");
    ASSERT_EQ(lines.size(), expected.size()) << slurp(path);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string kind = expected[i].substr(0, 1);
        const std::string rest = expected[i].substr(2);
        const std::regex pattern(kind + "," + kDate + "," + kTime + ",(.*)");
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, pattern)) << lines[i];
        EXPECT_EQ(match[1].str(), rest) << lines[i];
    }
}

bool stillRunning(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

// The terminal stores a file on the PC's end frame, which the PC does not wait for.
std::string waitForContent(const std::string& path, const std::string& expected) {
    auto deadline = std::chrono::steady_clock::now() + 3s;
    while (slurp(path) != expected && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    return slurp(path);
}

class JobRuns : public VeskactlOnLine {
  protected:
    void SetUp() override {
        storeSettings({"Port=1", "Timeout=500", "Retry=2"});
        setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        VeskactlOnLine::TearDown();
    }

    void storeSettings(const std::vector<std::string>& values) const {
        fs::create_directories(config_.file("MORVA"));
        std::string text = "[General]\n";
        for (const std::string& value : values) text += value + "\n";
        config_.write("MORVA/VESKA2.conf", text);
    }

    // The job file, CR LF as the tools write it; returns its path.
    std::string writeJob(const std::vector<std::string>& lines) const {
        std::string text;
        for (const std::string& line : lines) text += line + "\r\n";
        jobs_.write("DAY.SIF", text);
        return jobs_.file("DAY.SIF");
    }
    void writeStopFile(const std::string& content) const { jobs_.write("ENDPRM.DAT", content); }

    // Waits until veskactl has printed `count` lines.
    bool waitForOutputLines(size_t count, std::chrono::milliseconds deadline = 8s) const {
        auto until = std::chrono::steady_clock::now() + deadline;
        while (linesOf(slurp(work_.file("out")), "\n").size() < count) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    std::vector<std::string> outputLines() const { return linesOf(slurp(work_.file("out")), "\n"); }

    TempDir config_{"veskactl-config"};
    TempDir jobs_{"veskactl-jobs"};
    TempDir pc_{"veskactl-pc"};
};

void expectStatusLine(const std::string& line, const std::string& rest) {
    EXPECT_TRUE(std::regex_match(line, std::regex(kStamp + " " + rest))) << line;
}

TEST_F(JobRuns, DownloadJobServesTheTerminalsThatAnswerUntilTheStopFileSaysTwo) {
    pc_.write("A.DAT", testPattern(100, 1));
    pc_.write("B.DAT", testPattern(1500, 2));
    // Terminal 2 is not on the line; the others answer one poll each.
    startSim({"--ht", "1", "--dir", "@dir:ht1", "--polls", "1", "--ht", "3", "--dir", "@dir:ht3",
              "--polls", "1"});
    const std::string job = writeJob(
        {"[DOWNLOAD]", "HTID=1-3", "POLLING=50", "SKIP=0", "001DOWNFILE=" + pc_.file("A.DAT"),
         "002DOWNFILE=" + pc_.file("B.DAT"), "LOGFILE=" + pc_.file("history.txt"), "LOGTYPE=1"});

    pid_t pid = spawnVeskactl(work_, {"job", "run", job});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitForOutputLines(2)) << slurp(work_.file("err"));

    writeStopFile("1\r\n");
    size_t polls = sim_->received(isCommand('P', 2)).size();
    EXPECT_TRUE(sim_->waitReceived(polls + 3, isCommand('P', 2)));
    EXPECT_TRUE(stillRunning(pid));

    writeStopFile("2\r\n");
    Outcome run = finish(work_, pid);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> out = outputLines();
    ASSERT_EQ(out.size(), 3u) << run.out;
    expectStatusLine(out[0], "HT 001 download 2 files: 0 正常終了");
    expectStatusLine(out[1], "HT 003 download 2 files: 0 正常終了");
    EXPECT_EQ(out[2], "stopped by " + jobs_.file("ENDPRM.DAT"));

    // One block per terminal, appended in the order they were served.
    std::vector<std::string> history;
    for (std::string ht : {"001", "003"}) {
        history.push_back("H," + ht + ",ダウンロード,0000,処理開始");
        history.push_back("D," + ht + ",A.DAT       ,0001,成功");
        history.push_back("D," + ht + ",B.DAT       ,0001,成功");
        history.push_back("F," + ht + ",ダウンロード,0000,正常終了");
    }
    expectHistory(pc_.file("history.txt"), history);
    for (const char* ht : {"ht1", "ht3"}) {
        const std::string folder = sim_->dir(ht) + "/";
        EXPECT_EQ(waitForContent(folder + "A.DAT", testPattern(100, 1)), testPattern(100, 1));
        EXPECT_EQ(waitForContent(folder + "B.DAT", testPattern(1500, 2)), testPattern(1500, 2));
    }
}

TEST_F(JobRuns, UploadJobKeepsThePcFileOfTheSameNameAndAStaleStopFileEndsTheNextRun) {
    files_.write("A.DAT", "alpha");
    files_.write("B.DAT", "beta from the terminal");
    pc_.write("B.DAT", "the PC's own");
    startSim({"--ht", "4", "--dir", files_.path(), "--polls", "1"});
    // The file holds only an upload job, so no direction is needed.
    const std::string job = writeJob({"[UPLOAD]", "HTID=4", "POLLING=50", "UPLOAD=" + pc_.path(),
                                      "SAVE=2", "LOGFILE=" + jobs_.file("up.log"), "LOGTYPE=0"});

    pid_t pid = spawnVeskactl(work_, {"job", "run", job});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitForOutputLines(1)) << slurp(work_.file("err"));
    writeStopFile("2");
    Outcome run = finish(work_, pid);
    EXPECT_EQ(run.status, 0) << run.err;
    expectStatusLine(outputLines().at(0), "HT 004 upload 2 files: 0 正常終了");
    const std::vector<std::string> history = {
        "H,004,アップロード,0000,処理開始",
        "D,004,A.DAT       ,0001,成功",
        "D,004,B.DAT       ,0003,同名",
        "F,004,アップロード,0000,正常終了",
    };
    expectHistory(jobs_.file("up.log"), history);
    EXPECT_EQ(slurp(pc_.file("A.DAT")), "alpha");
    EXPECT_EQ(slurp(pc_.file("B.DAT")), "the PC's own");

    // The stop file is left as it is, and ends the next run before any poll.
    const size_t polls = sim_->received(isCommand('P')).size();
    Outcome again = veskactl({"job", "run", job});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, "stopped by " + jobs_.file("ENDPRM.DAT") + "\n");
    EXPECT_EQ(sim_->received(isCommand('P')).size(), polls);
}

TEST_F(JobRuns, SigtermAbortsTheRunningTransfer) {
    pc_.write("BIG.DAT", testPattern(20000, 3));
    startSim({"--baud", "9600", "--ht", "5", "--dir", files_.path()});
    const std::string job =
        writeJob({"[DOWNLOAD]", "HTID=5", "POLLING=50", "001DOWNFILE=" + pc_.file("BIG.DAT"),
                  "LOGFILE=" + pc_.file("history.txt"), "LOGTYPE=1"});

    // A 512-byte block takes about half a second at 9600 baud: more than the
    // stored time-out allows for its answer.
    auto started = std::chrono::steady_clock::now();
    pid_t pid = spawnVeskactl(work_, {"job", "run", job, "--timeout", "2000"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(sim_->waitReceived(3, isFrame('D', "-", 5)));
    kill(pid, SIGTERM);
    Outcome run = finish(work_, pid);

    EXPECT_EQ(run.status, 128 + SIGTERM);
    EXPECT_EQ(run.err, "veskactl: job run interrupted\n");
    ASSERT_EQ(outputLines().size(), 1u) << run.out;
    expectStatusLine(outputLines()[0], "HT 005 download 1 file: 1003 中断終了（ＰＣ側）");
    const std::vector<std::string> history = {
        "H,005,ダウンロード,0000,処理開始",
        "D,005,BIG.DAT     ,0000,未処理",
        "F,005,ダウンロード,1003,中断終了（ＰＣ側）",
    };
    expectHistory(pc_.file("history.txt"), history);
    EXPECT_TRUE(sim_->waitReceived(1, isFrame('E', "CAN", 5)));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_FALSE(fs::exists(files_.file("BIG.DAT")));
}

TEST_F(JobRuns, AFailureThatRepeatsEveryCycleIsWrittenOnceAndCountedAtTheEnd) {
    files_.write("A.DAT", "alpha");
    startSim({"--ht", "6", "--dir", files_.path()});
    const std::string job =
        writeJob({"[UPLOAD]", "HTID=6", "POLLING=50", "UPLOAD=" + pc_.file("unmounted"),
                  "LOGFILE=" + pc_.file("up.log"), "LOGTYPE=1"});

    pid_t pid = spawnVeskactl(work_, {"job", "run", job});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(sim_->waitReceived(10, isCommand('P', 6)));
    writeStopFile("2");
    Outcome run = finish(work_, pid);
    EXPECT_EQ(run.status, 0) << run.err;
    // Said once, not once a cycle; every cycle still has its status line.
    EXPECT_EQ(run.err,
              "veskactl: HT006：ＰＣフォルダ無し（3004）が続いています。"
              "結果が変わるまで履歴には書きません。\n");
    EXPECT_GE(outputLines().size(), 10u);
    const std::vector<std::string> lines = linesOf(slurp(pc_.file("up.log")), "\r\n");
    ASSERT_EQ(lines.size(), 3u) << slurp(pc_.file("up.log"));
    EXPECT_TRUE(std::regex_match(lines[2], std::regex("F," + kDate + "," + kTime +
                                                      ",006,アップロード,3004,ＰＣフォルダ無し"
                                                      "（同じ結果 [0-9]+ 回・記録省略）")))
        << lines[2];
}

TEST_F(JobRuns, AHistoryThatCannotBeWrittenIsSaidAndTheRunDoesNotEndAsASuccess) {
    pc_.write("A.DAT", "a");
    pc_.write("LOGS", "a file where the history's folder should be");
    startSim({"--ht", "2", "--dir", files_.path()});
    const std::string job =
        writeJob({"[DOWNLOAD]", "HTID=2", "POLLING=50", "001DOWNFILE=" + pc_.file("A.DAT"),
                  "LOGFILE=" + pc_.file("LOGS/history.txt"), "LOGTYPE=1"});
    pid_t pid = spawnVeskactl(work_, {"job", "run", job});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitForOutputLines(3)) << slurp(work_.file("err"));
    writeStopFile("2");
    Outcome run = finish(work_, pid);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "veskactl: 履歴ファイルに書き込めません：" + pc_.file("LOGS/history.txt") +
                           "（Not a directory）\n"
                           "veskactl: the history file could not always be written; lines are "
                           "missing\n");
}

TEST_F(JobRuns, ATerminalInTheWrongModeEndsTheRun) {
    // The stored port has no device: --port replaces it.
    storeSettings({"Port=9", "Timeout=500", "Retry=2"});
    pc_.write("A.DAT", "a");
    startSim({"--ht", "2", "--dir", files_.path(), "--fault", "result=M@W"});
    const std::string job = writeJob(
        {"[DOWNLOAD]", "HTID=2", "POLLING=50", "001DOWNFILE=" + pc_.file("A.DAT"),
         "LOGFILE=" + pc_.file("history.txt"), "LOGTYPE=1", "[UPLOAD]", "HTID=2", "POLLING=50"});

    Outcome run = veskactl({"job", "run", job, "--download", "--port", "1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "veskactl: ダウンロードに失敗しました。ｴﾗｰｺｰﾄﾞ：2004\n");
    expectStatusLine(outputLines().at(0), "HT 002 download 1 file: 2004 ＨＴモードエラー");
    const std::vector<std::string> history = {
        "H,002,ダウンロード,0000,処理開始",
        "D,002,A.DAT       ,0000,未処理",
        "F,002,ダウンロード,2004,ＨＴモードエラー",
    };
    expectHistory(pc_.file("history.txt"), history);
    EXPECT_EQ(sim_->received(isCommand('W', 2)).size(), 1u);
}

TEST_F(JobRuns, APortThatCannotBeOpenedIsReportedWithTheDeviceTried) {
    storeSettings({"Port=9"});
    setenv("VESKA_COM9", "/nonexistent/veska-line", 1);
    const std::string job = writeJob({"[UPLOAD]", "HTID=1", "POLLING=50", "UPLOAD=/tmp"});
    Outcome run = veskactl({"job", "run", job});
    unsetenv("VESKA_COM9");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("veskactl: アップロードに失敗しました。ｴﾗｰｺｰﾄﾞ：6001\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("there is no device /nonexistent/veska-line (from VESKA_COM9)"),
              std::string::npos)
        << run.err;
}

// A terminal that cancels before it announces a count sent no file, whatever
// the terminal before it sent.
TEST_F(JobRuns, EachStatusLineCountsOnlyItsOwnTerminalsFiles) {
    files_.write("A.DAT", "alpha");
    files_.write("B.DAT", "beta");
    startSim({"--ht", "3", "--dir", files_.path(), "--polls", "1", "--ht", "5", "--polls", "1",
              "--fault", "cancel@U"});
    const std::string job =
        writeJob({"[UPLOAD]", "HTID=3,5", "POLLING=50", "UPLOAD=" + pc_.path(), "SAVE=0"});

    pid_t pid = spawnVeskactl(work_, {"job", "run", job});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitForOutputLines(2)) << slurp(work_.file("err"));
    writeStopFile("2");
    Outcome run = finish(work_, pid);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> out = outputLines();
    ASSERT_GE(out.size(), 2u) << run.out;
    expectStatusLine(out[0], "HT 003 upload 2 files: 0 正常終了");
    expectStatusLine(out[1], "HT 005 upload 0 files: 1002 .*");
}

TEST_F(JobRuns, AStoredPortThatIsNoPortNumberIsNamedAndNothingIsOpened) {
    storeSettings({"Port=99999999999"});
    const std::string job = writeJob({"[UPLOAD]", "HTID=1", "POLLING=50", "UPLOAD=/tmp"});
    Outcome run = veskactl({"job", "run", job});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("settings: Port=99999999999 in " + config_.file("MORVA/VESKA2.conf") +
                           " is not a port number from 1 to 2147483647; it reads as 0\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("open port 0 failed: 1001"), std::string::npos) << run.err;
}

TEST_F(JobRuns, ShowListsEachJobTheFileHolds) {
    const std::string job =
        writeJob({"[DOWNLOAD]", "HTID=1,3,5-10", "POLLING=75ms", "SKIP=1", "001DOWNFILE=/pc/A.DAT",
                  "002DOWNFILE=/pc/*.TXT", "004DOWNFILE=/pc/AFTER.GAP", "LOGFILE=/pc/down.log",
                  "LOGTYPE=1", "[UPLOAD]", "HTID=4", "POLLING=300", "UPLOAD=/pc/in", "SAVE=2",
                  "LOGFILE=/pc/up.log", "LOGTYPE=0"});
    const std::string download =
        "以下の設定でオートモード・ダウンロードを行います。\n"
        "対象HTのID   :1,3,5-10\n"
        "ﾎﾟｰﾘﾝｸﾞ間隔  :75ms\n"
        "STOP処理     :1\n"
        "ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙ :/pc/A.DAT\n"
        "             :/pc/*.TXT\n"
        "履歴処理     :1\n"
        "履歴ﾌｧｲﾙ名   :/pc/down.log\n";
    const std::string upload =
        "以下の設定でオートモード・アップロードを行います。\n"
        "対象HTのID    :4\n"
        "ﾎﾟｰﾘﾝｸﾞ間隔   :300\n"
        "ｱｯﾌﾟﾛｰﾄﾞﾌｫﾙﾀﾞ :/pc/in\n"
        "上書き処理    :2\n"
        "履歴処理      :0\n"
        "履歴ﾌｧｲﾙ名    :/pc/up.log\n";

    Outcome both = veskactl({"job", "show", job});
    EXPECT_EQ(both.status, 0) << both.err;
    EXPECT_EQ(both.out, download + "\n" + upload);
    Outcome one = veskactl({"job", "show", job, "--upload"});
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out, upload);

    // A job file holding both jobs does not choose for a run.
    Outcome ambiguous = veskactl({"job", "run", job});
    EXPECT_EQ(ambiguous.status, 2);
    EXPECT_NE(ambiguous.err.find("choose one with --download or --upload"), std::string::npos)
        << ambiguous.err;
}

TEST_F(JobRuns, AJobFileThatCannotBeReadIsRefused) {
    const std::string missing = jobs_.file("NONE.SIF");
    for (const char* command : {"show", "run"}) {
        Outcome run = veskactl({"job", command, missing});
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_EQ(run.out, "") << command;
        EXPECT_EQ(run.err, "veskactl: 設定ファイルの読み込みに失敗しました: " + missing + "\n")
            << command;
    }

    // A value out of range spoils its own job only.
    const std::string job = writeJob({"[DOWNLOAD]", "HTID=1", "POLLING=50", "[UPLOAD]", "HTID=1",
                                      "POLLING=50", "UPLOAD=/pc", "SAVE=5"});
    Outcome both = veskactl({"job", "show", job});
    EXPECT_EQ(both.status, 1);
    EXPECT_NE(both.out.find("オートモード・ダウンロード"), std::string::npos) << both.out;
    EXPECT_EQ(both.err,
              "veskactl: 設定ファイルの読み込みに失敗しました: " + job + " (upload job)\n");
    Outcome run = veskactl({"job", "run", job, "--upload"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "veskactl: 設定ファイルの読み込みに失敗しました: " + job + "\n");

    // No job file is megabytes long: one that is is refused at once, not
    // parsed again for every value while the stop file goes unread.
    const std::string huge =
        writeJob({"[DOWNLOAD]", "HTID=1", "POLLING=50", "; " + std::string(2 << 20, 'x')});
    const auto started = std::chrono::steady_clock::now();
    Outcome refused = veskactl({"job", "run", huge});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "veskactl: 設定ファイルの読み込みに失敗しました: " + huge + "\n");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

}  // namespace
