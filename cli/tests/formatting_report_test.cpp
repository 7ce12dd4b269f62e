#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "formatting.h"
#include "report.h"
#include "terminal_text.h"

namespace veskactl {
namespace {

DirRecord listingOf(std::initializer_list<std::pair<std::string, int32_t>> files) {
    DirRecord dir{};
    for (DirEntry& entry : dir.Entries) std::memset(entry.Name, ' ', sizeof entry.Name);
    int32_t i = 0;
    for (const auto& [name, size] : files) {
        std::memcpy(dir.Entries[i].Name, name.data(), name.size());
        dir.Entries[i].Size = size;
        ++i;
    }
    dir.FileCount = i;
    dir.FreeSize = 123456;
    return dir;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(Listing, StaysInsideTheRecordWhateverTheCountSays) {
    DirRecord empty = listingOf({});
    EXPECT_EQ(linesOf(formatListing(empty)).back(), "0 files, 123456 bytes free");

    DirRecord one = listingOf({{"X", 1}});
    EXPECT_EQ(linesOf(formatListing(one)).back(), "1 file, 123456 bytes free");

    DirRecord overfull = listingOf({});
    overfull.FileCount = 300;  // three digits from the terminal, but 128 entries at most
    std::vector<std::string> lines = linesOf(formatListing(overfull));
    EXPECT_EQ(lines.size(), 1u + 128u + 2u);
    EXPECT_EQ(lines.back(), "(only the first 128 files can be listed)");

    DirRecord negative = listingOf({});
    negative.FileCount = -5;
    EXPECT_EQ(linesOf(formatListing(negative)).size(), 2u);
}

TEST(FileDetails, ShowFieldsWithoutBlankFillOrControlBytes) {
    FileInfoRecord info{};
    info.Size = 42;
    std::memcpy(info.Info1, "240131 ", 7);
    std::memcpy(info.Info2, "\x1B[0m  ", 7);
    std::string text = formatFileInfo("A.DAT", info);
    EXPECT_NE(text.find("Size:    42\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Info 1:  240131\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Info 2:  \\x1B[0m\n"), std::string::npos) << text;
}

FailureDetails openFailure(int32_t errnoValue) {
    FailureDetails details;
    details.operation = "open port 1";
    details.code = 6001;
    details.systemCode = errnoValue;
    details.systemText = std::strerror(errnoValue);
    details.device = DevicePath{"/dev/ttyS0", "VESKA_COM1", false};
    return details;
}

TEST(FailureMessage, ExplainsAPortThatCannotBeOpened) {
    FailureDetails denied = openFailure(EACCES);
    denied.groupToJoin = "dialout";
    std::string text = formatFailure(denied);
    EXPECT_NE(text.find("6001"), std::string::npos) << text;
    EXPECT_NE(text.find("system error 13: "), std::string::npos) << text;
    EXPECT_NE(text.find("/dev/ttyS0"), std::string::npos) << text;
    EXPECT_NE(text.find("usermod -aG dialout"), std::string::npos) << text;

    // No group to join: who owns it, and whom to ask.
    FailureDetails rootOnly = openFailure(EACCES);
    rootOnly.ownership = "root:root, mode 0600";
    text = formatFailure(rootOnly);
    EXPECT_NE(text.find("/dev/ttyS0 (root:root, mode 0600); no group you could join may use it: "
                        "ask the administrator for read and write access, e.g. a udev rule"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("usermod"), std::string::npos) << text;

    // Without the environment override the hint names the variable to set.
    std::string missing = formatFailure(openFailure(ENOENT));
    EXPECT_NE(
        missing.find("there is no device /dev/ttyS0; choose another --port or set VESKA_COM1"),
        std::string::npos)
        << missing;
}

TEST(DevicePath, FollowsTheEnvironmentThenTheSerialDevices) {
    unsetenv("VESKA_COM7");
    DevicePath fallback = devicePathForPort(7);
    EXPECT_EQ(fallback.path, "/dev/ttyS6");
    EXPECT_FALSE(fallback.fromEnvironment);

    setenv("VESKA_COM7", "/dev/pts/42", 1);
    DevicePath overridden = devicePathForPort(7);
    EXPECT_EQ(overridden.path, "/dev/pts/42");
    EXPECT_TRUE(overridden.fromEnvironment);
    EXPECT_EQ(overridden.variable, "VESKA_COM7");
    unsetenv("VESKA_COM7");
}

}  // namespace
}  // namespace veskactl
