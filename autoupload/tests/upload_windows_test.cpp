// The upload tool's job editor and main window.

#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>

#include "cls_setfile.h"
#include "f_mainu.h"
#include "f_setu.h"
#include "job_start.h"
#include "window_test.h"

namespace vsk::testing {
namespace {

using ui::F_MainU;
using ui::F_SetU;

const QString kNoHtid = QStringLiteral("対象HTIDの入力がありません。");
const QString kPollingRange = QStringLiteral("ポーリング間隔が範囲外です。");
const QString kNoFolder = QStringLiteral("アップロードフォルダが指定されていません");
const QString kNoHistory = QStringLiteral("履歴ﾌｧｲﾙ名の選択がありません");
const QString kUploadHeading = QStringLiteral("以下の設定でオートモード・アップロードを行います。");

void fillValid(F_SetU& editor) {
    editor.txtHTID()->setText(QStringLiteral("7"));
    editor.txtPolling()->setText(QStringLiteral("200"));
    editor.txtUpFolder()->setText(QStringLiteral("/up"));
    editor.txtHis()->setText(QStringLiteral("/log/u.log"));
}

class UploadEditorTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        editor_.setRunWindow(recorder());
    }

    QStringList saveAndStart() {
        messages_.clear();
        editor_.btnSave()->click();
        editor_.btnUpStart()->click();
        return messages_;
    }

    F_SetU editor_;
};

TEST_F(UploadEditorTest, ChecksInOrderAndStopsAtTheFirstFailure) {
    Confirmations cancel(false);
    EXPECT_EQ(saveAndStart(), (QStringList{kNoHtid, kNoHtid}));
    editor_.txtHTID()->setText(QStringLiteral("abc"));
    editor_.txtPolling()->setText(QStringLiteral("301"));
    EXPECT_EQ(saveAndStart(), (QStringList{kNoHtid, kNoHtid}));
    editor_.txtHTID()->setText(QStringLiteral("7"));
    editor_.txtPolling()->setText(QStringLiteral("301"));
    EXPECT_EQ(saveAndStart(), (QStringList{kPollingRange, kPollingRange}));
    editor_.txtPolling()->setText(QStringLiteral("300"));
    EXPECT_EQ(saveAndStart(), (QStringList{kNoFolder, kNoFolder}));
    editor_.txtUpFolder()->setText(QStringLiteral("/up"));
    EXPECT_EQ(saveAndStart(), (QStringList{kNoHistory, kNoHistory}));
    EXPECT_TRUE(requests_.empty());
    EXPECT_EQ(cancel.shows(), 0);

    editor_.optHis()->button(2)->click();
    EXPECT_TRUE(saveAndStart().isEmpty());
    EXPECT_EQ(cancel.shows(), 1);

    // Everything else valid: the folder alone is told.
    editor_.txtUpFolder()->clear();
    EXPECT_EQ(saveAndStart(), (QStringList{kNoFolder, kNoFolder}));
}

TEST_F(UploadEditorTest, FolderBrowserFillsTheFolderAndACancelChangesNothing) {
    answer(QStringLiteral("/srv/in"));
    editor_.btnFileOpen()->click();
    EXPECT_EQ(editor_.txtUpFolder()->text(), QStringLiteral("/srv/in"));
    editor_.btnFileOpen()->click();
    EXPECT_EQ(editor_.txtUpFolder()->text(), QStringLiteral("/srv/in"));
    ASSERT_EQ(requests_.size(), 2u);
    EXPECT_EQ(requests_[0].kind, ui::PathRequest::Kind::Folder);
    EXPECT_EQ(requests_[0].title, QStringLiteral("アップロード先のフォルダを選択してください。"));
}

