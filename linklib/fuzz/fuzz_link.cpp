// Whole library operations against a terminal whose every byte comes from
// the fuzzer (see fake_line.h): the exchange engine's reader, classification,
// retries and time-outs run as on a real line, and so do the listing, file
// information, status and upload-header parsers and the upload's files.
//
// Input: OP, OPTIONS, then the line script. OPTIONS: bits 0-1 the retry
// count (1 to 3), bits 2-3 the save mode of uploads, bits 4-6 the file size
// of transfers (kSizes), bit 7 older files in the upload folder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "codec.h"
#include "fake_line.h"
#include "fuzz_assert.h"
#include "result_codes.h"
#include "transfer.h"
#include "veska.h"

namespace {

namespace fs = std::filesystem;
using namespace vsk;

constexpr const char* kHt = "001";
constexpr int32_t kSizes[] = {0, 1, 5, 511, 512, 513, 1024, 1500};
constexpr int32_t kMaxSize = VSK_MAX_FILE_SIZE;

struct Run {
    int32_t handle = 0;
    int32_t saveMode = 0;
    int32_t size = 0;
    std::string in;         // the upload folder
    std::string pc;         // the PC files to send
    bool oldFiles = false;  // the upload folder holds A.DAT and UP.DAT already
};

const std::string kOldContents = "old";

// Where the runs' files go: $TMPDIR, else memory where there is a file system
// there (uploads flush every file to disk, which a disk makes slow).
fs::path scratchBase() {
    if (std::getenv("TMPDIR") == nullptr && fs::is_directory("/dev/shm")) return "/dev/shm";
    return fs::temp_directory_path();
}

void removeSandbox();

const fs::path& sandbox() {
    // Never destroyed: it is still needed when the program exits.
    static const fs::path* dir = [] {
        std::string templ = (scratchBase() / "veska-fuzz-link-XXXXXX").string();
        FUZZ_ASSERT(mkdtemp(templ.data()) != nullptr);
        std::atexit(removeSandbox);
        return new fs::path(templ);
    }();
    return *dir;
}

void removeSandbox() {
    std::error_code ignored;
    fs::remove_all(sandbox(), ignored);
}

void freshSandbox(Run* run) {
    for (const auto& e : fs::directory_iterator(sandbox())) fs::remove_all(e.path());
    run->in = (sandbox() / "in").string();
    run->pc = (sandbox() / "pc").string();
    fs::create_directory(run->in);
    fs::create_directory(run->pc);
}

std::string pcFile(const Run& run, const char* name, int32_t size) {
    std::string path = run.pc + "/" + name;
    std::ofstream(path, std::ios::binary) << std::string(static_cast<size_t>(size), 'x');
    return path;
}

std::map<std::string, uintmax_t> filesIn(const std::string& folder) {
    std::map<std::string, uintmax_t> files;
    for (const auto& e : fs::directory_iterator(folder)) {
        FUZZ_ASSERT(e.is_regular_file());
        files[e.path().filename().string()] = e.file_size();
    }
    return files;
}

// Nothing is written anywhere in the sandbox but in the upload folder and the
// result file.
void checkSandbox() {
    for (const auto& e : fs::directory_iterator(sandbox())) {
        const std::string name = e.path().filename().string();
        FUZZ_ASSERT(name == "in" || name == "pc" || name == "result.txt");
    }
}

// Every frame the PC sends is one whole, well-formed frame for the terminal
// addressed.
void checkPcWrites() {
    for (const auto& w : fuzz::pcWrites()) {
        frame::FrameReader reader;
        FUZZ_ASSERT(!w.empty() && w[0] == frame::STX);
        for (size_t i = 0; i + 1 < w.size(); ++i) {
            FUZZ_ASSERT(reader.push(w[i]) == frame::FrameReader::Status::kNeedMore);
        }
        FUZZ_ASSERT(reader.push(w.back()) == frame::FrameReader::Status::kComplete);
        FUZZ_ASSERT(frame::frameSize(w.data()) == w.size());
        FUZZ_ASSERT(frame::sameHt(w.data(), kHt));
    }
}

bool knownResult(int32_t r) {
    return r == 0 || std::strcmp(resultText(r), resultText(-1)) != 0;
}

bool blankEnded(const char* field, size_t width) {
    return field[width - 1] == ' ';
}

// --- The operations and what their results must satisfy. Each returns its
// result code.

int32_t dirListing(const Run& run) {
    DirRecord dir;
    std::memset(&dir, 0x55, sizeof dir);
    int32_t r = Vsk_DIR(run.handle, kHt, &dir);
    for (const DirEntry& e : dir.Entries) {
        FUZZ_ASSERT(blankEnded(e.Name, sizeof e.Name));
        FUZZ_ASSERT(e.Size >= 0 && e.Size <= kMaxSize);
    }
    if (r == 0) {
        FUZZ_ASSERT(dir.FileCount >= 0 && dir.FileCount <= 999);
        FUZZ_ASSERT(dir.FreeSize >= 0 && dir.FreeSize <= kMaxSize);
    }
    return r;
}

int32_t fileInfo(const Run& run) {
    FileInfoRecord info{};
    std::memcpy(info.Name, "A.DAT", 5);
    int32_t r = Vsk_GetFileInfo(run.handle, kHt, &info);
    if (r == 0) {
        FUZZ_ASSERT(info.Size >= 0 && info.Size <= kMaxSize);
        FUZZ_ASSERT(blankEnded(info.Info1, sizeof info.Info1));
        FUZZ_ASSERT(blankEnded(info.Info2, sizeof info.Info2));
    }
    return r;
}

int32_t status(const Run& run) {
    StatusRecord st{};
    int32_t r = Vsk_GetStatus(run.handle, kHt, &st);
    if (r == 0) {
        FUZZ_ASSERT(st.StatusValue >= 0 && st.StatusValue <= kMaxSize);
        FUZZ_ASSERT(blankEnded(st.StatusText1, sizeof st.StatusText1));
        FUZZ_ASSERT(blankEnded(st.StatusText2, sizeof st.StatusText2));
    }
    return r;
}

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The size a received file may have: what was announced, or nothing when the
// terminal said at once the file is empty; after an older file when appending.
bool receivedSize(uintmax_t size, int32_t announced, uintmax_t base) {
    return size == base + static_cast<uintmax_t>(announced) || size == base;
}

// A received file is in place only after a successful upload and holds what
// was announced; a failed upload leaves the folder as it was; nothing else
// (a temporary file) is left in the folder.
int32_t upload(const Run& run) {
    int32_t r = Vsk_FUpload(run.handle, kHt, run.saveMode, run.in.c_str(), "UP.DAT", run.size, 0);
    auto files = filesIn(run.in);
    FUZZ_ASSERT(files.size() == (run.oldFiles ? 2u : files.count("UP.DAT")));
    const std::string target = run.in + "/UP.DAT";
    if (run.oldFiles) FUZZ_ASSERT(contentsOf(run.in + "/A.DAT") == kOldContents);
    if (r == 0) {
        FUZZ_ASSERT(files.count("UP.DAT") == 1);
        FUZZ_ASSERT(!(run.oldFiles && run.saveMode == 2));
        const bool appended = run.oldFiles && run.saveMode == 1;
        FUZZ_ASSERT(receivedSize(files["UP.DAT"], run.size, appended ? kOldContents.size() : 0));
        if (appended) FUZZ_ASSERT(contentsOf(target).starts_with(kOldContents));
    } else if (run.oldFiles) {
        FUZZ_ASSERT(contentsOf(target) == kOldContents);
    } else {
        FUZZ_ASSERT(files.empty());
    }
    return r;
}

std::string trimmedName(const UploadEntry& e) {
    std::string name(e.Name, sizeof e.Name);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
    return name;
}

// Every file left in the folder is an older one, untouched, or one the list
// reports received, under the name the terminal gave it, holding what its
// header announced; no temporary file stays behind.
int32_t batchUpload(const Run& run) {
    UploadList list;
    std::memset(&list, 0x55, sizeof list);
    list.Count = VSK_MAX_FILES;
    list.SaveMode = run.saveMode;
    int32_t r = Vsk_AllUpload(run.handle, kHt, run.in.c_str(), &list, 0);
    FUZZ_ASSERT(list.Count >= 0);
    std::map<std::string, int> received;  // PC name: how many entries
    std::map<std::string, int32_t> announced;
    for (const UploadEntry& e : list.Entries) {
        FUZZ_ASSERT(e.Outcome >= 0 && e.Outcome <= 3);
        FUZZ_ASSERT(e.Size >= 0);
        std::string pcName;
        if (e.Outcome == 1 && xfer::pcNameFor(trimmedName(e), &pcName)) {
            ++received[pcName];
            announced[pcName] = e.Size;
        }
    }
    for (const auto& [name, size] : filesIn(run.in)) {
        const bool old = run.oldFiles && (name == "A.DAT" || name == "UP.DAT");
        if (received.count(name) == 0) {
            FUZZ_ASSERT(old && contentsOf(run.in + "/" + name) == kOldContents);
            continue;
        }
        FUZZ_ASSERT(!(old && run.saveMode == 2));
        const uintmax_t base = old && run.saveMode == 1 ? kOldContents.size() : 0;
        if (received[name] == 1) FUZZ_ASSERT(receivedSize(size, announced[name], base));
    }
    return r;
}

int32_t download(const Run& run) {
    std::string path = pcFile(run, "A.DAT", run.size);
    return Vsk_FDownload(run.handle, kHt, path.c_str(), run.size, 0);
}

int32_t batchDownload(const Run& run) {
    DownloadList list{};
    std::string a = pcFile(run, "A.DAT", run.size), b = pcFile(run, "B.DAT", 3);
    std::memcpy(list.Entries[0].Path, a.data(), a.size());
    list.Entries[0].Size = run.size;
    std::memcpy(list.Entries[1].Path, b.data(), b.size());
    list.Entries[1].Size = 3;
    list.Entries[1].SkipMode = run.saveMode & 1;
    int32_t r = Vsk_AllDownload(run.handle, kHt, 2, &list, 0);
    for (int k = 0; k < 2; ++k) {
        FUZZ_ASSERT(list.Entries[k].Outcome >= 0 && list.Entries[k].Outcome <= 2);
    }
    return r;
}

int32_t appInstall(const Run& run) {
    std::string path = pcFile(run, "A.APL", run.size);
    return Vsk_APInstall(run.handle, kHt, path.c_str(), run.size, run.saveMode & 1, 0);
}

int32_t systemInstallTwoFiles(const Run& run) {
    std::string os = pcFile(run, "OS.HEX", run.size), ex = pcFile(run, "EX.HEX", 3);
    return Vsk_OSInstall2(run.handle, kHt, os.c_str(), run.size, ex.c_str(), 3, 0);
}

int32_t systemInstall(const Run& run) {
    std::string path = pcFile(run, "SYSTEM.HEX", run.size);
    return Vsk_OSInstall(run.handle, kHt, path.c_str(), run.size, 0);
}

// Four commands in a row, each answered on its own.
int32_t commands(const Run& run) {
    int32_t r[] = {Vsk_FDelete(run.handle, kHt, "OLD.DAT"),
                   Vsk_FRename(run.handle, kHt, "A.DAT", "B.DAT"), Vsk_APEnd(run.handle, kHt),
                   Vsk_PcRemoteEnd(run.handle, kHt)};
    for (int32_t code : r) {
        FUZZ_ASSERT(knownResult(code));
        if (code != 0) return code;
    }
    return 0;
}

int32_t polling(const Run& run) {
    return Vsk_Polling(run.handle, kHt, 100);
}

// The unattended loops over terminal 001 alone, until 10 s pass without a
// transfer (virtual time: the script runs out, the polls go unanswered).
constexpr const char* kMaskOf001 = "1";
constexpr int32_t kLoopLimitS = 10;
constexpr int32_t kLoopPollingMs = 500;  // the longest: the fewest polls to reach the limit

ResultFileRecord resultFile(const Run& run) {
    ResultFileRecord rec{};
    std::string path = (sandbox() / "result.txt").string();
    std::memcpy(rec.Path, path.data(), path.size());
    rec.ResultMode = run.saveMode == 2 ? 1 : 0;
    return rec;
}

int32_t pollingDownloadLoop(const Run& run) {
    DownloadList list{};
    std::string a = pcFile(run, "A.DAT", run.size);
    std::memcpy(list.Entries[0].Path, a.data(), a.size());
    list.Entries[0].Size = run.size;
    ResultFileRecord rec = resultFile(run);
    return Vsk_PollingAllDownload(run.handle, kMaskOf001, kLoopPollingMs, kLoopLimitS, 1, &list,
                                  &rec, 0);
}

int32_t pollingUploadLoop(const Run& run) {
    ResultFileRecord rec = resultFile(run);
    return Vsk_PollingAllUPload(run.handle, kMaskOf001, run.in.c_str(), run.saveMode,
                                kLoopPollingMs, kLoopLimitS, &rec, 0);
}

using Op = int32_t (*)(const Run&);
// New operations go at the end: the seeds name operations by their index.
constexpr Op kOps[] = {dirListing,
                       fileInfo,
                       status,
                       upload,
                       batchUpload,
                       download,
                       batchDownload,
                       systemInstall,
                       commands,
                       polling,
                       pollingDownloadLoop,
                       pollingUploadLoop,
                       appInstall,
                       systemInstallTwoFiles};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const Op op = kOps[data[0] % std::size(kOps)];
    const uint8_t options = data[1];
    Run run;
    freshSandbox(&run);
    run.saveMode = (options >> 2 & 3) % 3;
    run.size = kSizes[options >> 4 & 7];
    run.oldFiles = options & 0x80;
    if (run.oldFiles) {
        for (const char* name : {"/A.DAT", "/UP.DAT"}) {
            std::ofstream(run.in + name, std::ios::binary) << kOldContents;
        }
    }

    fuzz::resetClock();
    fuzz::startLine(data + 2, size - 2);
    LineSettings ls{9600, 0, 1, 0, 0, 500, 1 + (options & 3) % 3};
    FUZZ_ASSERT(Vsk_ComOpen(&run.handle, 1, 0, &ls) == 0);
    const int32_t result = op(run);
    FUZZ_ASSERT(knownResult(result));
    FUZZ_ASSERT(Vsk_ComClose(run.handle) == 0);
    checkPcWrites();
    checkSandbox();
    if (std::getenv("VESKA_FUZZ_TRACE")) {
        // For checking a seed by hand: does it reach the end it was made for?
        std::fprintf(stderr, "operation %u: result %d, %zu frames written, %zu script bytes left\n",
                     data[0] % static_cast<unsigned>(std::size(kOps)), result,
                     fuzz::pcWrites().size(), fuzz::scriptLeft());
    }
    return 0;
}
