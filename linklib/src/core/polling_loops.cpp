// The unattended polling loops: poll the selected terminals in turn, serve
// each one that answers with a batch transfer and write its result lines.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "arguments.h"
#include "batch.h"
#include "ops.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/syserror.h"
#include "platform/text.h"
#include "result_codes.h"
#include "result_line.h"
#include "session.h"
#include "transfer.h"

namespace vsk::ops {
namespace {

// The result file: lines of seven comma-separated fields ending in CR LF.
// Read-only while the loop runs. Each terminal's lines go out in one write.
class ResultFile {
  public:
    ~ResultFile() { close(); }

    // 0 or 3009.
    int32_t open(const std::string& path, int32_t mode) {
        path_ = path;
        platform::setReadOnly(path, false);
        if (!file_.openLog(path, mode == VSK_RESULT_APPEND)) return VSK_E_HISTORY_FILE;
        if (!platform::setReadOnly(path, true)) {
            close();
            return VSK_E_HISTORY_FILE;
        }
        return 0;
    }
    bool isOpen() const { return file_.isOpen(); }

    void line(char kind, const std::tm& when, const char* ht, const std::string& field5,
              int32_t number, const char* field7) {
        if (!isOpen()) return;
        const result_line::When at{when.tm_year + 1900, when.tm_mon + 1, when.tm_mday,
                                   when.tm_hour,        when.tm_min,     when.tm_sec};
        pending_ += result_line::format(kind, at, ht, field5, result_line::number(number), field7);
        pending_ += result_line::kLineEnd;
    }
    void flush() {
        if (!isOpen() || pending_.empty()) return;
        file_.write(reinterpret_cast<const uint8_t*>(pending_.data()), pending_.size());
        pending_.clear();
    }

    void close() {
        if (!isOpen()) return;
        flush();
        file_.close();
        platform::setReadOnly(path_, false);
    }

