// One job file holding a download job and an upload job: each tool's editor
// writes only its own section, each main window reads only its own.

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "f_maind.h"
#include "f_mainu.h"
#include "f_setd.h"
#include "f_setu.h"
#include "job_start.h"
#include "window_test.h"

namespace vsk::testing {
namespace {

// The text of `section` (its header up to the next header or the end).
std::string sectionText(const std::string& file, const std::string& section) {
    size_t from = file.find("[" + section + "]");
    if (from == std::string::npos) return "<none>";
    size_t to = file.find("\r\n[", from);
    return file.substr(from, to == std::string::npos ? std::string::npos : to + 2 - from);
}

class SharedJobFileTest : public WindowTest {
  protected:
    void saveDownloadJob(const char* name) {
        ui::F_SetD editor;
        editor.txtHTID()->setText(QStringLiteral("1-2"));
        editor.txtPolling()->setText(QStringLiteral("150"));
        editor.txtFileName()->setText(QStringLiteral("/d/M.DAT"));
        editor.btnAdd()->click();
        editor.txtHis()->setText(QStringLiteral("/log/d.log"));
        answer(path(name));
        editor.btnSave()->click();
    }

    void saveUploadJob(const char* name) {
        ui::F_SetU editor;
        editor.txtHTID()->setText(QStringLiteral("8"));
        editor.txtPolling()->setText(QStringLiteral("60"));
        editor.txtUpFolder()->setText(QStringLiteral("/in"));
        editor.txtHis()->setText(QStringLiteral("/log/u.log"));
        answer(path(name));
        editor.btnSave()->click();
    }

    template <typename Window>
    void readWith(const char* name) {
        Window window;
        window.setRunWindow(recorder());
        answer(path(name));
        window.btnFileRead()->click();
    }
};

TEST_F(SharedJobFileTest, EachEditorLeavesTheOtherSectionByteForByte) {
    // Spacing, a comment and a blank line the editors never write.
    const std::string download = fileText(
        {"[Download]", "HTID = 1-5", "; morning round", "POLLING=100", "001DOWNFILE=/d/A.DAT", ""});
    write("both.SIF", download);
    saveUploadJob("both.SIF");
    EXPECT_EQ(read("both.SIF").substr(0, download.size()), download);

    const std::string upload = sectionText(read("both.SIF"), "UPLOAD");
    ASSERT_NE(upload, "<none>");
    saveDownloadJob("both.SIF");
    EXPECT_EQ(sectionText(read("both.SIF"), "UPLOAD"), upload);
    EXPECT_TRUE(messages_.isEmpty());
}

TEST_F(SharedJobFileTest, EachMainWindowRunsTheJobItsOwnEditorSaved) {
    saveDownloadJob("both.SIF");
    saveUploadJob("both.SIF");
    Confirmations ok;

    readWith<ui::F_MainD>("both.SIF");
    EXPECT_EQ(ok.lines.value(0), QStringLiteral("対象HTのID   :1-2"));
    readWith<ui::F_MainU>("both.SIF");
    EXPECT_EQ(ok.lines.value(0), QStringLiteral("対象HTのID    :8"));

    ASSERT_EQ(runs_.size(), 2u);
    EXPECT_EQ(runs_[0].job.protype, 1);
    EXPECT_EQ(runs_[0].job.htno, maskOf({1, 2}));
    EXPECT_EQ(runs_[0].files, QStringList{QStringLiteral("/d/M.DAT")});
    EXPECT_EQ(runs_[1].job.protype, 2);
    EXPECT_EQ(runs_[1].job.htno, maskOf({8}));
    EXPECT_EQ(runs_[1].job.upfolder, QStringLiteral("/in"));
    EXPECT_TRUE(messages_.isEmpty());
}

TEST_F(SharedJobFileTest, AFileWithOnlyTheOtherToolsJobIsRefused) {
    saveDownloadJob("down.SIF");
    saveUploadJob("up.SIF");
    Confirmations ok;
    readWith<ui::F_MainU>("down.SIF");
    readWith<ui::F_MainD>("up.SIF");
    EXPECT_EQ(messages_, (QStringList{ui::kJobReadFailed, ui::kJobReadFailed}));
    EXPECT_EQ(ok.shows(), 0);
    EXPECT_TRUE(runs_.empty());
}

}  // namespace
}  // namespace vsk::testing
