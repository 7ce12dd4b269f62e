// The download tool's job editor and main window.

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <functional>
#include <utility>

#include "cls_setfile.h"
#include "f_maind.h"
#include "f_setd.h"
#include "f_setrs.h"
#include "job_start.h"
#include "window_test.h"

namespace vsk::testing {
namespace {

using ui::F_MainD;
using ui::F_SetD;

const QString kNoHtid = QStringLiteral("対象HTIDの入力がありません。");
const QString kPollingRange = QStringLiteral("ポーリング間隔が範囲外です。");
const QString kNoFiles = QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙ名の選択がありません");
const QString kNoHistory = QStringLiteral("履歴ﾌｧｲﾙ名の選択がありません");
const QString kDownloadHeading =
    QStringLiteral("以下の設定でオートモード・ダウンロードを行います。");

void addLines(F_SetD& editor, const QStringList& lines) {
    for (const QString& line : lines) {
        editor.txtFileName()->setText(line);
        editor.btnAdd()->click();
    }
}

QStringList numberedFiles(int count) {
    QStringList names;
    for (int i = 1; i <= count; ++i)
        names << QStringLiteral("/d/F%1.DAT").arg(i, 3, 10, QChar('0'));
    return names;
}

// A job that passes every check.
void fillValid(F_SetD& editor) {
    editor.txtHTID()->setText(QStringLiteral("1-3"));
    editor.txtPolling()->setText(QStringLiteral("100"));
    addLines(editor, {QStringLiteral("/d/A.DAT")});
    editor.txtHis()->setText(QStringLiteral("/log/h.log"));
}

class DownloadEditorTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        editor_.setRunWindow(recorder());
    }

    // Tries both actions the checks guard; the messages they gave.
    QStringList saveAndStart() {
        messages_.clear();
        editor_.btnSave()->click();
        editor_.btnDwnStart()->click();
        return messages_;
    }

    F_SetD editor_;
};

TEST_F(DownloadEditorTest, ChecksInOrderAndStopsAtTheFirstFailure) {
    Confirmations cancel(false);
    // An empty terminal list and an empty file list: only the first is told.
    EXPECT_EQ(saveAndStart(), (QStringList{kNoHtid, kNoHtid}));
    editor_.txtHTID()->setText(QStringLiteral("1-3"));
    EXPECT_EQ(saveAndStart(), (QStringList{kPollingRange, kPollingRange}));
    editor_.txtPolling()->setText(QStringLiteral("100"));
    EXPECT_EQ(saveAndStart(), (QStringList{kNoFiles, kNoFiles}));
    addLines(editor_, {QStringLiteral("/d/A.DAT")});
    EXPECT_EQ(saveAndStart(), (QStringList{kNoHistory, kNoHistory}));
    editor_.optHis()->button(1)->click();
    EXPECT_EQ(saveAndStart(), (QStringList{kNoHistory, kNoHistory}));
    EXPECT_TRUE(requests_.empty());
    EXPECT_EQ(cancel.shows(), 0);

    // Without a history file no history file is needed.
    editor_.optHis()->button(2)->click();
    EXPECT_TRUE(saveAndStart().isEmpty());
    EXPECT_EQ(requests_.size(), 1u);  // the save dialog, cancelled
    EXPECT_EQ(cancel.shows(), 1);
    EXPECT_TRUE(runs_.empty());
}

TEST_F(DownloadEditorTest, PollingIntervalMustLieFrom50To300) {
    editor_.txtHTID()->setText(QStringLiteral("1"));
    for (const char* bad : {"", "abc", "49", "301", "-100", "49.9"}) {
        editor_.txtPolling()->setText(QString::fromUtf8(bad));
        EXPECT_EQ(saveAndStart().value(0), kPollingRange) << bad;
    }
    // The next check speaks: the interval passed.
    for (const char* good : {"50", "300", "75ms", " 120"}) {
        editor_.txtPolling()->setText(QString::fromUtf8(good));
        EXPECT_EQ(saveAndStart().value(0), kNoFiles) << good;
    }
}

