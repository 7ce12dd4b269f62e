// The job commands' command line, and how a job run takes the typed line
// options and the job file's path.
#include <gtest/gtest.h>

#include <filesystem>

#include "command_line.h"
#include "commands.h"
#include "job_commands.h"

namespace veskactl {
namespace {

Invocation invocationOf(std::vector<std::string> args) {
    return parseCommandLine(args, commandTable()).invocation;
}

void expectUsageError(std::vector<std::string> args, const std::string& fragment) {
    try {
        parseCommandLine(args, commandTable());
        ADD_FAILURE() << "no usage error; expected one mentioning '" << fragment << "'";
    } catch (const UsageError& error) {
        EXPECT_NE(std::string(error.what()).find(fragment), std::string::npos) << error.what();
    }
}

TEST(JobCommandLine, TakesAFileAndAtMostOneDirection) {
    Invocation shown = invocationOf({"job", "show", "DAY.SIF"});
    EXPECT_EQ(shown.command, "job show");
    EXPECT_EQ(shown.operands, std::vector<std::string>{"DAY.SIF"});
    EXPECT_EQ(shown.direction, JobDirection::kEither);

    // A file named like a terminal number is still a file.
    Invocation run = invocationOf({"--upload", "job", "run", "5"});
    EXPECT_EQ(run.command, "job run");
    EXPECT_EQ(run.operands, std::vector<std::string>{"5"});
    EXPECT_EQ(run.direction, JobDirection::kUpload);
    EXPECT_EQ(invocationOf({"job", "run", "A", "--download", "--download"}).direction,
              JobDirection::kDownload);

    expectUsageError({"job", "run", "A", "--download", "--upload"}, "cannot be used together");
    expectUsageError({"job"}, "job needs show or run");
    expectUsageError({"job", "list", "A"}, "unknown command 'job list'");
    expectUsageError({"job", "run"}, "too few");
    expectUsageError({"job", "run", "A", "B"}, "too many");
    expectUsageError({"job", "show", "A", "--to", "/tmp"}, "--to is not an option of job show");
    expectUsageError({"get", "5", "A", "--to", "/tmp", "--upload"},
                     "--upload is not an option of get");
}

TEST(JobCommandLine, RemembersWhichLineOptionsWereTyped) {
    EXPECT_EQ(invocationOf({"job", "run", "A"}).lineGiven, 0u);
    Invocation typed = invocationOf(
        {"--port", "3", "job", "run", "A", "--timeout=600", "--parity", "E", "--polling", "75"});
    EXPECT_EQ(typed.lineGiven, kLinePort | kLineTimeout | kLineParity | kLinePolling);
}

TEST(JobRunLine, TypedOptionsReplaceOnlyWhatTheyName) {
    vsk::ui::AutoJob job;
    job.ComPort = 4;
    job.line = LineSettings{9600, 2, 0, 1, 0, 1500, 5};
    job.PollingTout = 120;

    applyTypedLine(invocationOf({"job", "run", "A"}), job);
    EXPECT_EQ(job.ComPort, 4);
    EXPECT_EQ(job.line.BaudRate, 9600);
    EXPECT_EQ(job.line.timeout, 1500);
    EXPECT_EQ(job.PollingTout, 120);

    applyTypedLine(invocationOf({"job", "run", "A", "--port", "2", "--baud", "38400", "--data", "8",
                                 "--retry", "3", "--polling", "60"}),
                   job);
    EXPECT_EQ(job.ComPort, 2);
    EXPECT_EQ(job.line.BaudRate, 38400);
    EXPECT_EQ(job.line.BiteSize, 1);
    EXPECT_EQ(job.line.Retry, 3);
    EXPECT_EQ(job.PollingTout, 60);
    // Untouched: parity, stop bits, time-out.
    EXPECT_EQ(job.line.Parity, 2);
    EXPECT_EQ(job.line.StopBits, 1);
    EXPECT_EQ(job.line.timeout, 1500);
}

TEST(JobRunLine, JobFilesAreTakenFromTheCurrentFolder) {
    const std::string here = std::filesystem::current_path().string();
    EXPECT_EQ(jobFilePath("DAY.SIF").toStdString(), here + "/DAY.SIF");
    EXPECT_EQ(jobFilePath("./jobs/../DAY.SIF").toStdString(), here + "/DAY.SIF");
    EXPECT_EQ(jobFilePath("/srv/ジョブ.SIF").toStdString(), "/srv/ジョブ.SIF");
    EXPECT_TRUE(jobFilePath("").isEmpty());
}

}  // namespace
}  // namespace veskactl
