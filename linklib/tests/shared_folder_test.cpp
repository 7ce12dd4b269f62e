// Several programs receiving into one folder at the same time (two ports,
// two processes): each target ends with exactly the bytes meant for it.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "link_fixture.h"

namespace vsk::testing {
namespace {

using Operation = std::function<int32_t(int32_t handle)>;

// Long enough (20 blocks at 115200 baud) for two transfers to overlap.
constexpr size_t kSize = 512 * 20;

class SharedFolderTest : public ::testing::Test {
  protected:
    // A terminal on a line of its own, offering `files`.
    void addTerminal(std::vector<std::pair<std::string, std::string>> files) {
        auto store = std::make_unique<TempDir>("veska-store");
        for (const auto& [name, content] : files) store->write(name, content);
        sims_.push_back(std::make_unique<SimProcess>(
            std::vector<std::string>{"--baud", "115200", "--ht", "5", "--dir", store->path()}));
        stores_.push_back(std::move(store));
    }

    // Runs `op` with every terminal at once, each in a process of its own
    // with its own session; the results in the terminals' order.
    std::vector<int32_t> runTogether(const Operation& op) {
        int go[2];
        EXPECT_EQ(::pipe(go), 0);
        std::vector<pid_t> children;
        std::vector<int> results;
        for (const auto& sim : sims_) {
            int res[2];
            EXPECT_EQ(::pipe(res), 0);
            pid_t child = ::fork();
            if (child == 0) {
                ::close(go[1]);
                ::close(res[0]);
                setenv("VESKA_COM1", sim->path().c_str(), 1);
                LineSettings ls = fastSettings(2000, 3);
                int32_t h = 0;
                int32_t r = Vsk_ComOpen(&h, 1, 0, &ls);
                char c;
                if (::read(go[0], &c, 1) == 1 && r == 0) r = op(h);
                if (::write(res[1], &r, sizeof r) != sizeof r) ::_exit(2);
                ::_exit(0);
            }
            ::close(res[1]);
            children.push_back(child);
            results.push_back(res[0]);
        }
        ::close(go[0]);
        // All start at once.
        std::string start(children.size(), 'x');
        EXPECT_EQ(::write(go[1], start.data(), start.size()), static_cast<ssize_t>(start.size()));
        ::close(go[1]);
        std::vector<int32_t> codes;
        for (size_t i = 0; i < children.size(); ++i) {
            pollfd p{results[i], POLLIN, 0};
            int32_t r = -1;
            if (::poll(&p, 1, 60000) != 1 || ::read(results[i], &r, sizeof r) != sizeof r) {
                ::kill(children[i], SIGKILL);
                ADD_FAILURE() << "receiver " << i << " did not finish";
            }
            ::close(results[i]);
            ::waitpid(children[i], nullptr, 0);
            codes.push_back(r);
        }
        return codes;
    }

    static int32_t uploadAll(int32_t h, const std::string& folder, int32_t mode) {
        UploadList list{};
        list.SaveMode = mode;
        int32_t r = Vsk_AllUpload(h, "005", folder.c_str(), &list, 0);
        return r != 0 ? r : (list.Entries[0].Outcome == 1 ? 0 : -2);
    }

    std::vector<std::unique_ptr<TempDir>> stores_;
    std::vector<std::unique_ptr<SimProcess>> sims_;
    TempDir pc_{"veska-pc"};
};

const std::string kA = htsim::testing::testPattern(kSize, 1);
const std::string kB = htsim::testing::testPattern(kSize, 2);

TEST_F(SharedFolderTest, SingleUploadsOfDifferentFiles) {
    addTerminal({{"A.DAT", kA}});
    addTerminal({{"B.DAT", kB}});
    const std::string folder = pc_.path();
    auto codes = runTogether([&](int32_t h) {
        const char* name = getenv("VESKA_COM1") == sims_[0]->path() ? "A.DAT" : "B.DAT";
        return Vsk_FUpload(h, "005", 0, folder.c_str(), name, static_cast<int32_t>(kSize), 0);
    });
    EXPECT_EQ(codes, (std::vector<int32_t>{0, 0}));
    EXPECT_TRUE(readFile(pc_.file("A.DAT")) == kA);
    EXPECT_TRUE(readFile(pc_.file("B.DAT")) == kB);
    EXPECT_EQ(filesIn(pc_.path()), (std::set<std::string>{"A.DAT", "B.DAT"}));
}

TEST_F(SharedFolderTest, SingleUploadsAppendingToOneFile) {
    addTerminal({{"LOG.DAT", kA}});
    addTerminal({{"LOG.DAT", kB}});
    pc_.write("LOG.DAT", "old;");
    const std::string folder = pc_.path();
    auto codes = runTogether([&](int32_t h) {
        return Vsk_FUpload(h, "005", 1, folder.c_str(), "LOG.DAT", static_cast<int32_t>(kSize), 0);
    });
    EXPECT_EQ(codes, (std::vector<int32_t>{0, 0}));
    const std::string got = readFile(pc_.file("LOG.DAT"));
    EXPECT_TRUE(got == "old;" + kA + kB || got == "old;" + kB + kA) << got.size();
    EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"LOG.DAT"});
}

TEST_F(SharedFolderTest, BatchUploadsOfFilesOfTheSameName) {
    addTerminal({{"SAME.DAT", kA}});
    addTerminal({{"SAME.DAT", kB}});
    // (Were there no such file yet, the second to finish would not replace
    // the first's and would fail with 6008.)
    pc_.write("SAME.DAT", "old;");
    const std::string folder = pc_.path();
    auto codes = runTogether([&](int32_t h) { return uploadAll(h, folder, 0); });
    EXPECT_EQ(codes, (std::vector<int32_t>{0, 0}));
    // Replaced twice: one terminal's file, whole.
    const std::string got = readFile(pc_.file("SAME.DAT"));
    EXPECT_TRUE(got == kA || got == kB) << got.size();
    EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"SAME.DAT"});
}

TEST_F(SharedFolderTest, BatchUploadsAppendingToOneFile) {
    addTerminal({{"SAME.DAT", kA}});
    addTerminal({{"SAME.DAT", kB}});
    pc_.write("SAME.DAT", "old;");
    const std::string folder = pc_.path();
    auto codes = runTogether([&](int32_t h) { return uploadAll(h, folder, 1); });
    EXPECT_EQ(codes, (std::vector<int32_t>{0, 0}));
    const std::string got = readFile(pc_.file("SAME.DAT"));
    EXPECT_TRUE(got == "old;" + kA + kB || got == "old;" + kB + kA) << got.size();
    EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"SAME.DAT"});
}

}  // namespace
}  // namespace vsk::testing