TEST_F(DownloadEditorTest, AddsTypedNamesAndDeletesTheSelectedLine) {
    editor_.btnAdd()->click();  // nothing typed
    addLines(editor_,
             {QStringLiteral("/d/A.DAT"), QStringLiteral("/d/A.DAT"), QStringLiteral("/d/B.DAT")});
    EXPECT_EQ(editor_.lstDwnFile()->count(), 3);

    editor_.lstDwnFile()->clearSelection();
    editor_.btnDel()->click();
    EXPECT_EQ(editor_.lstDwnFile()->count(), 3);

    editor_.lstDwnFile()->setCurrentRow(1);
    editor_.btnDel()->click();
    EXPECT_EQ(itemsOf(editor_.lstDwnFile()),
              (QStringList{QStringLiteral("/d/A.DAT"), QStringLiteral("/d/B.DAT")}));
}

TEST_F(DownloadEditorTest, BrowsedNamesFillTheirFieldsAndACancelKeepsWhatWasTyped) {
    answer(QStringLiteral("/d/picked.dat"));
    editor_.btnFileOpen()->click();
    EXPECT_EQ(editor_.txtFileName()->text(), QStringLiteral("/d/picked.dat"));
    editor_.btnFileOpen()->click();  // cancelled
    EXPECT_EQ(editor_.txtFileName()->text(), QStringLiteral("/d/picked.dat"));

    answer(QStringLiteral("/log/new.log"));
    editor_.btnHis()->click();
    EXPECT_EQ(editor_.txtHis()->text(), QStringLiteral("/log/new.log"));
    editor_.btnHis()->click();
    EXPECT_EQ(editor_.txtHis()->text(), QStringLiteral("/log/new.log"));

    ASSERT_EQ(requests_.size(), 4u);
    EXPECT_EQ(requests_[0].kind, ui::PathRequest::Kind::OpenFile);
    // A history file that the first run will create can be named.
    EXPECT_EQ(requests_[2].kind, ui::PathRequest::Kind::OpenAnyFile);
}

TEST_F(DownloadEditorTest, SavesTheJobIntoTheDownloadSection) {
    editor_.txtHTID()->setText(QStringLiteral("1,3,5-7"));
    editor_.txtPolling()->setText(QStringLiteral("75ms"));
    editor_.chkSkip()->setChecked(true);
    editor_.optHis()->button(1)->click();
    editor_.txtHis()->setText(QStringLiteral("/log/h.log"));
    addLines(editor_, {QStringLiteral("/d/A.DAT"), QStringLiteral("/d/*.TXT")});
    answer(path("day.SIF"));
    editor_.btnSave()->click();

    EXPECT_TRUE(messages_.isEmpty());
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].kind, ui::PathRequest::Kind::SaveFile);
    ui::ClsSetFile file;
    ASSERT_TRUE(file.setfilename(path("day.SIF")));
    EXPECT_EQ(file.GetHTNO(1), QStringLiteral("1,3,5-7"));
    EXPECT_EQ(file.GetPollingTout(1), QStringLiteral("75ms"));
    EXPECT_EQ(file.GetSkipMode(), QStringLiteral("1"));
    EXPECT_EQ(file.GetResMode(1), QStringLiteral("1"));
    EXPECT_EQ(file.GetResFile(1), QStringLiteral("/log/h.log"));
    EXPECT_EQ(file.GetDownloadFile(1), QStringLiteral("/d/A.DAT"));
    EXPECT_EQ(file.GetDownloadFile(2), QStringLiteral("/d/*.TXT"));
    EXPECT_EQ(file.GetDownloadFile(3), QString());
    EXPECT_FALSE(file.Err());
    EXPECT_EQ(read("day.SIF").find("[UPLOAD]"), std::string::npos);
}

TEST_F(DownloadEditorTest, SavingOverALongerJobLeavesOnlyTheNewEntries) {
    std::string old = "[DOWNLOAD]\r\nHTID=9\r\n";
    for (int i = 1; i <= 10; ++i)
        old +=
            QStringLiteral("%1DOWNFILE=/old/%2\r\n").arg(i, 3, 10, QChar('0')).arg(i).toStdString();
    write("day.SIF", old);
    fillValid(editor_);
    addLines(editor_, {QStringLiteral("/d/B.DAT"), QStringLiteral("/d/C.DAT")});
    answer(path("day.SIF"));
    editor_.btnSave()->click();

    ui::ClsSetFile file;
    file.setfilename(path("day.SIF"));
    for (int i = 1; i <= 3; ++i) EXPECT_FALSE(file.GetDownloadFile(i).isEmpty()) << i;
    const std::string text = read("day.SIF");
    EXPECT_EQ(text.find("/old/"), std::string::npos) << text;
    EXPECT_EQ(text.find("004DOWNFILE"), std::string::npos) << text;
}

