#include "transfer_commands.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pc_files.h"
#include "platform/paths.h"
#include "progress_display.h"
#include "report.h"
#include "session.h"
#include "terminal_text.h"
#include "veska.h"

namespace veskactl {
namespace {

constexpr int32_t kDone = VSK_OUTCOME_DONE;
constexpr int32_t kFailed = VSK_OUTCOME_FAILED;
constexpr int32_t kSameName = VSK_OUTCOME_SAME_NAME;

// Never opened: the upload loop insists on a result path even when told to
// write none. Files cannot be created under /proc (nor, on Windows, with '<'
// in the name), so a library that opened it anyway would fail loudly instead
// of touching a real file.
#ifdef _WIN32
constexpr char kNoResultFile[] = "<veskactl-no-result-file>";
#else
constexpr char kNoResultFile[] = "/proc/veskactl-no-result-file";
#endif

std::string onHt(const Invocation& invocation, const std::string& what) {
    return what + " on HT " + invocation.ht;
}

// Codes after which the line or the run is gone: later files are not tried.
bool endsTheRun(int32_t code) {
    return code == VSK_E_ABORT_PC || code == VSK_E_TIMEOUT || code == VSK_E_SYS_WRITE ||
           code == VSK_E_SYS_READ;
}

void reportTransferFailure(const std::string& operation, int32_t code) {
    reportFailure(operation, code);
    if (code == VSK_E_ABORT_PC)
        std::cerr << "veskactl: aborted; the terminal was told to stop\n";
    else if (code == VSK_E_ABORT_HT)
        std::cerr << "veskactl: the terminal cancelled the transfer\n";
    else if (code == VSK_E_TIMEOUT)
        std::cerr << "veskactl: the terminal stopped answering; the transfer is incomplete\n";
    else if (code == VSK_E_SYS_WRITE || code == VSK_E_SYS_READ)
        std::cerr << "veskactl: the serial line failed; the transfer is incomplete\n";
}

void reportNotAttempted(const std::vector<std::string>& rest) {
    if (rest.empty()) return;
    std::cerr << "veskactl: not attempted:";
    for (const std::string& name : rest) std::cerr << " " << name;
    std::cerr << "\n";
}

// Runs one transfer call with the progress line shown while it lasts.
template <typename Call>
int32_t runShowingProgress(Session& session, const KnownSizes& sizes, Call call,
                           const std::string& selection = {}) {
    return session.run([&](int32_t handle) {
        ProgressDisplay display(handle, sizes, selection);
        return call(handle);
    });
}

std::string bytes(int64_t size) {
    return std::to_string(size) + (size == 1 ? " byte" : " bytes");
}

// Every file is checked before the first is sent. Two files of the same name
// would end as one file on the terminal, so they are refused.
std::vector<PcFile> filesToSend(const std::vector<std::string>& typed, Sending sending) {
    std::vector<PcFile> files;
    std::set<std::string> names;
    for (const std::string& path : typed) {
        files.push_back(pcFileToSend(path, sending));
        if (!names.insert(files.back().terminalName).second)
            throw UsageError("two files would be " +
                             displayFromCp932(files.back().terminalName).utf8 +
                             " on the terminal; send them separately");
    }
    return files;
}

KnownSizes sizesOf(const std::vector<PcFile>& files) {
    KnownSizes sizes;
    for (const PcFile& file : files) {
        sizes[file.terminalName] = file.size;
        // A system install counts progress under the upper-cased name.
        std::string upper = file.terminalName;
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        sizes.emplace(upper, file.size);
    }
    return sizes;
}

// After a successful system install: the terminal can answer that it needs
// nothing, and then no byte was sent although the call succeeds.
bool nothingWasSent(const Session& session) {
    ProgressRecord record{};
    Vsk_GetProcess(session.handle(), &record);  // 1005 now, but the record is filled
    return record.Percent < 100;
}

std::unique_ptr<DownloadList> downloadListOf(const std::vector<PcFile>& files, bool stopOnError) {
    auto list = std::make_unique<DownloadList>();
    std::memset(list.get(), 0, sizeof *list);
    for (size_t i = 0; i < files.size(); ++i) {
        DownloadEntry& entry = list->Entries[i];
        // At most VSK_MAX_PATH, so the zero after it stays.
        std::memcpy(entry.Path, files[i].path.data(), files[i].path.size());
        entry.Size = files[i].size;
        entry.SkipMode = stopOnError ? VSK_STOP_AT_FAILED : VSK_SKIP_FAILED;
    }
    return list;
}

std::string downloadOutcomeText(int32_t outcome) {
    switch (outcome) {
        case kDone:
            return "sent";
        case kFailed:
            return "failed";
        default:
            return "not processed";
    }
}

int putOne(const Invocation& invocation, Session& session, const PcFile& file) {
    const char* ht = invocation.ht.c_str();
    int32_t code = runShowingProgress(session, sizesOf({file}), [&](int32_t handle) {
        return Vsk_FDownload(handle, ht, file.path.c_str(), file.size, 0);
    });
    if (code != VSK_OK) {
        reportTransferFailure(onHt(invocation, "put " + file.typed), code);
        return kExitFailed;
    }
    std::cout << "sent " << file.typed << " (" << bytes(file.size) << ")\n";
    return kExitOk;
}

int putSeveral(const Invocation& invocation, Session& session, const std::vector<PcFile>& files) {
    auto list = downloadListOf(files, invocation.transfer.stopOnError);
    const char* ht = invocation.ht.c_str();
    const auto count = static_cast<int32_t>(files.size());
    int32_t code = runShowingProgress(session, sizesOf(files), [&](int32_t handle) {
        return Vsk_AllDownload(handle, ht, count, list.get(), 0);
    });
    size_t sent = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        int32_t outcome = list->Entries[i].Outcome;
        std::cout << downloadOutcomeText(outcome) << " " << files[i].typed;
        if (outcome == kDone) std::cout << " (" << bytes(files[i].size) << ")";
        std::cout << "\n";
        if (outcome == kDone) ++sent;
    }
    std::cout << std::flush;
    if (code != VSK_OK) {
        reportTransferFailure(onHt(invocation, "put"), code);
        return kExitFailed;
    }
    if (sent != files.size()) {
        std::cerr << "veskactl: " << files.size() - sent << " of " << files.size()
                  << " files were not sent to HT " << invocation.ht << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

// Terminal names to receive, each of which must name one PC file in the
// folder (no separator; on Windows also none of its reserved names).
std::vector<std::string> namesToReceive(const std::vector<std::string>& typed) {
    std::vector<std::string> names;
    for (const std::string& name : typed) {
        names.push_back(terminalNameFromUtf8(name));
        if (!vsk::platform::isPlainFileName(name))
            throw UsageError("'" + name + "' cannot be the name of a PC file");
    }
    return names;
}

const DirEntry* findInListing(const DirRecord& dir, const std::string& name) {
    const int32_t listed = std::clamp<int32_t>(dir.FileCount, 0, VSK_MAX_FILES);
    for (int32_t i = 0; i < listed; ++i)
        if (fieldText(dir.Entries[i].Name, sizeof dir.Entries[i].Name) == name)
            return &dir.Entries[i];
    return nullptr;
}

void reportNotListed(const Invocation& invocation, const std::string& typed, const DirRecord& dir) {
    std::cerr << "veskactl: " << onHt(invocation, "get " + typed)
              << " failed: the terminal does not list such a file";
    if (dir.FileCount > VSK_MAX_FILES)
        std::cerr << " (only the first " << VSK_MAX_FILES << " of its " << dir.FileCount
                  << " files can be listed)";
    std::cerr << "\n";
}

std::string uploadOutcomeText(int32_t outcome) {
    switch (outcome) {
        case kDone:
            return "received";
        case kFailed:
            return "failed";
        case kSameName:
            return "same name, not received";
        default:
            return "not processed";
    }
}

std::string resultFilePath(const Invocation& invocation) {
    const TransferOptions& transfer = invocation.transfer;
    if (transfer.resultMode == VSK_RESULT_NONE) return kNoResultFile;
    return libraryPath(*transfer.resultPath, "the result file");
}

ResultFileRecord resultRecord(const std::string& path, int32_t mode) {
    ResultFileRecord record{};
    std::memcpy(record.Path, path.data(), std::min(path.size(), sizeof record.Path - 1));
    record.ResultMode = mode;
    return record;
}

int reportLoopEnd(const Invocation& invocation, int32_t code) {
    if (code != VSK_OK) {
        reportTransferFailure(invocation.command, code);
        return kExitFailed;
    }
    std::cout << "no transfer for " << invocation.transfer.limitS << " seconds; polling ended\n";
    if (invocation.transfer.resultMode != VSK_RESULT_NONE)
        std::cout << "results in " << *invocation.transfer.resultPath << "\n";
    return kExitOk;
}

}  // namespace

int runPut(const Invocation& invocation) {
    const std::vector<PcFile> files =
        filesToSend(invocation.operands,
                    invocation.operands.size() == 1 ? Sending::kSingle : Sending::kInBatch);
    auto session = openSession(invocation.line);
    if (!session) return kExitFailed;
    if (files.size() == 1) return putOne(invocation, *session, files.front());
    return putSeveral(invocation, *session, files);
}

int runGet(const Invocation& invocation) {
    const std::vector<std::string> names = namesToReceive(invocation.operands);
    const std::string folder = pcFolder(*invocation.transfer.toDir, "--to");
    auto session = openSession(invocation.line);
    if (!session) return kExitFailed;
    const char* ht = invocation.ht.c_str();

    // The listing gives each file's size, which the library needs for its
    // free-space and completeness tests.
    auto dir = std::make_unique<DirRecord>();
    int32_t code = session->run([&](int32_t handle) { return Vsk_DIR(handle, ht, dir.get()); });
    if (code != VSK_OK) {
        reportFailure(onHt(invocation, "get: listing"), code);
        return kExitFailed;
    }

    int exitCode = kExitOk;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& typed = invocation.operands[i];
        const DirEntry* entry = findInListing(*dir, names[i]);
        if (entry == nullptr) {
            reportNotListed(invocation, typed, *dir);
            exitCode = kExitFailed;
            continue;
        }
        const int32_t size = entry->Size;
        code = runShowingProgress(*session, {{names[i], size}}, [&](int32_t handle) {
            return Vsk_FUpload(handle, ht, invocation.transfer.saveMode, folder.c_str(),
                               names[i].c_str(), size, 0);
        });
        if (code == VSK_OK) {
            std::cout << "received " << typed << " (" << bytes(size) << ")\n" << std::flush;
            continue;
        }
        reportTransferFailure(onHt(invocation, "get " + typed), code);
        exitCode = kExitFailed;
        if (endsTheRun(code)) {
            const auto next = invocation.operands.begin() + static_cast<std::ptrdiff_t>(i) + 1;
            reportNotAttempted({next, invocation.operands.end()});
            break;
        }
    }
    return exitCode;
}

int runGetAll(const Invocation& invocation) {
    const std::string folder = pcFolder(*invocation.transfer.toDir, "--to");
    auto session = openSession(invocation.line);
    if (!session) return kExitFailed;
    const char* ht = invocation.ht.c_str();

    // Count goes in as the number of entries the library clears (they are
    // clear already) and comes back as the number the terminal announced. It
    // starts at 0, so a call that failed before the terminal's count names
    // no file rather than 128 that were never offered.
    auto list = std::make_unique<UploadList>();
    std::memset(list.get(), 0, sizeof *list);
    list->Count = 0;
    list->SaveMode = invocation.transfer.saveMode;
    int32_t code = runShowingProgress(*session, {}, [&](int32_t handle) {
        return Vsk_AllUpload(handle, ht, folder.c_str(), list.get(), 0);
    });

    const int32_t announced = std::clamp<int32_t>(list->Count, 0, VSK_MAX_FILES);
    bool allReceived = true;
    int32_t neverOffered = 0;
    for (int32_t i = 0; i < announced; ++i) {
        const UploadEntry& entry = list->Entries[i];
        const std::string_view name = fieldText(entry.Name, sizeof entry.Name);
        // Announced, but the run ended before the terminal offered it.
        if (name.empty()) {
            ++neverOffered;
            continue;
        }
        std::cout << uploadOutcomeText(entry.Outcome) << " " << displayFromCp932(name).utf8;
        if (entry.Outcome == kDone) std::cout << " (" << bytes(entry.Size) << ")";
        std::cout << "\n";
        // A file kept because the PC has one of that name is what --mode new asks for.
        if (entry.Outcome != kDone && entry.Outcome != kSameName) allReceived = false;
    }
    if (code == VSK_OK && announced == 0)
        std::cout << "HT " << invocation.ht << " offered no files\n";
    std::cout << std::flush;
    if (neverOffered > 0) {
        std::cerr << "veskactl: HT " << invocation.ht << " announced " << announced
                  << (announced == 1 ? " file" : " files") << "; " << neverOffered
                  << " of them never came\n";
        allReceived = false;
    }
    if (list->Count > VSK_MAX_FILES)
        std::cerr << "veskactl: HT " << invocation.ht << " announced " << list->Count
                  << " files; at most " << VSK_MAX_FILES << " are received in one run\n";
    if (code != VSK_OK) {
        reportTransferFailure(onHt(invocation, "get-all"), code);
        return kExitFailed;
    }
    return allReceived ? kExitOk : kExitFailed;
}

int runInstall(const Invocation& invocation) {
    const PcFile file = pcFileToSend(invocation.operands[0]);
    auto session = openSession(invocation.line);
    if (!session) return kExitFailed;
    const char* ht = invocation.ht.c_str();
    int32_t code = runShowingProgress(*session, sizesOf({file}), [&](int32_t handle) {
        return Vsk_APInstall(handle, ht, file.path.c_str(), file.size,
                             invocation.transfer.installMode, 0);
    });
    if (code != VSK_OK) {
        reportTransferFailure(onHt(invocation, "install " + file.typed), code);
        return kExitFailed;
    }
    std::cout << "installed " << file.typed << " (" << bytes(file.size) << ")\n";
    return kExitOk;
}

int runOsInstall(const Invocation& invocation) {
    const std::vector<PcFile> files =
        filesToSend(invocation.operands,
                    invocation.operands.size() == 1 ? Sending::kSingle : Sending::kInBatch);
    auto session = openSession(invocation.line);
    if (!session) return kExitFailed;
    const char* ht = invocation.ht.c_str();
    int32_t code = runShowingProgress(*session, sizesOf(files), [&](int32_t handle) {
        if (files.size() == 1)
            return Vsk_OSInstall(handle, ht, files[0].path.c_str(), files[0].size, 0);
        return Vsk_OSInstall2(handle, ht, files[0].path.c_str(), files[0].size,
                              files[1].path.c_str(), files[1].size, 0);
    });
    if (code != VSK_OK) {
        reportTransferFailure(onHt(invocation, "os-install"), code);
        return kExitFailed;
    }
    if (files.size() == 1 && files[0].size > 0 && nothingWasSent(*session)) {
        std::cout << "HT " << invocation.ht << " needs no system program; " << files[0].typed
                  << " was not sent\n";
        return kExitOk;
    }
    for (const PcFile& file : files)
        std::cout << "installed " << file.typed << " (" << bytes(file.size) << ")\n";
    return kExitOk;
}

int runServeDownload(const Invocation& invocation) {
    const std::vector<PcFile> files = filesToSend(invocation.operands, Sending::kInBatch);
    const std::string resultPath = resultFilePath(invocation);
    auto session = openSession(invocation.line);
    if (!session) return kExitFailed;

    auto list = downloadListOf(files, invocation.transfer.stopOnError);
    const ResultFileRecord result = resultRecord(resultPath, invocation.transfer.resultMode);
    const auto count = static_cast<int32_t>(files.size());
    int32_t code = runShowingProgress(
        *session, sizesOf(files),
        [&](int32_t handle) {
            return Vsk_PollingAllDownload(handle, invocation.selection.c_str(),
                                          invocation.line.pollingMs, invocation.transfer.limitS,
                                          count, list.get(), &result, 0);
        },
        invocation.selection);
    return reportLoopEnd(invocation, code);
}

int runServeUpload(const Invocation& invocation) {
    const std::string folder = pcFolder(*invocation.transfer.toDir, "--to");
    const std::string resultPath = resultFilePath(invocation);
    auto session = openSession(invocation.line);
    if (!session) return kExitFailed;

    const ResultFileRecord result = resultRecord(resultPath, invocation.transfer.resultMode);
    int32_t code = runShowingProgress(
        *session, {},
        [&](int32_t handle) {
            return Vsk_PollingAllUPload(handle, invocation.selection.c_str(), folder.c_str(),
                                        invocation.transfer.saveMode, invocation.line.pollingMs,
                                        invocation.transfer.limitS, &result, 0);
        },
        invocation.selection);
    return reportLoopEnd(invocation, code);
}

}  // namespace veskactl
