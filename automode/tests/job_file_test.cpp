// The job settings file on real files: what a read returns, what a write
// leaves in the file, and the terminal selection.
#include <gtest/gtest.h>

#include <QFile>

#include "cls_setfile.h"
#include "job_start.h"
#include "profile_file.h"
#include "sim_process.h"

namespace vsk::ui {
namespace {

using htsim::testing::TempDir;

class JobFileTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(job_.setfilename(path_)); }

    std::string contents() const { return dir_.read("JOB.SIF").value_or("<none>"); }

    TempDir dir_{"veska-job"};
    QString path_ = QString::fromStdString(dir_.file("JOB.SIF"));
    ClsSetFile job_;
};

QString maskWith(std::initializer_list<int> hts) {
    QString m(128, QLatin1Char('0'));
    for (int h : hts) m[h - 1] = QLatin1Char('1');
    return m;
}

TEST_F(JobFileTest, OnlyAbsolutePathsAreTaken) {
    ClsSetFile other;
    EXPECT_FALSE(other.setfilename("JOB.SIF"));
    EXPECT_TRUE(other.path().isEmpty());
    EXPECT_FALSE(other.SetHTNO(1, "1")) << "nothing to write to";
    // A path to a file that does not exist yet is kept: writing creates it.
    EXPECT_EQ(job_.path(), path_);
    EXPECT_TRUE(job_.SetHTNO(1, "1"));
    EXPECT_TRUE(ClsSetFile().setfilename(path_));
    EXPECT_EQ(contents(), "[DOWNLOAD]\r\nHTID=1\r\n");
}

TEST_F(JobFileTest, RangeChecksFallBackAndSetErr) {
    dir_.write("JOB.SIF", "[DOWNLOAD]\nHTID=1\n");
    // An absent SKIP reads 0, in range: the empty text, no error.
    EXPECT_EQ(job_.GetSkipMode(), "");
    EXPECT_FALSE(job_.Err());
    // An absent POLLING reads 0, out of range.
    EXPECT_EQ(job_.GetPollingTout(1), "100");
    EXPECT_TRUE(job_.Err());

    const std::pair<const char*, bool> polling[] = {
        {"300", true}, {"50", true}, {"75ms", true}, {"301", false}, {"49", false}};
    for (const auto& [text, ok] : polling) {
        ClsSetFile fresh;
        fresh.setfilename(path_);
        fresh.SetPollingTout(1, text);
        EXPECT_EQ(fresh.GetPollingTout(1), ok ? QString(text) : QString("100")) << text;
        EXPECT_EQ(fresh.Err(), !ok) << text;
    }
    job_.setErr(false);
    job_.SetSaveMode(3);
    job_.SetResMode(2, 2);
    EXPECT_EQ(job_.GetResMode(2), "2");
    EXPECT_FALSE(job_.Err());
    EXPECT_EQ(job_.GetSaveMode(), "0");
    EXPECT_TRUE(job_.Err());
}

TEST_F(JobFileTest, TerminalListBecomesTheMask) {
    const std::pair<const char*, QString> cases[] = {
        {"1,3,5-7", maskWith({1, 3, 5, 6, 7})},
        {"120-200", maskWith({120, 121, 122, 123, 124, 125, 126, 127, 128})},
        {"7-3", maskWith({})},
        {"0,129", maskWith({})},
        {"-3", maskWith({1, 2, 3})},
        {"2,,4", maskWith({2, 4})},
        {"99999999999999999999,4294967297-2,1-99999999999", QString(128, QLatin1Char('1'))},
        {"", maskWith({})},
    };
    for (const auto& [list, mask] : cases) {
        job_.SetHTNO(2, list);
        EXPECT_EQ(job_.GetHTNOArrange(2), mask) << list;
    }
}

TEST_F(JobFileTest, WritesKeepTheRestOfTheFile) {
    dir_.write("JOB.SIF",
               "; written by hand\r\n[download]\r\nhtid=1-3\r\npolling=100\r\n\r\n"
               "[Other]\r\nX=1\r\n");
    job_.SetHTNO(1, "4");              // replaced where it stands, whatever the case
    job_.SetResFile(1, "/tmp/h.txt");  // a new key at the end of its section
    job_.SetUpFolder("/data/in");      // a new section at the end
    job_.SetPollingTout(1, "");        // an empty value deletes
    EXPECT_EQ(contents(),
              "; written by hand\r\n[download]\r\nHTID=4\r\nLOGFILE=/tmp/h.txt\r\n\r\n"
              "[Other]\r\nX=1\r\n[UPLOAD]\r\nUPLOAD=/data/in\r\n");
    EXPECT_EQ(job_.GetHTNO(1), "4");
    EXPECT_EQ(job_.GetUpFolder(), "/data/in");
    EXPECT_EQ(job_.GetPollingTout(1), "100");
    // A file name with a line break must not smuggle a key into the file.
    const std::string before = contents();
    EXPECT_FALSE(job_.SetResFile(1, "/tmp/a\nSAVE=5"));
    EXPECT_FALSE(job_.SetResFile(1, "/tmp/a\r[UPLOAD]"));
    EXPECT_EQ(contents(), before);
}

