// What the auto tools' window tests share: a settings store and a job folder
// of their own per test, message boxes recorded, file dialogs answered from a
// queue, confirmations answered by a driver, and run windows recorded as
// they were set up instead of being run.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "auto_testing.h"
#include "cls_reg.h"
#include "dialog_driver.h"
#include "f_auto.h"
#include "f_msg.h"
#include "f_setd.h"
#include "file_dialogs.h"
#include "message_box.h"
#include "qt_print.h"
#include "sim_process.h"
#include "test_env.h"
#include "widget_input.h"

namespace vsk::testing {

using htsim::testing::TempDir;

// A run window as it was handed over.
struct RunSetUp {
    ui::AutoJob job;
    QStringList files;      // the transfer list, expanded
    bool listFull = false;  // 128 names had been added
};

inline RunSetUp setUpOf(ui::F_Auto& window) {
    RunSetUp s;
    s.job = window.runner().job();
    ui::ClsDatFile& files = window.runner().files();
    const int n = files.GetDownFileArrange();
    for (int i = 0; i < n; ++i) s.files << files.filename(i);
    s.listFull = window.FileTblAdd(QStringLiteral("/probe")) < 0;
    return s;
}

// Answers every confirmation shown while it lives with OK or Cancel and
// keeps what the last one showed.
class Confirmations {
  public:
    explicit Confirmations(bool ok = true)
        : driver_([this, ok](ui::F_Msg& msg) {
              heading = msg.Label1()->text();
              lines = itemsOf(msg.lstMsg());
              (ok ? msg.OKButton() : msg.CancelButton())->click();
          }) {}
    int shows() const { return driver_.shows(); }

    QString heading;
    QStringList lines;

  private:
    DialogDriver<ui::F_Msg> driver_;
};

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui::ClsReg reg;
        reg.setPort(3);
        reg.setBaudRate(19200);
        reg.setParity(QStringLiteral("E"));
        reg.setBiteSize(7);
        reg.setStopBits(2);
        reg.setTimeout(700);
        reg.setRetry(4);
        ui::setPathChooser([this](const ui::PathRequest& request) {
            requests_.push_back(request);
            return answers_.isEmpty() ? QString() : answers_.takeFirst();
        });
    }

    void TearDown() override {
        ui::setPathChooser(nullptr);
        ui::setQuestionSink(nullptr);
    }

    // Questions are recorded and answered with `yes` from here on.
    void answerQuestions(bool yes) {
        ui::setQuestionSink([this, yes](const QString& title, const QString& text) {
            questions_ << title + QLatin1Char('|') + text;
            return yes;
        });
    }

    // The next file dialog answers `chosen`; an empty text is a cancel.
    void answer(const QString& chosen) { answers_ << chosen; }
    QString path(const char* name) const { return QString::fromStdString(jobs_.file(name)); }
    void write(const char* name, const std::string& text) const { jobs_.write(name, text); }
    std::string read(const char* name) const { return jobs_.read(name).value_or("<none>"); }

    ui::RunWindowHook recorder() {
        return [this](ui::F_Auto& window) { runs_.push_back(setUpOf(window)); };
    }

    SettingsFolder config_{"veskau-config"};
    TempDir jobs_{"veskau-jobs"};
    QStringList messages_;
    RecordedMessages recording_{messages_};
    QStringList answers_;
    std::vector<ui::PathRequest> requests_;
    std::vector<RunSetUp> runs_;
    QStringList questions_;
};

inline const QString kDiscardQuestion = QStringLiteral("確認|変更内容を破棄して閉じますか？");

// The line settings the store of every test holds, as the run window takes them.
inline void expectStoredLine(const ui::AutoJob& job) {
    EXPECT_EQ(job.ComPort, 3);
    EXPECT_EQ(job.line.BaudRate, 19200);
    EXPECT_EQ(job.line.Parity, 1);
    EXPECT_EQ(job.line.BiteSize, 0);
    EXPECT_EQ(job.line.StopBits, 1);
    EXPECT_EQ(job.line.timeout, 700);
    EXPECT_EQ(job.line.Retry, 4);
}

// A job file holding both jobs; the history mode differs per section.
inline std::string bothJobs() {
    return fileText({"[DOWNLOAD]", "HTID=1,3", "POLLING=120", "SKIP=1", "001DOWNFILE=/d/A.DAT",
                     "002DOWNFILE=/d/B.TXT", "LOGFILE=/log/down.log", "LOGTYPE=1", "", "[UPLOAD]",
                     "HTID=5-6", "POLLING=80", "UPLOAD=/up", "SAVE=2", "LOGFILE=/log/up.log",
                     "LOGTYPE=0"});
}

}  // namespace vsk::testing