TEST_F(UploadEditorTest, SavesTheJobIntoTheUploadSectionOnly) {
    fillValid(editor_);
    editor_.txtPolling()->setText(QStringLiteral("75ms"));
    editor_.optFile()->button(1)->click();
    editor_.optHis()->button(0)->click();
    answer(path("up.SIF"));
    editor_.btnSave()->click();

    EXPECT_TRUE(messages_.isEmpty());
    ui::ClsSetFile file;
    ASSERT_TRUE(file.setfilename(path("up.SIF")));
    EXPECT_EQ(file.GetHTNO(2), QStringLiteral("7"));
    EXPECT_EQ(file.GetPollingTout(2), QStringLiteral("75ms"));
    EXPECT_EQ(file.GetUpFolder(), QStringLiteral("/up"));
    EXPECT_EQ(file.GetSaveMode(), QStringLiteral("1"));
    EXPECT_EQ(file.GetResMode(2), QStringLiteral("0"));
    EXPECT_EQ(file.GetResFile(2), QStringLiteral("/log/u.log"));
    EXPECT_FALSE(file.Err());
    EXPECT_EQ(read("up.SIF").find("[DOWNLOAD]"), std::string::npos);
}

TEST_F(UploadEditorTest, StartListsTheSaveModeBeforeTheFolderAndRunsTheUploadJob) {
    fillValid(editor_);
    editor_.txtHTID()->setText(QStringLiteral("5-6,9"));
    editor_.optFile()->button(2)->click();
    editor_.optHis()->button(1)->click();
    Confirmations ok;
    editor_.btnUpStart()->click();

    EXPECT_EQ(ok.heading, kUploadHeading);
    EXPECT_EQ(ok.lines, (QStringList{
                            QStringLiteral("対象HTのID    :5-6,9"),
                            QStringLiteral("ﾎﾟｰﾘﾝｸﾞ間隔   :200"),
                            QStringLiteral("上書き処理    :2"),
                            QStringLiteral("ｱｯﾌﾟﾛｰﾄﾞﾌｫﾙﾀﾞ :/up"),
                            QStringLiteral("履歴処理      :1"),
                            QStringLiteral("履歴ﾌｧｲﾙ名    :/log/u.log"),
                        }));
    ASSERT_EQ(runs_.size(), 1u);
    const ui::AutoJob& job = runs_[0].job;
    EXPECT_EQ(job.protype, 2);
    EXPECT_EQ(job.htno, maskOf({5, 6, 9}));
    EXPECT_EQ(job.PollingTout, 200);
    EXPECT_EQ(job.upfolder, QStringLiteral("/up"));
    EXPECT_EQ(job.SaveMode, 2);
    EXPECT_EQ(job.ResMode, 1);
    EXPECT_EQ(job.ResFileName.trimmed(), QStringLiteral("/log/u.log"));
    EXPECT_TRUE(runs_[0].files.isEmpty());
    expectStoredLine(job);
    EXPECT_TRUE(requests_.empty());
}

TEST_F(UploadEditorTest, TabEntersEachOptionGroupAtItsSelection) {
    ASSERT_TRUE(showActive(editor_));
    editor_.txtHTID()->setFocus();
    EXPECT_EQ(tabs(10),
              (QStringList{"txtPolling", "txtUpFolder", "btnFileOpen", "optFile_0", "optHis_0",
                           "txtHis", "btnHis", "btnUpStart", "btnSave", "btnCancel"}));
    EXPECT_EQ(tabs(6, Qt::ShiftModifier),
              (QStringList{"btnSave", "btnUpStart", "btnHis", "txtHis", "optHis_0", "optFile_0"}));
    EXPECT_EQ(press(Qt::Key_Right), "optFile_1");
    EXPECT_EQ(press(Qt::Key_Tab), "optHis_0");
    EXPECT_EQ(press(Qt::Key_Right), "optHis_1");
    EXPECT_EQ(press(Qt::Key_Right), "optHis_2");
    EXPECT_EQ(tabs(2, Qt::ShiftModifier), (QStringList{"optFile_1", "btnFileOpen"}));
    EXPECT_EQ(tabs(3), (QStringList{"optFile_1", "optHis_2", "txtHis"}));
    EXPECT_EQ(editor_.optFile()->checkedId(), 1);
    EXPECT_EQ(editor_.optHis()->checkedId(), 2);
}