TEST_F(DownloadEditorTest, SavesAtMost128Entries) {
    fillValid(editor_);
    editor_.lstDwnFile()->clear();
    const QStringList lines = numberedFiles(130);
    addLines(editor_, lines);
    answer(path("big.SIF"));
    editor_.btnSave()->click();

    ui::ClsSetFile file;
    file.setfilename(path("big.SIF"));
    EXPECT_EQ(file.GetDownloadFile(1), lines[0]);
    EXPECT_EQ(file.GetDownloadFile(128), lines[127]);
    EXPECT_EQ(read("big.SIF").find("129DOWNFILE"), std::string::npos);
    EXPECT_EQ(read("big.SIF").find("F129.DAT"), std::string::npos);
}

TEST_F(DownloadEditorTest, TellsASaveThatDidNotReachTheFile) {
    fillValid(editor_);
    answer(path("gone") + QStringLiteral("/day.SIF"));
    editor_.btnSave()->click();
    EXPECT_EQ(messages_, QStringList{ui::kJobSaveFailed});
}

TEST_F(DownloadEditorTest, StartConfirmsTheEditedJobAndRunsItUnsaved) {
    editor_.txtHTID()->setText(QStringLiteral("2,4-5"));
    editor_.txtPolling()->setText(QStringLiteral("75ms"));
    editor_.chkSkip()->setChecked(true);
    editor_.optHis()->button(2)->click();
    addLines(editor_, {QStringLiteral("/d/A.DAT"), QStringLiteral("/d/B.DAT")});
    Confirmations ok;
    editor_.btnDwnStart()->click();

    EXPECT_EQ(ok.heading, kDownloadHeading);
    EXPECT_EQ(ok.lines, (QStringList{
                            QStringLiteral("対象HTのID   :2,4-5"),
                            QStringLiteral("ﾎﾟｰﾘﾝｸﾞ間隔  :75ms"),
                            QStringLiteral("STOP処理     :1"),
                            QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙ :/d/A.DAT"),
                            QStringLiteral("             :/d/B.DAT"),
                            QStringLiteral("履歴処理     :2"),
                            QStringLiteral("履歴ﾌｧｲﾙ名   :"),
                        }));
    ASSERT_EQ(runs_.size(), 1u);
    const ui::AutoJob& job = runs_[0].job;
    EXPECT_EQ(job.protype, 1);
    EXPECT_EQ(job.htno, maskOf({2, 4, 5}));
    EXPECT_EQ(job.PollingTout, 75);
    EXPECT_EQ(job.SkipMode, 1);
    EXPECT_EQ(job.ResMode, 2);
    EXPECT_EQ(job.ResFileName, QString(128, QLatin1Char(' ')));
    EXPECT_EQ(runs_[0].files,
              (QStringList{QStringLiteral("/d/A.DAT"), QStringLiteral("/d/B.DAT")}));
    EXPECT_FALSE(runs_[0].listFull);
    expectStoredLine(job);
    EXPECT_TRUE(requests_.empty());  // starting saves nothing
}

TEST_F(DownloadEditorTest, CancelledConfirmationStartsNothing) {
    fillValid(editor_);
    Confirmations cancel(false);
    editor_.btnDwnStart()->click();
    EXPECT_EQ(cancel.shows(), 1);
    EXPECT_TRUE(runs_.empty());
}

TEST_F(DownloadEditorTest, StartWith130LinesHandsOverTheFirst128) {
    fillValid(editor_);
    editor_.lstDwnFile()->clear();
    const QStringList lines = numberedFiles(130);
    addLines(editor_, lines);
    Confirmations ok;
    editor_.btnDwnStart()->click();
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(runs_[0].files, lines.mid(0, 128));
    EXPECT_TRUE(runs_[0].listFull);
}