TEST_F(JobFileTest, WritesKeepLinesThatAreNotUtf8) {
    // A comment typed in CP932 and a value with a stray byte: neither may be
    // garbled by a write elsewhere in the file (found by fuzz_job_file).
    const std::string comment = "; \x93\xfa\x95\x74\x82\xcc\x83\x57\x83\x87\x83\x75";
    dir_.write("JOB.SIF", comment + "\r\n[DOWNLOAD]\r\nLOGFILE=/tmp/\xff.txt\r\nHTID=1\r\n");
    EXPECT_TRUE(job_.SetHTNO(1, "2-4"));
    EXPECT_TRUE(job_.SetPollingTout(1, 100));
    EXPECT_EQ(contents(), comment +
                              "\r\n[DOWNLOAD]\r\nLOGFILE=/tmp/\xff.txt\r\nHTID=2-4\r\n"
                              "POLLING=100\r\n");
    EXPECT_EQ(job_.GetHTNO(1), "2-4");
    EXPECT_EQ(job_.GetResFile(1), QString::fromUtf8("/tmp/\xff.txt"));
}

TEST_F(JobFileTest, FilesWrittenInCp932AreReadAndWrittenInCp932) {
    // "履歴" and "ﾃｽﾄ" as the tools' older versions wrote them.
    const std::string head = "[DOWNLOAD]\r\nHTID=1\r\nLOGFILE=/pc/\x97\x9a\x97\xf0.TXT\r\n";
    const std::string entry = "001DOWNFILE=/pc/\xc3\xbd\xc4.DAT\r\n";
    dir_.write("JOB.SIF", head + entry);
    EXPECT_EQ(job_.GetResFile(1), QStringLiteral("/pc/履歴.TXT"));
    EXPECT_EQ(job_.GetDownloadFile(1), QStringLiteral("/pc/ﾃｽﾄ.DAT"));

    // A value written into it is CP932 too ("日報"), and the rest is kept.
    EXPECT_TRUE(job_.SetResFile(1, QStringLiteral("/pc/日報.TXT")));
    EXPECT_EQ(contents(), "[DOWNLOAD]\r\nHTID=1\r\nLOGFILE=/pc/\x93\xfa\x95\xf1.TXT\r\n" + entry);
    EXPECT_EQ(job_.GetResFile(1), QStringLiteral("/pc/日報.TXT"));
    // What CP932 cannot express is refused, not written in another encoding.
    const std::string before = contents();
    EXPECT_FALSE(job_.SetResFile(1, QStringLiteral("/pc/\U0001F600.TXT")));
    EXPECT_EQ(contents(), before);
}

TEST_F(JobFileTest, AFileTooLargeForAJobIsNeitherReadNorRewritten) {
    std::string text = "[DOWNLOAD]\r\nHTID=1\r\nPOLLING=100\r\n";
    text += "; " + std::string(kMaxProfileBytes, 'x') + "\r\n";
    dir_.write("JOB.SIF", text);
    EXPECT_EQ(job_.GetHTNO(1), QString());
    EXPECT_FALSE(job_.SetHTNO(1, "2"));
    EXPECT_EQ(contents(), text);
    AutoJob job;
    JobRefusal why = JobRefusal::kNone;
    EXPECT_FALSE(readJobFile(path_, 1, &job, nullptr, &why));
    EXPECT_EQ(why, JobRefusal::kTooLarge);
}

TEST_F(JobFileTest, AJobThatSelectsNoTerminalIsRefused) {
    for (const char* htid : {"abc", "0,129", "7-3"}) {
        dir_.write("JOB.SIF",
                   std::string("[UPLOAD]\r\nHTID=") + htid + "\r\nPOLLING=100\r\nUPLOAD=/pc\r\n");
        AutoJob job;
        JobRefusal why = JobRefusal::kNone;
        EXPECT_FALSE(readJobFile(path_, 2, &job, nullptr, &why)) << htid;
        EXPECT_EQ(why, JobRefusal::kNoTerminal) << htid;
        ClsSetFile file;
        file.setfilename(path_);
        EXPECT_FALSE(readUploadSummary(file)) << htid;
    }
    dir_.write("JOB.SIF", "[UPLOAD]\r\nHTID=abc,4\r\nPOLLING=100\r\nUPLOAD=/pc\r\n");
    AutoJob job;
    EXPECT_TRUE(readJobFile(path_, 2, &job, nullptr));
}

TEST_F(JobFileTest, DownloadEntriesAndLongValues) {
    EXPECT_FALSE(job_.SetDownloadFile(129, "/x").isValid());
    EXPECT_FALSE(job_.SetDownloadFile(0, "/x").isValid());
    EXPECT_TRUE(job_.SetDownloadFile(1, "/pc/MASTER.DAT").toBool());
    EXPECT_TRUE(job_.SetDownloadFile(12, "/pc/*.DAT").toBool());
    EXPECT_EQ(job_.GetDownloadFile(1), "/pc/MASTER.DAT");
    EXPECT_EQ(job_.GetDownloadFile(12), "/pc/*.DAT");
    EXPECT_EQ(job_.GetDownloadFile(129), "");
    EXPECT_NE(contents().find("012DOWNFILE=/pc/*.DAT\r\n"), std::string::npos);

    QString longPath = "/" + QString(199, QLatin1Char('a'));
    job_.SetResFile(1, longPath);
    EXPECT_EQ(job_.GetResFile(1), longPath.left(127));
    // Cut on whole characters: 64 three-byte characters are 192 bytes.
    QString japanese(64, QChar(0x68DA));
    job_.SetResFile(2, japanese);
    EXPECT_EQ(job_.GetResFile(2), japanese.left(42));
    job_.SetResFile(1, "");
    EXPECT_EQ(job_.GetResFile(1), "");
    EXPECT_EQ(readProfileString(path_, "DOWNLOAD", "LOGFILE"), "");
}

}  // namespace
}  // namespace vsk::ui