TEST_F(UploadEditorTest, EscapeAndTheCloseBoxAskBeforeEditsAreThrownAway) {
    answerQuestions(false);
    ASSERT_TRUE(showActive(editor_));
    editor_.optFile()->button(0)->setFocus();
    press(Qt::Key_Right);
    press(Qt::Key_Escape);
    EXPECT_TRUE(editor_.isVisible());
    EXPECT_FALSE(closeBox(editor_));
    EXPECT_EQ(editor_.optFile()->checkedId(), 1);
    editor_.txtUpFolder()->setFocus();
    typeIn("/up");
    press(Qt::Key_Escape);
    EXPECT_EQ(questions_, (QStringList{kDiscardQuestion, kDiscardQuestion, kDiscardQuestion}));

    // Put back as it opened: nothing to lose, nothing asked.
    editor_.optFile()->button(1)->setFocus();
    press(Qt::Key_Left);
    editor_.txtUpFolder()->clear();
    EXPECT_TRUE(closeBox(editor_));
    EXPECT_EQ(questions_.size(), 3);
}

class UploadMainWindowTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        window_.setRunWindow(recorder());
    }

    void readJob(const char* name) {
        answer(path(name));
        window_.btnFileRead()->click();
    }

    F_MainU window_;
};

TEST_F(UploadMainWindowTest, ReadsAndRunsOnlyTheUploadJobOfAFileWithBoth) {
    write("both.SIF", bothJobs());
    Confirmations ok;
    readJob("both.SIF");

    EXPECT_TRUE(messages_.isEmpty());
    EXPECT_EQ(ok.heading, kUploadHeading);
    EXPECT_EQ(ok.lines, (QStringList{
                            QStringLiteral("対象HTのID    :5-6"),
                            QStringLiteral("ﾎﾟｰﾘﾝｸﾞ間隔   :80"),
                            QStringLiteral("ｱｯﾌﾟﾛｰﾄﾞﾌｫﾙﾀﾞ :/up"),
                            QStringLiteral("上書き処理    :2"),
                            QStringLiteral("履歴処理      :0"),
                            QStringLiteral("履歴ﾌｧｲﾙ名    :/log/up.log"),
                        }));
    ASSERT_EQ(runs_.size(), 1u);
    const ui::AutoJob& job = runs_[0].job;
    EXPECT_EQ(job.protype, 2);
    EXPECT_EQ(job.htno, maskOf({5, 6}));
    EXPECT_EQ(job.PollingTout, 80);
    EXPECT_EQ(job.upfolder, QStringLiteral("/up"));
    EXPECT_EQ(job.SaveMode, 2);
    EXPECT_EQ(job.ResMode, 0);
    EXPECT_EQ(job.ResFileName.trimmed(), QStringLiteral("/log/up.log"));
    // The download job's files stay out of an upload run.
    EXPECT_TRUE(runs_[0].files.isEmpty());
    EXPECT_FALSE(runs_[0].listFull);
    expectStoredLine(job);
}

TEST_F(UploadMainWindowTest, RefusesAJobFileThatCannotBeRead) {
    write("save.SIF", fileText({"[UPLOAD]", "HTID=1", "POLLING=100", "UPLOAD=/up", "SAVE=5"}));
    write("logtype.SIF", fileText({"[UPLOAD]", "HTID=1", "POLLING=100", "LOGTYPE=3"}));
    // A hand-edited list that selects no terminal would poll nothing, for ever.
    write("noht.SIF", fileText({"[UPLOAD]", "HTID=abc", "POLLING=100", "UPLOAD=/up"}));
    Confirmations ok;
    for (const char* name : {"missing.SIF", "save.SIF", "logtype.SIF", "noht.SIF"}) {
        messages_.clear();
        readJob(name);
        EXPECT_EQ(messages_, QStringList{ui::kJobReadFailed}) << name;
    }
    EXPECT_EQ(ok.shows(), 0);
    EXPECT_TRUE(runs_.empty());
}

TEST_F(UploadMainWindowTest, EditorOpensModalAndRunsItsJobThroughTheWindow) {
    Confirmations ok;
    DialogDriver<F_SetU> editor([](F_SetU& shown) {
        EXPECT_EQ(shown.optFile()->checkedId(), 0);
        EXPECT_EQ(shown.optHis()->checkedId(), 0);
        fillValid(shown);
        shown.btnUpStart()->click();
        shown.btnCancel()->click();
    });
    window_.btnSetData()->click();
    EXPECT_EQ(editor.shows(), 1);
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(runs_[0].job.protype, 2);
}

}  // namespace
}  // namespace vsk::testing