// The editor shown and driven by the keyboard.
class DownloadEditorKeysTest : public DownloadEditorTest {
  protected:
    void SetUp() override {
        DownloadEditorTest::SetUp();
        answerQuestions(false);
        ASSERT_TRUE(showActive(editor_));
        editor_.txtHTID()->setFocus();
    }
};

TEST_F(DownloadEditorKeysTest, TabGoesDownTheEditorAndEntersTheHistoryAtItsSelection) {
    EXPECT_EQ(tabs(13), (QStringList{"txtPolling", "txtFileName", "btnFileOpen", "btnAdd", "btnDel",
                                     "lstDwnFile", "chkSkip", "optHis_0", "txtHis", "btnHis",
                                     "btnDwnStart", "btnSave", "btnCancel"}));
    EXPECT_EQ(tabs(5, Qt::ShiftModifier),
              (QStringList{"btnSave", "btnDwnStart", "btnHis", "txtHis", "optHis_0"}));
    // The arrows move and select within the group; Tab leaves it and comes
    // back to the selection.
    EXPECT_EQ(press(Qt::Key_Right), "optHis_1");
    EXPECT_EQ(press(Qt::Key_Right), "optHis_2");
    EXPECT_EQ(editor_.optHis()->checkedId(), 2);
    EXPECT_EQ(tabs(2, Qt::ShiftModifier), (QStringList{"chkSkip", "lstDwnFile"}));
    EXPECT_EQ(tabs(2), (QStringList{"chkSkip", "optHis_2"}));
    EXPECT_EQ(press(Qt::Key_Tab), "txtHis");
}

TEST_F(DownloadEditorKeysTest, EnterInTheFileNameBoxAddsTheFileAndStartsNothing) {
    Confirmations ok;
    fillValid(editor_);
    // Were start the default button, Enter in the name box would still only add.
    editor_.btnDwnStart()->setDefault(true);
    editor_.txtFileName()->setFocus();
    editor_.txtFileName()->clear();
    typeIn(QStringLiteral("/d/B.DAT"));
    EXPECT_EQ(press(Qt::Key_Return), "txtFileName");
    editor_.txtFileName()->selectAll();
    typeIn(QStringLiteral("/d/C.DAT"));
    EXPECT_EQ(press(Qt::Key_Enter, Qt::KeypadModifier), "txtFileName");
    EXPECT_EQ(itemsOf(editor_.lstDwnFile()), (QStringList{"/d/A.DAT", "/d/B.DAT", "/d/C.DAT"}));
    EXPECT_EQ(ok.shows(), 0);
    EXPECT_TRUE(runs_.empty());
    EXPECT_TRUE(editor_.isVisible());
    // An empty box adds nothing.
    editor_.txtFileName()->clear();
    press(Qt::Key_Return);
    EXPECT_EQ(editor_.lstDwnFile()->count(), 3);
}

TEST_F(DownloadEditorKeysTest, AnUntouchedEditorClosesOnEscapeWithoutAsking) {
    press(Qt::Key_Escape);
    EXPECT_FALSE(editor_.isVisible());
    EXPECT_TRUE(questions_.isEmpty());
}

TEST_F(DownloadEditorKeysTest, EscapeAndTheCloseBoxAskBeforeEditsAreThrownAway) {
    // Each kind of edit, made with the keys.
    const std::vector<std::pair<const char*, std::function<void(F_SetD&)>>> edits = {
        {"terminals", [](F_SetD& e) { e.txtHTID()->setFocus(), typeIn("1-3"); }},
        {"polling", [](F_SetD& e) { e.txtPolling()->setFocus(), typeIn("100"); }},
        {"name typed", [](F_SetD& e) { e.txtFileName()->setFocus(), typeIn("/d/A.DAT"); }},
        {"list",
         [](F_SetD& e) {
             e.txtFileName()->setFocus(), typeIn("/d/A.DAT"), press(Qt::Key_Return);
             e.txtFileName()->clear();
         }},
        {"stop box", [](F_SetD& e) { e.chkSkip()->setFocus(), press(Qt::Key_Space); }},
        {"history mode",
         [](F_SetD& e) { e.optHis()->button(0)->setFocus(), press(Qt::Key_Right); }},
        {"history file", [](F_SetD& e) { e.txtHis()->setFocus(), typeIn("/log/h.log"); }},
    };
    for (const auto& [what, edit] : edits) {
        SCOPED_TRACE(what);
        F_SetD editor;
        ASSERT_TRUE(showActive(editor));
        edit(editor);
        const QString before = editor.txtHTID()->text() + editor.txtPolling()->text();
        questions_.clear();
        answerQuestions(false);
        press(Qt::Key_Escape);
        EXPECT_TRUE(editor.isVisible());
        EXPECT_FALSE(closeBox(editor));
        EXPECT_TRUE(editor.isVisible());
        EXPECT_EQ(questions_, (QStringList{kDiscardQuestion, kDiscardQuestion}));
        EXPECT_EQ(editor.txtHTID()->text() + editor.txtPolling()->text(), before);
        answerQuestions(true);
        EXPECT_TRUE(closeBox(editor));
        EXPECT_FALSE(editor.isVisible());
    }
}