  private:
    std::string path_;
    platform::File file_;
    std::string pending_;
};

// A terminal name as a result line shows it: UTF-8, blank-filled to the 12
// columns it takes on the line.
std::string nameColumn(const std::string& cp932) {
    std::string name = cp932;
    while (!name.empty() && name.back() == ' ') name.pop_back();
    std::string utf8;
    if (!platform::cp932ToPc(name, &utf8)) utf8 = name;
    return result_line::nameColumn(utf8, name.size());
}

std::string downloadName(const DownloadEntry& e) {
    PathField path(e.Path, sizeof e.Path, sizeof e.Path);
    std::string name;
    if (!xfer::terminalNameFor(path.text, true, &name)) name.clear();
    return nameColumn(name);
}

struct LoopArgs {
    int32_t handle = 0;
    char mask[129] = {};
    uint32_t pollingMs = 0;
    int32_t limitS = 0;
    bool download = true;
    int32_t show = 0;
    // Download loop.
    int32_t count = 0;
    DownloadList* list = nullptr;
    // Upload loop.
    std::string folder;
    UploadList* uploads = nullptr;
};

// Serves one terminal that answered and writes its lines.
// Waits `ms` while keeping the caller's events dispatched.
void idle(uint32_t ms) {
    uint32_t start = platform::tickMs();
    for (;;) {
        uint32_t spent = platform::elapsedMs(start);
        if (spent >= ms || abortReason() != 0) return;
        const uint32_t left = ms - spent;
        // A host with events sleeps until one is due (or an abort wakes it).
        if (host::waitForInput(-1, left)) continue;
        platform::sleepMs(std::min(left, host::kPlainWaitSliceMs));
    }
}

int32_t serveTerminal(LoopArgs& a, ResultFile& file) {
    const char* ht = state().currentHt;
    std::string htText(ht, 3);
    const std::tm start = platform::localNow();
    int32_t result;
    if (a.download) {
        result = batch::download(a.handle, htText.c_str(), frame::cmd::kBatchDownload, a.count,
                                 a.list, a.show, true, host::WindowType::kPollingDownload);
    } else {
        result = batch::upload(a.handle, htText.c_str(), a.folder, a.uploads, a.show, true,
                               host::WindowType::kPollingUpload);
    }
    if (!file.isOpen()) return result;
    const char* word = a.download ? result_line::kDownloadWord : result_line::kUploadWord;
    file.line(result_line::kHead, start, htText.c_str(), word, 0, result_line::kStartText);
    if (a.download) {
        for (int j = 0; j < a.count; ++j) {
            const DownloadEntry& e = a.list->Entries[j];
            file.line(result_line::kFile, start, htText.c_str(), downloadName(e), e.Outcome,
                      result_line::outcomeWord(e.Outcome, false));
        }
    } else {
        int32_t n = std::min(std::max(a.uploads->Count, 0), VSK_MAX_FILES);
        for (int k = 0; k < n; ++k) {
            const UploadEntry& e = a.uploads->Entries[k];
            file.line(result_line::kFile, start, htText.c_str(),
                      nameColumn(std::string(e.Name, frame::kNameWidth)), e.Outcome,
                      result_line::outcomeWord(e.Outcome, true));
        }
    }
    const std::tm end = platform::localNow();
    file.line(result_line::kEnd, end, htText.c_str(), word, result,
              result == 0 ? result_line::kSuccessText : resultText(result));
    file.flush();
    return result;
}

int32_t pollingLoop(LoopArgs& a, ResultFile& file) {
    State& g = state();
    clearAbort();
    const uint32_t savedTimeout = g.timeoutMs;
    g.timeoutMs = a.pollingMs;
    const auto type =
        a.download ? host::WindowType::kPollingDownload : host::WindowType::kPollingUpload;
    xfer::Window window(a.show, type);
    window.open("");

    const bool anySelected = std::strchr(a.mask, '1') != nullptr;
    uint32_t start = platform::tickMs();
    int index = 0;
    int32_t result = 0;
    for (;;) {
        if (abortReason() == VSK_E_ABORT_PC) {
            result = VSK_E_ABORT_PC;
            break;
        }
        clearAbort();
        host::dispatchEvents();
        if (a.limitS != 0 && platform::elapsedMs(start) / 1000 > static_cast<uint32_t>(a.limitS)) {
            result = 0;
            break;
        }
        index = index % VSK_MAX_HT + 1;
        char ht[12];
        std::snprintf(ht, sizeof ht, "%03d", index);
        setCurrentHt(ht);
        xfer::startFile("", ht, 0);
        if (a.mask[index - 1] != '1') {
            // Nothing to poll at all: wait instead of spinning through the numbers.
            if (!anySelected && index == VSK_MAX_HT) idle(a.pollingMs);
            continue;
        }
        window.show("", 0);
        buildCommand(frame::cmd::kPolling);
        host::dispatchEvents();
        cancelCheck();  // a failing line shows in the exchange that follows
        if (abortReason() == VSK_E_ABORT_PC) {
            writeAbortFrame();
            result = VSK_E_ABORT_PC;
            break;
        }
        int32_t r = exchange(1);
        // No answer means no terminal there; a port that fails is no reason
        // to go on polling (it would fail at once, again and again).
        if (r == VSK_E_ABORT_PC || r == VSK_E_SYS_READ || r == VSK_E_SYS_WRITE) {
            result = r;
            break;
        }
        if (r != 0 || classifyReply() != frame::kind::kAck) continue;

        g.timeoutMs = savedTimeout;
        r = serveTerminal(a, file);
        if (r == VSK_E_HT_MODE || r == VSK_E_ABORT_PC) {
            result = r;
            break;
        }
        start = platform::tickMs();
        g.timeoutMs = a.pollingMs;
    }
    clearAbort();
    file.close();
    g.timeoutMs = savedTimeout;
    return result;
}

// Checks shared by both loops; 0 when they pass.
int32_t checkLoop(int32_t pollingMs, int32_t limitS, const ResultFileRecord* result) {
    if (pollingMs < VSK_MIN_POLLING_MS || pollingMs > VSK_MAX_LOOP_POLLING_MS ||
        result == nullptr || result->ResultMode < VSK_RESULT_CREATE ||
        result->ResultMode > VSK_RESULT_NONE ||
        (limitS != 0 && (limitS < VSK_MIN_LIMIT_S || limitS > VSK_MAX_LIMIT_S))) {
        return VSK_E_PARAM;
    }
    return 0;
}

int32_t openResultFile(const ResultFileRecord& record, ResultFile* file) {
    if (record.ResultMode == VSK_RESULT_NONE) return 0;
    PathField path(record.Path, sizeof record.Path, sizeof record.Path);
    return file->open(path.text, record.ResultMode);
}

}  // namespace

int32_t pollingAllDownload(int32_t handle, const char* mask, int32_t pollingMs, int32_t limitS,
                           int32_t count, const DownloadList* list, const ResultFileRecord* result,
                           int32_t show) {
    if (!handleValid(handle)) return VSK_E_HANDLE;
    purgeInput();
    if (int32_t r = checkLoop(pollingMs, limitS, result)) return r;
    if (mask == nullptr || list == nullptr || count <= 0 || count > VSK_MAX_FILES) {
        return VSK_E_PARAM;
    }
    for (int j = 0; j < count; ++j) {
        int32_t mode = list->Entries[j].SkipMode;
        if (mode != 0 && mode != 1) return VSK_E_PARAM;
    }
    DownloadList copy = *list;  // the caller's list is not written
    LoopArgs a;
    a.handle = handle;
    a.pollingMs = static_cast<uint32_t>(pollingMs);
    a.limitS = limitS;
    a.download = true;
    a.show = show;
    field::blankFill(a.mask, sizeof a.mask, mask);
    a.count = count;
    a.list = &copy;
    ResultFile file;
    if (int32_t r = openResultFile(*result, &file)) return r;
    xfer::InTransfer counting;
    return pollingLoop(a, file);
}

int32_t pollingAllUpload(int32_t handle, const char* mask, const char* folderArg, int32_t saveMode,
                         int32_t pollingMs, int32_t limitS, const ResultFileRecord* result,
                         int32_t show) {
    if (!handleValid(handle)) return VSK_E_HANDLE;
    purgeInput();
    if (int32_t r = checkLoop(pollingMs, limitS, result)) return r;
    PathField folder(folderArg);
    if (mask == nullptr || folderArg == nullptr || !folder.valid()) return VSK_E_PARAM;
    if (!platform::folderExists(folder.text)) return VSK_E_PC_FOLDER_MISSING;
    PathField resultPath(result->Path, sizeof result->Path, sizeof result->Path);
    if (resultPath.text.empty()) return VSK_E_PARAM;
    UploadList uploads{};
    uploads.Count = VSK_MAX_FILES;
    uploads.SaveMode = saveMode;  // an invalid mode fails each terminal's batch, not the loop
    LoopArgs a;
    a.handle = handle;
    a.pollingMs = static_cast<uint32_t>(pollingMs);
    a.limitS = limitS;
    a.download = false;
    a.show = show;
    field::blankFill(a.mask, sizeof a.mask, mask);
    a.folder = folder.text;
    a.uploads = &uploads;
    ResultFile file;
    if (int32_t r = openResultFile(*result, &file)) return r;
    xfer::InTransfer counting;
    return pollingLoop(a, file);
}

}  // namespace vsk::ops
