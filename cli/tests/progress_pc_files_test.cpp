// The progress line's layout and the checks on PC paths handed to transfers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "command_line.h"
#include "pc_files.h"
#include "progress_line.h"

namespace veskactl {
namespace {

ProgressSample sampleOf(std::string name, int32_t percent, std::optional<int64_t> total = {},
                        double seconds = 0) {
    ProgressSample sample;
    sample.ht = "005";
    sample.nameColumns = name.size();
    sample.name = std::move(name);
    sample.percent = percent;
    sample.totalBytes = total;
    sample.elapsedSeconds = seconds;
    return sample;
}

TEST(ProgressLine, ShowsTheSizeAndRateWhenTheSizeIsKnown) {
    EXPECT_EQ(formatProgressLine(sampleOf("A.DAT", 50, 2048, 2.0), 80),
              "HT 005  A.DAT  50% of 2048 bytes  [##########..........]  512 B/s");
    EXPECT_EQ(formatProgressLine(sampleOf("A.DAT", 100, 20000, 4.0), 80),
              "HT 005  A.DAT  100% of 20000 bytes  [####################]  5.0 kB/s");
    // Too early for a meaningful rate.
    EXPECT_EQ(formatProgressLine(sampleOf("A.DAT", 25, 2048, 0.2), 80),
              "HT 005  A.DAT  25% of 2048 bytes  [#####...............]");
    EXPECT_EQ(formatProgressLine(sampleOf("E.DAT", 0, 0, 1.0), 80),
              "HT 005  E.DAT  0% of 0 bytes  [....................]  0 B/s");
}

TEST(ProgressLine, ShowsOnlyThePercentageWithoutASize) {
    EXPECT_EQ(formatProgressLine(sampleOf("B.DAT", 75, std::nullopt, 3.0), 80),
              "HT 005  B.DAT  75%  [###############.....]");
    // Counters past the announced size, or garbage, stay inside the bar.
    EXPECT_EQ(formatProgressLine(sampleOf("B.DAT", 250), 80),
              "HT 005  B.DAT  100%  [####################]");
    EXPECT_EQ(formatProgressLine(sampleOf("B.DAT", -7), 80),
              "HT 005  B.DAT  0%  [....................]");
    EXPECT_EQ(formatProgressLine(sampleOf("", 0), 80), "HT 005  polling");
}

TEST(ProgressLine, DropsPartsToFitTheWidthCountingColumnsNotBytes) {
    ProgressSample wide = sampleOf("A.DAT", 50, 2048, 2.0);
    wide.name = "データ.DAT";  // 14 bytes of UTF-8, 10 columns
    wide.nameColumns = 10;
    std::string full = formatProgressLine(wide, 80);
    EXPECT_EQ(full, "HT 005  データ.DAT  50% of 2048 bytes  [##########..........]  512 B/s");
    EXPECT_EQ(formatProgressLine(wide, 70), full);
    EXPECT_EQ(formatProgressLine(wide, 69),
              "HT 005  データ.DAT  50% of 2048 bytes  [##########..........]");
    EXPECT_EQ(formatProgressLine(wide, 60), "HT 005  データ.DAT  50%  [##########..........]");
    EXPECT_EQ(formatProgressLine(wide, 46), "HT 005  データ.DAT  50% of 2048 bytes");
    EXPECT_EQ(formatProgressLine(wide, 36), "HT 005  データ.DAT  50%");
    EXPECT_EQ(formatProgressLine(wide, 22), "HT 005  50%");
    EXPECT_EQ(formatProgressLine(wide, 10), "");
}

TEST(ProgressLine, RatesInReadableUnits) {
    EXPECT_EQ(formatRate(0), "0 B/s");
    EXPECT_EQ(formatRate(999), "999 B/s");
    EXPECT_EQ(formatRate(1920), "1.9 kB/s");
    EXPECT_EQ(formatRate(2.5e6), "2.5 MB/s");
}

class PcFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/veskactl-pc-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string file(const std::string& name, uintmax_t size) const {
        std::string path = folder_ + "/" + name;
        std::ofstream(path, std::ios::binary).put('x');
        std::filesystem::resize_file(path, size);  // sparse: large sizes cost nothing
        return path;
    }

    std::string folder_;
};

TEST_F(PcFiles, SendsFilesUnderTheirNameInTheTerminalsCharacterSet) {
    PcFile plain = pcFileToSend(file("A.DAT", 5));
    EXPECT_EQ(plain.path, folder_ + "/A.DAT");
    EXPECT_EQ(plain.size, 5);
    EXPECT_EQ(plain.terminalName, "A.DAT");

    PcFile japanese = pcFileToSend(file("データ.DAT", 0));
    EXPECT_EQ(japanese.terminalName, "\x83\x66\x81\x5B\x83\x5E.DAT");
    EXPECT_EQ(pcFileToSend(file("MAX.DAT", VSK_MAX_FILE_SIZE)).size, VSK_MAX_FILE_SIZE);

    // A relative path reaches the library with the folder it names.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(libraryPath("./x/B.DAT", "f"), std::string(cwd) + "/x/B.DAT");
}

TEST_F(PcFiles, RefusesWhatTheLibraryWouldCutOrMisannounce) {
    // The library would send a name cut to 12 bytes: another file on the terminal.
    EXPECT_THROW(pcFileToSend(file("ABCDEFGHI.TXT", 1)), UsageError);
    // A batch drops the blanks of a name.
    std::string blank = file("A B.DAT", 1);
    EXPECT_EQ(pcFileToSend(blank).terminalName, "A B.DAT");
    EXPECT_THROW(pcFileToSend(blank, Sending::kInBatch), UsageError);
    // Sizes travel as seven digits.
    EXPECT_THROW(pcFileToSend(file("BIG.DAT", VSK_MAX_FILE_SIZE + 1)), std::runtime_error);
    EXPECT_THROW(pcFileToSend(folder_ + "/NONE.DAT"), std::runtime_error);
    EXPECT_THROW(pcFileToSend(folder_), std::runtime_error);

    // 127 bytes reach the library whole; one more would be cut.
    std::string longest = "/" + std::string(VSK_MAX_PATH - 1, 'a');
    EXPECT_EQ(libraryPath(longest, "f"), longest);
    EXPECT_THROW(libraryPath(longest + "a", "f"), UsageError);
    EXPECT_THROW(libraryPath("/tmp/A.DAT ", "f"), UsageError);  // trailing blanks are dropped
    EXPECT_THROW(libraryPath("", "f"), UsageError);
}

TEST_F(PcFiles, ReceivesOnlyIntoAnExistingFolder) {
    EXPECT_EQ(pcFolder(folder_, "--to"), folder_);
    EXPECT_THROW(pcFolder(folder_ + "/missing", "--to"), std::runtime_error);
    EXPECT_THROW(pcFolder(file("F.DAT", 1), "--to"), std::runtime_error);
}

}  // namespace
}  // namespace veskactl
