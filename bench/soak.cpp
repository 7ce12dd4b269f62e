// Soak: auto-mode runs against 128 simulated terminals on one line for a given
// number of minutes, each transfer under a fault drawn at random from the
// simulator's whole list. Checks as it goes and at the end that every result
// is the one its fault implies and is in the history file, that no temporary
// file is left, that every file on either side is its old or its complete new
// contents, and that memory and descriptors do not grow. Between the runs'
// ticks, two receivers into one PC folder are killed and checked now and
// then (soak_shared_folder.h).
//
//   bench_soak --minutes N [--seed S] [--upload|--download|--both]
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "auto_run.h"
#include "options.h"
#include "sim_control.h"
#include "sim_process.h"
#include "soak_files.h"
#include "soak_shared_folder.h"
#include "synthetic_files.h"

namespace {

using vsk::bench::contentOf;
using vsk::bench::namesIn;
using vsk::bench::writeAtomically;
using vsk::htsim::testing::readFile;
using vsk::htsim::testing::SimControl;
using vsk::htsim::testing::SimProcess;
using vsk::htsim::testing::TempDir;
using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kTerminals = 128;
constexpr int16_t kDownload = 1;
constexpr int16_t kUpload = 2;
// The tools' run window ticks at this interval, and so does veskactl.
constexpr auto kTickInterval = 50ms;
// A reply time-out per byte and tries the faults' expected codes are worked out for.
constexpr int32_t kTimeoutMs = 1000;
constexpr int32_t kRetry = 3;
// The terminals wait this long for an acknowledgement: short enough that a
// lost frame comes again before the PC gives up on it, long enough that a
// terminal keeps a file open across the PC's own time-out.
const char* const kAckTimeoutMs = "400";
// A round of two receivers into one folder comes this often between the
// auto-mode runs' ticks.
constexpr auto kSharedRoundEvery = 1s;
// Memory and descriptors may differ this much between the first minute and the end.
constexpr long kRssNoiseKb = 2048;
constexpr long kFdNoise = 0;
// A simulator's unfinished file older than this is a leftover, not a transfer in progress.
constexpr auto kStaleAfter = 30s;

// --- What each fault must end in

using Codes = std::set<int32_t>;
const Codes kLineLost = {6005, 6006};

// `spec` is given to the terminal with the transfer command's letter added
// ("@W" for batch downloads, "@U" for batch uploads). `complete`: the fault
// is one the protocol recovers from, so every file must arrive whole.
struct FaultCase {
    const char* spec;
    Codes codes;
    bool complete = false;
};

// Batch download, SkipMode 1, the two files D1.DAT (4 blocks) and D2.DAT (2
// blocks). A kind that has no meaning when the terminal receives (repeat,
// split, extra, twice, rehead, short, badname) has no effect.
const std::vector<FaultCase> kDownloadFaults = {
    {"silent", {2005}},
    {"nak", {0}, true},
    {"nak=3", {2002}},
    {"badbcc", {2002}},
    {"badbcc=2", {2002}},
    {"otherht", {0}, true},
    {"foreign", {2005}},
    {"noise", {0}, true},
    {"noise=40", {0}, true},
    {"repeat", {0}, true},
    {"result=M", {2004}},
    {"result=F", {2002}},
    {"result=R", {2002}},
    {"cancel", {1002}},
    {"cancel=2", {1002}},
    {"cancel=h", {1002}},
    {"cancel=1:h", {1002}},
    {"split=3", {0}, true},
    {"extra=3", {0}, true},
    {"longlen", {2002}},
    {"slow=1", {0}, true},
    {"delay=100", {0}, true},
    {"delay=1500*1", {2005}},
    {"eot", {2002}},
    // The terminal has ended the conversation: a letter the sender does not
    // take as a refusal makes it send the block again, unanswered.
    {"result=F,2", {4002}},
    {"result=M,2", {2004}},
    {"result=R,2", {2005}},
    {"result=S,1:0", {2005}},
    {"result=F,h", {4002}},
    {"result=M,h", {2002}},
    {"result=F,1:h", {4002}},
    {"blknak=2*2", {0}, true},
    {"blknak=2*3", {2002}},
    {"blknak=h*2", {0}, true},
    {"blknak=h*3", {2002}},
    {"blknak=1:0*3", {2002}},
    {"blksilent=2*2", {0}, true},
    {"blksilent=2*3", {2005}},
    {"blksilent=h*2", {0}, true},
    {"blksilent=h*3", {2005}},
    {"prevack=2", {0}, true},
    {"prevack=0", {0}, true},
    {"twice=1", {0}, true},
    {"rehead", {0}, true},
    {"short=10", {0}, true},
    {"badname", {0}, true},
    {"hangup=2", kLineLost},
    {"hangup=1:h", kLineLost},
    {"hangup", kLineLost},
};

// Batch upload, SaveMode 0. The terminal offers D1.DAT (4 blocks) and D2.DAT
// (2 blocks) where downloads left them, then its own TnnnA.DAT (4 blocks)
// and TnnnB.DAT (1 block), so frame 2 is always in the first file and the
// last file has one block.
const std::vector<FaultCase> kUploadFaults = {
    {"silent", {2005}},
    {"nak", {0}, true},
    {"nak=3", {2002}},
    {"badbcc", {2002}},
    {"otherht", {0}, true},
    {"foreign", {2005}},
    {"noise", {0}, true},
    // The block comes again after its acknowledgement and is not taken twice;
    // the terminal waits for an acknowledgement the PC has already given.
    {"repeat=1", {2005}},
    {"result=M", {2004}},
    {"result=F", {4002}},
    {"result=R", {2002}},
    {"cancel", {1002}},
    {"cancel=2", {1002}},
    {"cancel=h", {1002}},
    {"cancel=1:h", {1002}},
    {"split=3", {0}, true},
    {"extra=3", {0}, true},
    {"longlen", {2002}},
    {"slow=1", {0}, true},
    {"delay=100", {0}, true},
    {"delay=1500*1", {2005}},
    {"eot", {2002}},
    // A refused block fails its file; the acknowledgement of what came last
    // then goes unanswered, and with files still to come that ends the batch.
    {"result=F,2", {2005}},
    {"result=M,2", {2005}},
    {"result=R,2", {2005}},
    {"result=F,0", {2002}},
    {"result=F,h", {4002}},
    {"result=M,h", {2002}},
    {"result=F,1:h", {2002}},
    {"blknak=2", {0}, true},
    {"blksilent=2", {0}, true},
    {"blksilent=2*3", {0}, true},
    {"blksilent=2*4", {2005}},
    {"blksilent=h", {0}, true},
    {"prevack=2", {0}, true},
    {"twice=1", {0}, true},
    // The exchange answers an exact repeat of the frame it acknowledged with
    // the acknowledgement again, so a header sent twice costs nothing.
    {"rehead", {0}, true},
    {"rehead=1", {0}, true},
    // The first file falls short and is dropped; the batch goes on.
    {"short=10", {0}},
    {"badname", {3011}},
    {"badname=.", {3011}},
    {"hangup=2", kLineLost},
    {"hangup=1:h", kLineLost},
    {"hangup", kLineLost},
};

const std::vector<FaultCase>& faultsFor(int16_t protype) {
    return protype == kDownload ? kDownloadFaults : kUploadFaults;
}

char letterFor(int16_t protype) {
    return protype == kDownload ? 'W' : 'U';
}

// --- File contents

constexpr size_t kD1Base = 1900, kD2Base = 600;  // 4 and 2 blocks
constexpr size_t kABase = 1800, kBBase = 300;    // 4 and 1 blocks
const std::vector<std::pair<std::string, size_t>> kDownloadFiles = {{"D1.DAT", kD1Base},
                                                                    {"D2.DAT", kD2Base}};

// A file's contents stand for themselves by hash; an absent file is 0.
using ContentId = size_t;
constexpr ContentId kAbsent = 0;
ContentId idOf(const std::optional<std::string>& content) {
    if (!content) return kAbsent;
    ContentId h = std::hash<std::string>{}(*content);
    return h == kAbsent ? 1 : h;
}

std::string htText(int k) {
    char t[8];
    std::snprintf(t, sizeof t, "%03d", k);
    return t;
}

// --- Process figures

long statusField(const char* field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

long openDescriptors() {
    return static_cast<long>(namesIn("/proc/self/fd").size()) - 1;  // less the one reading it
}

struct Figures {
    long rssKb = -1;
    long fds = -1;
};

Figures sample() {
    return {statusField("VmRSS:"), openDescriptors()};
}

// --- The soak

volatile std::sig_atomic_t gStop = 0;
void onStop(int) {
    gStop = 1;
}

struct Options {
    double minutes = 0;
    uint32_t seed = 0;
    bool download = true;
    bool upload = true;
};

// One transfer as the soak saw it, until the history file has shown it.
struct Transfer {
    int ht = 0;
    int16_t protype = 0;
    int32_t result = 0;
};

// A terminal file that downloads write: the versions it may hold now.
struct TerminalFile {
    std::set<int> allowed = {-1};  // -1: absent
    int mustBe = -2;               // a version it must have by the next look; -2: none
};

struct FaultStats {
    long transfers = 0;
    long unexpected = 0;
};

class Soak : public vsk::ui::RunEvents {
  public:
    explicit Soak(const Options& o) : opts_(o), random_(o.seed) {}

    int run();

    void transferStarting(const QString& ht) override;
    void transferEnded(const QString& ht, int32_t result, int32_t count) override;

  private:
    std::string terminalDir(int k) const { return work_.file("ht" + htText(k)); }
    std::string ownName(int k, char which) const { return "T" + htText(k) + which + ".DAT"; }
    void prepareFolders();
    void startSimulator();
    void writeDownloadFiles();
    void serveRound(int16_t protype);
    void configure(int16_t protype, const std::set<int>& remaining);
    void checkTerminalFiles(int k);
    void offerUploads(int k, const FaultCase& fault);
    void checkUploaded(int32_t result);
    void checkHistory();
    void checkLeftovers(bool final);
    void periodicCheck();
    void sharedFolderRound();
    void mismatch(long* counter, const std::string& what);
    bool timeUp() const { return gStop || SteadyClock::now() >= deadline_; }
    int summary();

    Options opts_;
    std::mt19937 random_;
    TempDir work_{"veska-soak"};
    std::string pcDown_, pcUp_, history_, control_;
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<SimControl> channel_;
    vsk::ui::AutoRunner runner_{this};
    SteadyClock::time_point started_, deadline_, nextCheck_;
    std::chrono::seconds checkEvery_{60};

    int downloadVersion_ = 0;
    std::vector<int> ownVersion_ = std::vector<int>(kTerminals + 1, 0);
    std::map<std::string, TerminalFile> terminalFiles_;  // "ht/name"
    std::map<std::string, ContentId> pcFiles_;           // upload folder: name -> contents now

    // The transfer under way.
    int16_t protype_ = 0;
    const FaultCase* fault_ = nullptr;
    std::vector<std::pair<std::string, ContentId>> offered_;  // upload: name, new contents

    std::deque<Transfer> unseen_;  // not yet found in the history file
    std::streamoff historyRead_ = 0;
    std::string historyPartial_;
    std::map<std::string, FaultStats> stats_;  // "W spec"

    long transfers_ = 0, runs_ = 0, runsEnded_ = 0, restarts_ = 0, missedPolls_ = 0;
    long resultMismatches_ = 0, historyMismatches_ = 0, contentMismatches_ = 0, leftovers_ = 0;
    long reported_ = 0;
    Figures first_, last_;
    std::unique_ptr<vsk::bench::SharedFolderSoak> shared_;
    SteadyClock::time_point nextShared_;
};

void Soak::mismatch(long* counter, const std::string& what) {
    ++*counter;
    if (++reported_ <= 40) std::cout << "MISMATCH " << what << std::endl;
}

void Soak::prepareFolders() {
    pcDown_ = work_.file("pc-down");
    pcUp_ = work_.file("pc-up");
    history_ = work_.file("history.txt");
    control_ = work_.file("control");
    std::filesystem::create_directories(pcDown_);
    std::filesystem::create_directories(pcUp_);
    for (int k = 1; k <= kTerminals; ++k) {
        std::filesystem::create_directories(terminalDir(k));
        writeAtomically(terminalDir(k), ownName(k, 'A'), contentOf(ownName(k, 'A'), 0, kABase));
        writeAtomically(terminalDir(k), ownName(k, 'B'), contentOf(ownName(k, 'B'), 0, kBBase));
    }
}

void Soak::startSimulator() {
    channel_.reset();
    std::vector<std::string> args = {"@no-record", "--control", control_, "--ack-timeout",
                                     kAckTimeoutMs};
    for (int k = 1; k <= kTerminals; ++k)
        args.insert(args.end(), {"--ht", std::to_string(k), "--dir", terminalDir(k)});
    sim_ = std::make_unique<SimProcess>(args);
    channel_ = std::make_unique<SimControl>(control_);
    ::setenv("VESKA_COM1", sim_->path().c_str(), 1);
}

// The job's files get a new version before each download round, so that a
// terminal holding the round's version got it in this round.
void Soak::writeDownloadFiles() {
    ++downloadVersion_;
    for (const auto& [name, base] : kDownloadFiles)
        writeAtomically(pcDown_, name, contentOf(name, downloadVersion_, base));
}

void Soak::configure(int16_t protype, const std::set<int>& remaining) {
    vsk::ui::AutoJob& job = runner_.job();
    job.ComPort = 1;
    job.line = LineSettings{19200, 0, 1, 0, 0, kTimeoutMs, kRetry};
    job.protype = protype;
    QString mask(kTerminals, QLatin1Char('0'));
    for (int k : remaining) mask[k - 1] = QLatin1Char('1');
    job.htno = mask;
    job.SkipMode = 1;
    job.SaveMode = 0;
    job.upfolder = QString::fromStdString(pcUp_);
    job.PollingTout = 100;
    job.ResFileName = QString::fromStdString(history_);
    job.ResMode = 1;
    job.stopFolder.clear();
    runner_.files().FileTblClr();
    for (const auto& file : kDownloadFiles)
        runner_.files().FileTblAdd(QString::fromStdString(pcDown_ + "/" + file.first));
}

// Every terminal once, in as many runs as it takes: a result that ends a run
// (2004, a failed system call) is followed by a run over the terminals left.
void Soak::serveRound(int16_t protype) {
    if (protype == kDownload) writeDownloadFiles();
    std::set<int> remaining;
    for (int k = 1; k <= kTerminals; ++k) remaining.insert(k);
    while (!remaining.empty() && !timeUp()) {
        configure(protype, remaining);
        runner_.reset();
        ++runs_;
        if (!runner_.open()) {
            mismatch(&resultMismatches_,
                     "the line did not open: " + std::to_string(runner_.Result()));
            runner_.close();
            startSimulator();
            continue;
        }
        std::set<int> looked;
        bool more = true;
        while (more && !timeUp()) {
            const int k = runner_.currentHt().toInt();
            if (looked.count(k)) break;  // round the mask once
            const bool selected = remaining.count(k) != 0;
            const long before = transfers_;
            if (selected) {
                looked.insert(k);
                remaining.erase(k);
            }
            more = runner_.pollingTick();
            if (selected && transfers_ == before) ++missedPolls_;
            periodicCheck();
            sharedFolderRound();
            std::this_thread::sleep_for(kTickInterval);
        }
        if (!more) ++runsEnded_;
        runner_.close();
        // A line that went dead takes the simulator with it.
        if (sim_->waitExit(0ms)) {
            ++restarts_;
            startSimulator();
        }
    }
}

void Soak::checkTerminalFiles(int k) {
    for (const auto& [name, base] : kDownloadFiles) {
        TerminalFile& f = terminalFiles_[htText(k) + "/" + name];
        const std::optional<std::string> now = readFile(terminalDir(k) + "/" + name);
        int found = -2;
        for (int v : f.allowed)
            if (v == -1 ? !now : (now && *now == contentOf(name, v, base))) found = v;
        const std::string where = "HT " + htText(k) + " " + name;
        if (found == -2)
            mismatch(&contentMismatches_, where + ": neither its old nor its new contents");
        else if (f.mustBe != -2 && found != f.mustBe)
            mismatch(&contentMismatches_, where + ": version " + std::to_string(found) +
                                              " after a download that succeeded with version " +
                                              std::to_string(f.mustBe));
        f.allowed = {found};
        f.mustBe = -2;
    }
}

// The files the terminal will offer, in its folder's order, each with its new contents.
void Soak::offerUploads(int k, const FaultCase& fault) {
    const std::string dir = terminalDir(k);
    for (char which : {'A', 'B'}) {
        const std::string name = ownName(k, which);
        writeAtomically(
            dir, name,
            contentOf(name, ++ownVersion_[static_cast<size_t>(k)], which == 'A' ? kABase : kBBase));
    }
    offered_.clear();
    std::set<std::string> names;
    for (const std::string& n : namesIn(dir))
        if (n.size() <= 12) names.insert(n);
    for (const std::string& n : names) offered_.emplace_back(n, idOf(readFile(dir + "/" + n)));
    if (std::strncmp(fault.spec, "extra=", 6) == 0) {
        for (int i = 1, n = std::atoi(fault.spec + 6); i <= n; ++i)
            offered_.emplace_back(vsk::htsim::extraName(i),
                                  idOf(vsk::htsim::syntheticContent(i, vsk::htsim::extraSize(i))));
    }
}

void Soak::transferStarting(const QString& ht) {
    const int k = ht.toInt();
    protype_ = runner_.job().protype;
    checkTerminalFiles(k);
    const std::vector<FaultCase>& faults = faultsFor(protype_);
    fault_ = &faults[std::uniform_int_distribution<size_t>(0, faults.size() - 1)(random_)];
    if (protype_ == kUpload) offerUploads(k, *fault_);
    std::string error;
    const std::string spec = std::string(fault_->spec) + "@" + letterFor(protype_);
    if (!channel_->setFaults(k, {spec}, &error)) {
        std::cerr << "bench_soak: the simulator did not take " << spec << ": " << error << "\n";
        std::exit(2);
    }
}

void Soak::transferEnded(const QString& ht, int32_t result, int32_t) {
    const int k = ht.toInt();
    ++transfers_;
    const std::string key = std::string(1, letterFor(protype_)) + " " + fault_->spec;
    FaultStats& s = stats_[key];
    ++s.transfers;
    if (!fault_->codes.count(result)) {
        ++s.unexpected;
        mismatch(&resultMismatches_, "HT " + htText(k) + " " + key + ": " + std::to_string(result));
    }
    unseen_.push_back({k, protype_, result});
    if (protype_ == kDownload) {
        for (const auto& file : kDownloadFiles) {
            TerminalFile& f = terminalFiles_[htText(k) + "/" + file.first];
            f.allowed.insert(downloadVersion_);
            if (fault_->complete && result == 0) f.mustBe = downloadVersion_;
        }
    } else {
        checkUploaded(result);
    }
}

// Right after the call: the PC's side is final once it has returned.
void Soak::checkUploaded(int32_t result) {
    for (const auto& [name, fresh] : offered_) {
        const ContentId now = idOf(readFile(pcUp_ + "/" + name));
        auto it = pcFiles_.find(name);
        const ContentId before = it == pcFiles_.end() ? kAbsent : it->second;
        if (now != before && now != fresh)
            mismatch(&contentMismatches_, "PC " + name + ": neither its old nor its new contents");
        else if (fault_->complete && result == 0 && now != fresh)
            mismatch(&contentMismatches_,
                     "PC " + name + ": not received in an upload that succeeded");
        pcFiles_[name] = now;
    }
    for (const std::string& n : namesIn(pcUp_))
        if (n.rfind(".~vsk-", 0) == 0) mismatch(&leftovers_, "PC temporary file " + n);
    if (std::filesystem::exists(work_.file("EVIL.TXT")))
        mismatch(&leftovers_, "a file was written outside the upload folder");
}

// The F line of each transfer, in order, with its result.
void Soak::checkHistory() {
    std::ifstream in(history_, std::ios::binary);
    in.seekg(historyRead_);
    std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    historyRead_ += static_cast<std::streamoff>(chunk.size());
    historyPartial_ += chunk;
    size_t start = 0;
    for (size_t end; (end = historyPartial_.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
        const std::string line = historyPartial_.substr(start, end - start);
        if (line.rfind("F,", 0) != 0) continue;
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string item; std::getline(ss, item, ',');) f.push_back(item);
        if (unseen_.empty()) {
            mismatch(&historyMismatches_, "history line of no transfer: " + line);
            continue;
        }
        const Transfer t = unseen_.front();
        unseen_.pop_front();
        const std::string word = t.protype == kDownload ? "ダウンロード" : "アップロード";
        char code[16];
        std::snprintf(code, sizeof code, "%04d", t.result);
        if (f.size() < 7 || f[3] != htText(t.ht) || f[4] != word || f[5] != code)
            mismatch(&historyMismatches_,
                     "history line " + line + " for HT " + htText(t.ht) + " " + word + " " + code);
    }
    historyPartial_.erase(0, start);
}

// PC folders never hold a temporary file between calls; a terminal's
// unfinished file may stand while its conversation runs, not long after.
void Soak::checkLeftovers(bool final) {
    for (const std::string& folder : {pcDown_, pcUp_})
        for (const std::string& n : namesIn(folder))
            if (n.rfind(".~vsk-", 0) == 0) mismatch(&leftovers_, "PC temporary file " + n);
    const auto now = std::filesystem::file_time_type::clock::now();
    for (int k = 1; k <= kTerminals; ++k) {
        for (const std::string& n : namesIn(terminalDir(k))) {
            if (n.rfind(".htsim-", 0) != 0 && n.rfind(".soak-", 0) != 0) continue;
            std::error_code ec;
            auto written = std::filesystem::last_write_time(terminalDir(k) + "/" + n, ec);
            if (final || (!ec && now - written > kStaleAfter))
                mismatch(&leftovers_, "HT " + htText(k) + " temporary file " + n);
        }
    }
}

void Soak::periodicCheck() {
    if (SteadyClock::now() < nextCheck_ && !timeUp()) return;
    nextCheck_ = SteadyClock::now() + checkEvery_;
    checkHistory();
    checkLeftovers(false);
    last_ = sample();
    if (first_.rssKb < 0) first_ = last_;
    const long minutes =
        std::chrono::duration_cast<std::chrono::seconds>(SteadyClock::now() - started_).count();
    std::cout << "[" << minutes / 60 << ":" << (minutes % 60 < 10 ? "0" : "") << minutes % 60
              << "] transfers " << transfers_ << ", runs " << runs_ << ", restarts " << restarts_
              << ", mismatches "
              << resultMismatches_ + historyMismatches_ + contentMismatches_ + leftovers_
              << ", VmRSS " << last_.rssKb << " kB, fds " << last_.fds << std::endl;
}

void Soak::sharedFolderRound() {
    if (SteadyClock::now() < nextShared_ || timeUp()) return;
    shared_->round();
    nextShared_ = SteadyClock::now() + kSharedRoundEvery;
}

int Soak::run() {
    started_ = SteadyClock::now();
    deadline_ = started_ + std::chrono::milliseconds(static_cast<long>(opts_.minutes * 60000));
    // The first look, whose figures are the baseline, comes after the first minute
    // (after a sixth of a short run).
    checkEvery_ = std::chrono::seconds(
        opts_.minutes >= 3 ? 60 : std::max(5L, static_cast<long>(opts_.minutes * 10)));
    nextCheck_ = started_ + checkEvery_;
    prepareFolders();
    startSimulator();
    std::cout << "bench_soak: " << opts_.minutes << " min, seed " << opts_.seed << ", "
              << kTerminals << " terminals, "
              << (opts_.download && opts_.upload ? "both directions in turn"
                  : opts_.download               ? "downloads"
                                                 : "uploads")
              << std::endl;
    shared_ = std::make_unique<vsk::bench::SharedFolderSoak>(
        random_, std::filesystem::read_symlink("/proc/self/exe").parent_path() / "veskactl");
    for (int round = 0; !timeUp(); ++round) {
        const bool down = opts_.download && (!opts_.upload || round % 2 == 0);
        serveRound(down ? kDownload : kUpload);
    }
    // The last look came at the deadline, with a session open as at the first.
    if (first_.rssKb < 0) first_ = last_ = sample();
    channel_.reset();
    sim_->stop();
    checkHistory();
    checkLeftovers(true);
    for (int k = 1; k <= kTerminals; ++k) checkTerminalFiles(k);
    if (!unseen_.empty())
        mismatch(&historyMismatches_,
                 std::to_string(unseen_.size()) + " transfers missing from the history file");
    return summary();
}

int Soak::summary() {
    std::cout << "\nfault                         transfers  unexpected\n";
    long downloads = 0;
    for (const auto& [key, s] : stats_) {
        char line[128];
        std::snprintf(line, sizeof line, "%-30s %9ld  %10ld\n", key.c_str(), s.transfers,
                      s.unexpected);
        std::cout << line;
        if (key[0] == 'W') downloads += s.transfers;
    }
    const long growth = last_.rssKb - first_.rssKb, fdGrowth = last_.fds - first_.fds;
    const bool memoryOk = growth <= kRssNoiseKb && fdGrowth <= kFdNoise;
    const long mismatches = resultMismatches_ + historyMismatches_ + contentMismatches_ +
                            leftovers_ + shared_->mismatches();
    std::cout << "\ntransfers " << transfers_ << " (download " << downloads << ", upload "
              << transfers_ - downloads << "), runs " << runs_ << " (" << runsEnded_
              << " ended by a result), simulator restarts " << restarts_
              << ", terminals not answering their poll " << missedPolls_ << "\n"
              << "mismatches: results " << resultMismatches_ << ", history " << historyMismatches_
              << ", contents " << contentMismatches_ << ", leftover files " << leftovers_ << "\n";
    shared_->report(std::cout);
    std::cout << "VmRSS " << first_.rssKb << " kB after the first minute, " << last_.rssKb
              << " kB at the end (growth " << growth << " kB, allowed " << kRssNoiseKb << ")\n"
              << "open descriptors " << first_.fds << " after the first minute, " << last_.fds
              << " at the end (allowed growth " << kFdNoise << ")\n"
              << (mismatches == 0 && memoryOk && transfers_ > 0 ? "PASS" : "FAIL") << std::endl;
    return mismatches == 0 && memoryOk && transfers_ > 0 ? 0 : 1;
}

bool parseArgs(int argc, char** argv, Options* o) {
    const bench::Options given(
        argc, argv,
        "Auto-mode runs against 128 simulated terminals on one line, each transfer under\n"
        "a random fault, with receivers into one shared folder killed now and then;\n"
        "checks every result, file and history line, and that memory does not grow.",
        {{"--minutes", "N", "how long to run (required, may be a fraction)"},
         {"--seed", "S", "seed of the random choices (default: a random one)"},
         {"--upload", nullptr, "upload jobs only"},
         {"--download", nullptr, "download jobs only"},
         {"--both", nullptr, "downloads and uploads in turn (the default)"}});
    o->minutes = given.real("--minutes", 0);
    o->seed = given.has("--seed") ? static_cast<uint32_t>(given.number("--seed", 0))
                                  : static_cast<uint32_t>(std::random_device{}());
    if (given.has("--upload")) {
        o->download = false;
        o->upload = true;
    }
    if (given.has("--download")) {
        o->download = true;
        o->upload = false;
    }
    if (given.has("--both")) o->download = o->upload = true;
    return o->minutes > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options opts;
    if (!parseArgs(argc, argv, &opts)) {
        std::cerr << "bench_soak: --minutes N with N above 0 is required (see --help)\n";
        return 2;
    }
    std::signal(SIGINT, onStop);
    std::signal(SIGTERM, onStop);
    Soak soak(opts);
    return soak.run();
}
