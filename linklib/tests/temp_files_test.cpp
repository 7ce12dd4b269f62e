// The temporary files received data goes to: created only where nothing is,
// never through a link, and cleared only when their process has ended.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "platform/files.h"
#include "sim_process.h"

namespace vsk::platform {
namespace {

using htsim::testing::TempDir;

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool present(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// A process id that no process has: one of a child that has been reaped.
pid_t endedPid() {
    pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST(TempFilesTest, NothingAlreadyThereIsOpenedOrWrittenThrough) {
    TempDir dir("veska-temp");
    dir.write("victim.txt", "victim");
    ASSERT_EQ(::symlink(dir.file("victim.txt").c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("nowhere").c_str(), dir.file("dangling").c_str()), 0);
    dir.write("user.dat", "mine");
    for (const char* name : {"link", "dangling", "user.dat"}) {
        File f;
        EXPECT_FALSE(f.createNew(dir.file(name))) << name;
    }
    EXPECT_EQ(contents(dir.file("victim.txt")), "victim");
    EXPECT_FALSE(present(dir.file("nowhere")));
    EXPECT_EQ(contents(dir.file("user.dat")), "mine");

    // Nor does reading an existing file follow a link or take a non-file.
    File r;
    EXPECT_FALSE(r.openExisting(dir.file("link")));
    EXPECT_FALSE(r.openExisting(dir.path()));
    EXPECT_TRUE(r.openExisting(dir.file("user.dat")));
}

TEST(TempFilesTest, NamesAreNewLongerThanTerminalNamesAndLocked) {
    TempDir dir("veska-temp");
    const std::string folder = dir.path() + "/";
    std::set<std::string> names;
    File files[20];
    for (File& f : files) {
        std::string path;
        ASSERT_TRUE(createTemp(folder, &f, &path));
        std::string name = path.substr(folder.size());
        EXPECT_EQ(name.rfind(".~vsk-" + std::to_string(::getpid()) + "-", 0), 0u) << name;
        EXPECT_GT(name.size(), 12u) << name;
        names.insert(name);
        // Held: another open file cannot take its lock.
        File other;
        ASSERT_TRUE(other.openExisting(path));
        EXPECT_FALSE(other.tryLock()) << name;
    }
    EXPECT_EQ(names.size(), 20u);
}

TEST(TempFilesTest, OnlyTheFilesOfEndedProcessesNoOneHoldsAreCleared) {
    TempDir dir("veska-temp");
    const std::string folder = dir.path() + "/";
    dir.write("victim.txt", "victim");
    const std::string dead = std::to_string(endedPid());
    const std::string stale = ".~vsk-" + dead + "-0000abcd";
    dir.write(stale, "left by a killed receiver");
    // A live receiver's file, and one of an ended process that someone holds.
    File live;
    std::string livePath;
    ASSERT_TRUE(createTemp(folder, &live, &livePath));
    const std::string held = ".~vsk-" + dead + "-0000beef";
    dir.write(held, "held");
    File holder;
    ASSERT_TRUE(holder.openExisting(dir.file(held)));
    ASSERT_TRUE(holder.tryLock());
    // Names that only look alike, and a link: never removed or followed.
    const std::string link = ".~vsk-" + dead + "-0000link";
    ASSERT_EQ(::symlink(dir.file("victim.txt").c_str(), dir.file(link).c_str()), 0);
    dir.write(".~vsk-notapid", "user");
    dir.write("0~A.DAT", "user");
    // A name a terminal may send (12 bytes at most) that begins alike.
    const std::string terminalName = (".~vsk-" + dead + "-ABCDEF").substr(0, 12);
    dir.write(terminalName, "a terminal's file");

    removeStaleTemps(folder);
    EXPECT_FALSE(present(dir.file(stale)));
    EXPECT_TRUE(present(livePath));
    EXPECT_TRUE(present(dir.file(held)));
    EXPECT_TRUE(present(dir.file(link)));
    EXPECT_TRUE(present(dir.file(".~vsk-notapid")));
    EXPECT_TRUE(present(dir.file("0~A.DAT")));
    EXPECT_TRUE(present(dir.file(terminalName))) << terminalName;
    EXPECT_EQ(contents(dir.file("victim.txt")), "victim");
}

}  // namespace
}  // namespace vsk::platform