TEST_F(DownloadEditorKeysTest, ASavedJobClosesWithoutAskingUntilItIsEditedAgain) {
    fillValid(editor_);
    // A save that did not reach the file keeps the edits unsaved.
    answer(path("gone") + QStringLiteral("/day.SIF"));
    editor_.btnSave()->click();
    press(Qt::Key_Escape);
    EXPECT_EQ(questions_, QStringList{kDiscardQuestion});

    answer(path("day.SIF"));
    editor_.btnSave()->click();
    editor_.txtPolling()->setFocus();
    typeIn("0");
    press(Qt::Key_Escape);
    EXPECT_EQ(questions_.size(), 2);
    EXPECT_TRUE(editor_.isVisible());
    press(Qt::Key_Backspace);  // back as saved
    press(Qt::Key_Escape);
    EXPECT_EQ(questions_.size(), 2);
    EXPECT_FALSE(editor_.isVisible());
}

TEST_F(DownloadEditorKeysTest, CancelLeavesWithoutAsking) {
    fillValid(editor_);
    editor_.btnCancel()->setFocus();
    press(Qt::Key_Space);
    EXPECT_FALSE(editor_.isVisible());
    EXPECT_TRUE(questions_.isEmpty());
}

class DownloadMainWindowTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        window_.setRunWindow(recorder());
    }

    void readJob(const char* name) {
        answer(path(name));
        window_.btnFileRead()->click();
    }

    F_MainD window_;
};

TEST_F(DownloadMainWindowTest, VersionLabelIsCompletedOnceWhenTheWindowLoads) {
    EXPECT_EQ(window_.lblVer()->text(), QStringLiteral("Ver."));
    window_.show();
    window_.hide();
    window_.show();
    EXPECT_EQ(window_.lblVer()->text(), QStringLiteral("Ver.2.03"));
    EXPECT_EQ(window_.windowTitle(), QStringLiteral("オートモード・ダウンロード"));
}

TEST_F(DownloadMainWindowTest, ReadsAndRunsOnlyTheDownloadJobOfAFileWithBoth) {
    write("both.SIF", bothJobs());
    Confirmations ok;
    readJob("both.SIF");

    EXPECT_TRUE(messages_.isEmpty());
    EXPECT_EQ(ok.heading, kDownloadHeading);
    EXPECT_EQ(ok.lines, (QStringList{
                            QStringLiteral("対象HTのID   :1,3"),
                            QStringLiteral("ﾎﾟｰﾘﾝｸﾞ間隔  :120"),
                            QStringLiteral("STOP処理     :1"),
                            QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙ :/d/A.DAT"),
                            QStringLiteral("             :/d/B.TXT"),
                            QStringLiteral("履歴処理     :1"),
                            QStringLiteral("履歴ﾌｧｲﾙ名   :/log/down.log"),
                        }));
    ASSERT_EQ(runs_.size(), 1u);
    const ui::AutoJob& job = runs_[0].job;
    EXPECT_EQ(job.protype, 1);
    EXPECT_EQ(job.htno, maskOf({1, 3}));
    EXPECT_EQ(job.PollingTout, 120);
    EXPECT_EQ(job.SkipMode, 1);
    EXPECT_EQ(job.ResMode, 1);
    EXPECT_EQ(job.ResFileName.trimmed(), QStringLiteral("/log/down.log"));
    EXPECT_TRUE(job.upfolder.isEmpty());
    EXPECT_EQ(runs_[0].files,
              (QStringList{QStringLiteral("/d/A.DAT"), QStringLiteral("/d/B.TXT")}));
    // All 128 entries were handed over, the empty ones too.
    EXPECT_TRUE(runs_[0].listFull);
    expectStoredLine(job);
}

