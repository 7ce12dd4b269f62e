// What the auto tools' window tests share: a settings store and a job folder
// of their own per test, message boxes recorded, file dialogs answered from a
// queue, confirmations answered by a driver, and run windows recorded as
// they were set up instead of being run.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QWindow>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "cls_reg.h"
#include "dialog_driver.h"
#include "f_auto.h"
#include "f_msg.h"
#include "f_setd.h"
#include "file_dialogs.h"
#include "message_box.h"
#include "sim_process.h"

// Readable failures: gtest finds this beside QString.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace vsk::testing {

using htsim::testing::TempDir;

inline QStringList itemsOf(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
}

// The HT mask selecting exactly `terminals`.
inline QString maskOf(std::initializer_list<int> terminals) {
    QString mask(128, QLatin1Char('0'));
    for (int t : terminals) mask[t - 1] = QLatin1Char('1');
    return mask;
}

// Lines ended by CR LF, as the job files are written.
inline std::string fileText(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) text += std::string(line) + "\r\n";
    return text;
}

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
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(config_.path()));
        ui::ClsReg reg;
        reg.setPort(3);
        reg.setBaudRate(19200);
        reg.setParity(QStringLiteral("E"));
        reg.setBiteSize(7);
        reg.setStopBits(2);
        reg.setTimeout(700);
        reg.setRetry(4);
        ui::setMessageSink([this](const QString& text) { messages_ << text; });
        ui::setPathChooser([this](const ui::PathRequest& request) {
            requests_.push_back(request);
            return answers_.isEmpty() ? QString() : answers_.takeFirst();
        });
    }

    void TearDown() override {
        ui::setMessageSink(nullptr);
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

    TempDir config_{"veskau-config"};
    TempDir jobs_{"veskau-jobs"};
    QStringList messages_;
    QStringList answers_;
    std::vector<ui::PathRequest> requests_;
    std::vector<RunSetUp> runs_;
    QStringList questions_;
};

inline const QString kDiscardQuestion = QStringLiteral("確認|変更内容を破棄して閉じますか？");

// The keyboard as it arrives: each key goes to the control that has the
// focus. The name of the control that has it after.
inline QString press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focused = QApplication::focusWidget();
    if (focused == nullptr) return QStringLiteral("<no focus>");
    QTest::keyClick(focused, key, modifiers);
    focused = QApplication::focusWidget();
    return focused != nullptr ? focused->objectName() : QStringLiteral("<no focus>");
}

inline QStringList tabs(int count, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QStringList names;
    for (int i = 0; i < count; ++i) names << press(Qt::Key_Tab, modifiers);
    return names;
}

inline void typeIn(const QString& text) {
    QWidget* focused = QApplication::focusWidget();
    if (focused == nullptr) {
        ADD_FAILURE() << "nothing has the focus to type into";
        return;
    }
    QTest::keyClicks(focused, text);
}

// Shows `window` and gives it the keyboard, as a click on it would.
inline bool showActive(QWidget& window) {
    window.show();
    QApplication::setActiveWindow(&window);
    return QTest::qWaitForWindowActive(&window);
}

// The title bar's close box: the close arrives from the window system, on
// the window rather than the widget. True when the window let itself close.
inline bool closeBox(QWidget& window) {
    QCloseEvent event;
    QApplication::sendEvent(window.windowHandle(), &event);
    return event.isAccepted();
}

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
