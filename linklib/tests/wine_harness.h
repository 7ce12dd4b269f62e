// Running Windows programs under Wine from a native test: a child process
// with its output in files, one Wine prefix per test program, and the
// Windows names of Linux folders, and a fixture that runs one Windows program
// and its Linux build against the simulator as terminal 5 on COM5. The test
// target defines VESKA_WINE64 and VESKA_WINESERVER (the programs of the
// installed Wine).
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim_process.h"

namespace vsk::wine_testing {

using vsk::htsim::testing::TempDir;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string slurp(const std::string& path) {
    return vsk::htsim::testing::readFile(path).value_or("");
}

// A Windows program's text output ends its lines with CR LF.
inline std::string withoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

// A child process with stdout and stderr in files of `work`, optionally
// reading stdin from a pipe the caller keeps (closing it ends the input).
class Child {
  public:
    Child(const TempDir& work, const std::vector<std::string>& argv,
          const std::vector<std::string>& env, bool stdinPipe = false)
        : out_(work.file("out-" + std::to_string(++serial_))), err_(out_ + ".err") {
        int fds[2] = {-1, -1};
        if (stdinPipe && pipe(fds) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            if (stdinPipe) {
                dup2(fds[0], 0);
                close(fds[1]);
            }
            int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            dup2(err, 2);
            for (const std::string& e : env) putenv(strdup(e.c_str()));
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        if (stdinPipe) {
            close(fds[0]);
            input_ = fds[1];
        }
    }
    ~Child() {
        closeInput();
        if (pid_ > 0) wait(std::chrono::seconds(5));
    }
    void closeInput() {
        if (input_ >= 0) close(input_);
        input_ = -1;
    }
    // The outcome, killing the child once `limit` has passed.
    Outcome wait(std::chrono::seconds limit = std::chrono::seconds(120)) {
        Outcome run;
        const auto until = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) {
                ADD_FAILURE() << "still running after " << limit.count() << " s";
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pid_ = -1;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.out = withoutCarriageReturns(slurp(out_));
        run.err = slurp(err_);
        return run;
    }
    std::string outSoFar() const { return withoutCarriageReturns(slurp(out_)); }
    // Sends `number` to the child (Wine turns SIGINT into the console's
    // Ctrl-C event for a Windows program).
    void signal(int number) const {
        if (pid_ > 0) kill(pid_, number);
    }

  private:
    static inline int serial_ = 0;
    std::string out_, err_;
    pid_t pid_ = -1;
    int input_ = -1;
};

// One Wine prefix for the whole program, its server kept running between the
// runs so that each start takes a fraction of a second.
class WinePrefix {
  public:
    WinePrefix() {
        env_ = {"WINEPREFIX=" + dir_.path(), "WINEDEBUG=-all",
                "WINEDLLOVERRIDES=mscoree,mshtml=", "DISPLAY="};
        Outcome boot = Child(dir_, {VESKA_WINE64, "wineboot", "-i"}, env_).wait();
        ready_ = boot.status == 0 && std::filesystem::exists(dir_.file("dosdevices"));
        if (!ready_) error_ = boot.err;
        // No display here: Wine's null graphics driver still makes windows,
        // so the library's progress window exists and its button can be
        // pressed. The prefix's desktop process started without it, so the
        // server and its processes are ended before the tests' server starts.
        if (ready_) {
            Outcome reg = Child(dir_,
                                {VESKA_WINE64, "reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v",
                                 "Graphics", "/d", "null", "/f"},
                                env_)
                              .wait();
            ready_ = reg.status == 0;
            if (!ready_) error_ = reg.err;
        }
        Child(dir_, {VESKA_WINESERVER, "-k"}, env_).wait();
        server_ =
            std::make_unique<Child>(dir_, std::vector<std::string>{VESKA_WINESERVER, "-p"}, env_);
    }
    ~WinePrefix() {
        Child(dir_, {VESKA_WINESERVER, "-k"}, env_).wait();
        server_.reset();
    }
    bool ready() const { return ready_; }
    const std::string& error() const { return error_; }
    const std::vector<std::string>& env() const { return env_; }
    // COMn of the prefix names `device` from now on.
    void pointPort(int n, const std::string& device) {
        const std::string link = dir_.file("dosdevices/com" + std::to_string(n));
        unlink(link.c_str());
        ASSERT_EQ(symlink(device.c_str(), link.c_str()), 0) << link;
    }

  private:
    TempDir dir_{"wine-prefix"};
    std::vector<std::string> env_;
    std::unique_ptr<Child> server_;
    bool ready_ = false;
    std::string error_;
};

// The Windows name of a Linux folder (drive Z: is the root) with a trailing separator.
inline std::string windowsFolder(const std::string& path) {
    std::string out = "Z:" + path;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out + "\\";
}

// Names and contents of the files in a folder.
inline std::vector<std::pair<std::string, std::string>> contents(const std::string& dir) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        files.emplace_back(e.path().filename().string(), slurp(e.path().string()));
    std::sort(files.begin(), files.end());
    return files;
}

// The test program's one prefix (runTestsInOnePrefix makes it).
inline WinePrefix* gWine = nullptr;

// A Windows program under Wine beside its Linux build, both against the
// simulator as terminal 5: COM5 of the prefix on Windows, VESKA_COM5 on Linux.
class WineFixture : public ::testing::Test {
  protected:
    // `windows`, `native`: each build's program and the arguments every run
    // starts with.
    WineFixture(std::vector<std::string> windows, std::vector<std::string> native)
        : windows_(std::move(windows)), native_(std::move(native)) {}

    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(windows_.front()))
            << windows_.front() << " is missing: build the mingw64 preset first";
        ASSERT_TRUE(gWine != nullptr && gWine->ready()) << "wineboot failed: " << gWine->error();
    }
    // The simulator as terminal 5, on its folder seeded with `files`.
    void startTerminal(const std::vector<std::pair<std::string, std::string>>& files,
                       std::vector<std::string> extra = {}) {
        for (const auto& [name, content] : files) store_.write(name, content);
        std::vector<std::string> args = {"--ht", "5", "--dir", store_.path()};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_ = std::make_unique<vsk::htsim::testing::SimProcess>(args);
        gWine->pointPort(5, sim_->path());
    }
    Child onWindows(const std::vector<std::string>& args, bool stdinPipe = false) {
        std::vector<std::string> argv = {VESKA_WINE64};
        argv.insert(argv.end(), windows_.begin(), windows_.end());
        argv.insert(argv.end(), args.begin(), args.end());
        return Child(work_, argv, gWine->env(), stdinPipe);
    }
    Outcome onLinux(const std::vector<std::string>& args) {
        std::vector<std::string> argv = native_;
        argv.insert(argv.end(), args.begin(), args.end());
        return Child(work_, argv, {"VESKA_COM5=" + sim_->path()}).wait();
    }

    TempDir work_{"wine-work"};
    TempDir store_{"wine-store"};
    TempDir pc_{"wine-pc"};
    std::unique_ptr<vsk::htsim::testing::SimProcess> sim_;

  private:
    std::vector<std::string> windows_;
    std::vector<std::string> native_;
};

// The test program's main: all its cases in one prefix, whose boot takes
// seconds. Listing the tests needs none.
inline int runTestsInOnePrefix(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    WinePrefix wine;
    gWine = &wine;
    const int status = RUN_ALL_TESTS();
    gWine = nullptr;
    return status;
}

}  // namespace vsk::wine_testing