TEST_F(DownloadMainWindowTest, AnEmptyEntryEndsTheJobsFiles) {
    write("gap.SIF", fileText({"[DOWNLOAD]", "HTID=1", "POLLING=100", "001DOWNFILE=/d/1",
                               "002DOWNFILE=/d/2", "004DOWNFILE=/d/4", "005DOWNFILE=/d/5"}));
    Confirmations ok;
    readJob("gap.SIF");
    EXPECT_EQ(ok.lines.mid(3, 3), (QStringList{QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙ :/d/1"),
                                               QStringLiteral("             :/d/2"),
                                               QStringLiteral("履歴処理     :")}));
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(runs_[0].files, (QStringList{QStringLiteral("/d/1"), QStringLiteral("/d/2")}));
}

TEST_F(DownloadMainWindowTest, RefusesAJobFileThatCannotBeRead) {
    write("skip.SIF", fileText({"[DOWNLOAD]", "HTID=1", "POLLING=100", "SKIP=2"}));
    write("logtype.SIF", fileText({"[DOWNLOAD]", "HTID=1", "POLLING=100", "LOGTYPE=3"}));
    write("polling.SIF", fileText({"[DOWNLOAD]", "HTID=1", "POLLING=301"}));
    write("nopolling.SIF", fileText({"[DOWNLOAD]", "HTID=1", "001DOWNFILE=/d/A"}));
    write("noht.SIF", fileText({"[DOWNLOAD]", "HTID=0,129", "POLLING=100", "001DOWNFILE=/d/A"}));
    Confirmations ok;
    for (const char* name :
         {"missing.SIF", "skip.SIF", "logtype.SIF", "polling.SIF", "nopolling.SIF", "noht.SIF"}) {
        messages_.clear();
        readJob(name);
        EXPECT_EQ(messages_, QStringList{ui::kJobReadFailed}) << name;
    }
    EXPECT_EQ(ok.shows(), 0);
    EXPECT_TRUE(runs_.empty());
}

TEST_F(DownloadMainWindowTest, NoFileChosenOrConfirmationCancelledRunsNothing) {
    write("both.SIF", bothJobs());
    Confirmations cancel(false);
    window_.btnFileRead()->click();  // the dialog is cancelled
    EXPECT_EQ(cancel.shows(), 0);
    readJob("both.SIF");
    EXPECT_EQ(cancel.shows(), 1);
    EXPECT_TRUE(runs_.empty());
    EXPECT_TRUE(messages_.isEmpty());
}

TEST_F(DownloadMainWindowTest, EditorOpensEmptyEachTimeAndRunsItsJobThroughTheWindow) {
    Confirmations ok;
    int opened = 0;
    DialogDriver<F_SetD> editor([&](F_SetD& shown) {
        ++opened;
        EXPECT_TRUE(shown.isModal());
        EXPECT_TRUE(shown.txtHTID()->text().isEmpty());
        EXPECT_EQ(shown.lstDwnFile()->count(), 0);
        EXPECT_EQ(shown.optHis()->checkedId(), 0);
        if (opened == 1) {
            fillValid(shown);
            shown.btnDwnStart()->click();
        }
        shown.btnCancel()->click();
    });
    window_.btnSetData()->click();
    window_.btnSetData()->click();
    EXPECT_EQ(opened, 2);
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(runs_[0].job.protype, 1);
}

TEST_F(DownloadMainWindowTest, SerialSettingsOpenModalAndEndClosesTheWindow) {
    DialogDriver<ui::F_SetRS> settings([](ui::F_SetRS& shown) { shown.reject(); });
    window_.show();
    window_.btnRSSet()->click();
    EXPECT_EQ(settings.shows(), 1);
    window_.btnEnd()->click();
    EXPECT_FALSE(window_.isVisible());
}

}  // namespace
}  // namespace vsk::testing
