// A session with simulated terminals on a pseudo-terminal, for tests that run
// the library's operations end to end.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim_process.h"
#include "veska.h"

namespace vsk::testing {

using htsim::testing::isCommand;
using htsim::testing::isFrame;
using htsim::testing::RecordedFrame;
using htsim::testing::SimProcess;
using htsim::testing::TempDir;

// Short time-outs keep failure paths quick; 3 tries make retries visible.
inline LineSettings fastSettings(int32_t timeout = 500, int32_t retry = 3) {
    return LineSettings{115200, 0, 1, 0, 0, timeout, retry};
}

class LinkTest : public ::testing::Test {
  protected:
    // Starts the simulator with `args` and opens a session on its line as port 1.
    void start(std::vector<std::string> args, LineSettings ls = fastSettings()) {
        sim_ = std::make_unique<SimProcess>(std::move(args));
        setenv("VESKA_COM1", sim_->path().c_str(), 1);
        ASSERT_EQ(Vsk_ComOpen(&h_, 1, 0, &ls), 0);
    }

    // Terminal 5 on a folder of its own, with `faults` and any further options.
    void startTerminal(std::vector<std::string> extra = {}, LineSettings ls = fastSettings()) {
        std::vector<std::string> args = {"--ht", "5", "--dir", store_.path()};
        args.insert(args.end(), extra.begin(), extra.end());
        start(std::move(args), ls);
    }

    void TearDown() override {
        if (h_ != 0) Vsk_ComClose(h_);
        h_ = 0;
    }

    // After a failure the session must serve the next call.
    void expectUsable(const char* ht = "005") { EXPECT_EQ(Vsk_Polling(h_, ht, 300), 0); }

    size_t commandsReceived(char code) const { return sim_->received(isCommand(code)).size(); }

    // Runs `call` on a thread of its own and gives it `limit`. A call still
    // running then has hung: the simulator is stopped, so that the call's
    // reads fail and the test goes on. `took`, if given, gets the call's duration.
    int32_t within(std::chrono::milliseconds limit, std::function<int32_t()> call,
                   std::chrono::milliseconds* took = nullptr) {
        auto t0 = std::chrono::steady_clock::now();
        auto running = std::async(std::launch::async, std::move(call));
        if (running.wait_for(limit) != std::future_status::ready) {
            ADD_FAILURE() << "the call still runs after " << limit.count() << " ms";
            sim_->stop();
        }
        int32_t r = running.get();
        if (took)
            *took = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - t0);
        return r;
    }

    SimProcess& sim() { return *sim_; }

    TempDir store_{"veska-store"};
    std::unique_ptr<SimProcess> sim_;
    int32_t h_ = 0;
};

inline std::string text(const char* p, size_t n) {
    return std::string(p, n);
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The names in a folder, "." and ".." left out.
inline std::set<std::string> filesIn(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.insert(n);
        }
        closedir(d);
    }
    return names;
}

// The library's temporary files in a folder (received data not yet in place).
inline std::set<std::string> tempsIn(const std::string& dir) {
    std::set<std::string> names;
    for (const std::string& n : filesIn(dir))
        if (n.rfind(".~vsk-", 0) == 0) names.insert(n);
    return names;
}

// A download ends with an end frame the terminal does not answer, so the
// call returns before the terminal has stored the file: wait for it to appear.
inline bool terminalStored(const std::string& path, const std::string& content) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < until) {
        if (readFile(path) == content) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Raises `sig` in the thread that made the object once `happened` (run on a
// thread of its own) has returned: the handler then runs inside the call that
// thread makes meanwhile, as a timer's would, but at a known point of it. The
// signal comes even when the event does not, so the call cannot run on for
// ever; join() tells whether the event came.
class SignalOnEvent {
  public:
    SignalOnEvent(int sig, std::function<bool()> happened)
        : target_(pthread_self()), waiter_([this, sig, happened = std::move(happened)] {
              seen_ = happened();
              pthread_kill(target_, sig);
          }) {}
    ~SignalOnEvent() { join(); }
    SignalOnEvent(const SignalOnEvent&) = delete;
    SignalOnEvent& operator=(const SignalOnEvent&) = delete;

    // Waits until the signal has been sent; whether the event came first.
    bool join() {
        if (waiter_.joinable()) waiter_.join();
        return seen_;
    }

  private:
    pthread_t target_;
    std::atomic<bool> seen_{false};
    std::thread waiter_;
};

// File contents that differ from block to block.
inline std::string pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('A' + (i * 7 + i / 512) % 26);
    return s;
}

}  // namespace vsk::testing
