#include "commands.h"

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "formatting.h"
#ifdef VESKA_JOB_COMMANDS
#include "job_commands.h"
#endif
#include "report.h"
#include "session.h"
#include "terminal_text.h"
#include "transfer_commands.h"
#include "veska.h"

namespace veskactl {
namespace {

std::string onHt(const Invocation& invocation, const std::string& what) {
    return what + " on HT " + invocation.ht;
}

int failed(const Invocation& invocation, const std::string& what, int32_t code) {
    reportFailure(onHt(invocation, what), code);
    return kExitFailed;
}

std::vector<std::string> terminalNames(const std::vector<std::string>& typed) {
    std::vector<std::string> names;
    names.reserve(typed.size());
    for (const std::string& name : typed) names.push_back(terminalNameFromUtf8(name));
    return names;
}

// The commands that send one command frame and report only success. The
// library's calling convention (VSK_CALL) is part of the function's type.
int runControl(const Invocation& invocation, int32_t(VSK_CALL* call)(int32_t, const char*),
               const char* done) {
    auto session = openSession(invocation.line);
    if (!session) return kExitFailed;
    const char* ht = invocation.ht.c_str();
    int32_t code = session->run([&](int32_t handle) { return call(handle, ht); });
    if (code != VSK_OK) return failed(invocation, invocation.command, code);
    std::cout << "HT " << invocation.ht << ": " << done << "\n";
    return kExitOk;
}

int runPoll(const Invocation& invocation) {
    auto session = openSession(invocation.line);
    if (!session) return kExitFailed;
    const char* ht = invocation.ht.c_str();
    int32_t code = session->run(
        [&](int32_t handle) { return Vsk_Polling(handle, ht, invocation.line.pollingMs); });
    if (code != VSK_OK) return failed(invocation, "poll", code);
    std::cout << "HT " << invocation.ht << " answered\n";
    return kExitOk;
}

int runDir(const Invocation& invocation) {
    auto session = openSession(invocation.line);
    if (!session) return kExitFailed;
    DirRecord dir{};
    const char* ht = invocation.ht.c_str();
    int32_t code = session->run([&](int32_t handle) { return Vsk_DIR(handle, ht, &dir); });
    if (code != VSK_OK) return failed(invocation, "dir", code);
    std::cout << formatListing(dir);
    return kExitOk;
}

int runInfo(const Invocation& invocation) {
    const std::string name = terminalNameFromUtf8(invocation.operands[0]);
    auto session = openSession(invocation.line);
    if (!session) return kExitFailed;
    FileInfoRecord info{};
    std::memcpy(info.Name, name.data(), name.size());  // at most 12 bytes, zero after
    const char* ht = invocation.ht.c_str();
    int32_t code = session->run([&](int32_t handle) { return Vsk_GetFileInfo(handle, ht, &info); });
    if (code != VSK_OK) return failed(invocation, "info " + invocation.operands[0], code);
    std::cout << formatFileInfo(invocation.operands[0], info);
    return kExitOk;
}

int runStatus(const Invocation& invocation) {
    auto session = openSession(invocation.line);
    if (!session) return kExitFailed;
    StatusRecord status{};
    const char* ht = invocation.ht.c_str();
    int32_t code = session->run([&](int32_t handle) { return Vsk_GetStatus(handle, ht, &status); });
    if (code != VSK_OK) return failed(invocation, "status", code);
    std::cout << formatStatus(status);
    return kExitOk;
}

int runDelete(const Invocation& invocation) {
    // Every name is checked before the first one is deleted.
    const std::vector<std::string> names = terminalNames(invocation.operands);
    auto session = openSession(invocation.line);
    if (!session) return kExitFailed;
    const char* ht = invocation.ht.c_str();
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& typed = invocation.operands[i];
        int32_t code =
            session->run([&](int32_t handle) { return Vsk_FDelete(handle, ht, names[i].c_str()); });
        if (code != VSK_OK) {
            failed(invocation, "delete " + typed, code);
            if (i + 1 < names.size()) {
                std::cerr << "veskactl: not attempted:";
                for (size_t rest = i + 1; rest < names.size(); ++rest)
                    std::cerr << " " << invocation.operands[rest];
                std::cerr << "\n";
            }
            return kExitFailed;
        }
        std::cout << "deleted " << typed << "\n";
    }
    return kExitOk;
}

int runRename(const Invocation& invocation) {
    const std::vector<std::string> names = terminalNames(invocation.operands);
    auto session = openSession(invocation.line);
    if (!session) return kExitFailed;
    const char* ht = invocation.ht.c_str();
    int32_t code = session->run([&](int32_t handle) {
        return Vsk_FRename(handle, ht, names[0].c_str(), names[1].c_str());
    });
    const std::string& from = invocation.operands[0];
    const std::string& to = invocation.operands[1];
    if (code != VSK_OK) return failed(invocation, "rename " + from + " to " + to, code);
    std::cout << "renamed " << from << " to " << to << "\n";
    return kExitOk;
}

int runDispInit(const Invocation& invocation) {
    return runControl(invocation, Vsk_DispInit, "display initialisation sent");
}
int runReboot(const Invocation& invocation) {
    return runControl(invocation, Vsk_ReBoot, "rebooting");
}
int runPowerOff(const Invocation& invocation) {
    return runControl(invocation, Vsk_PowerOff, "powering off");
}
int runRemoteEnd(const Invocation& invocation) {
    return runControl(invocation, Vsk_PcRemoteEnd, "remote session ended");
}
int runApEnd(const Invocation& invocation) {
    return runControl(invocation, Vsk_APEnd, "application ended");
}

constexpr CommandDef kCommands[] = {
    {"poll", "", 0, 0, "ask whether the terminal answers (see --polling)", runPoll},
    {"dir", "", 0, 0, "list the terminal's files, their count and the free space", runDir},
    {"info", "NAME", 1, 1, "show the size and details of one terminal file", runInfo},
    {"status", "", 0, 0, "show the terminal's status", runStatus},
    {"delete", "NAME...", 1, kUnlimited, "delete terminal files, stopping at the first failure",
     runDelete},
    {"rename", "OLD NEW", 2, 2, "rename a terminal file", runRename},
    {"dispinit", "", 0, 0, "initialise the terminal's display", runDispInit},
    {"reboot", "", 0, 0, "restart the terminal", runReboot},
    {"poweroff", "", 0, 0, "switch the terminal off", runPowerOff},
    {"remote-end", "", 0, 0, "end the terminal's PC remote session", runRemoteEnd},
    {"ap-end", "", 0, 0, "end the application running on the terminal", runApEnd},
    {"put", "FILE...", 1, VSK_MAX_FILES, "send PC files to the terminal in one batch", runPut,
     Target::kHt, kOptStopOnError, 0, "[--stop-on-error]"},
    {"get", "NAME...", 1, kUnlimited, "receive terminal files into a PC folder", runGet,
     Target::kHt, kOptTo | kOptSaveMode, kOptTo, "--to DIR [--mode M]"},
    {"get-all", "", 0, 0, "receive every file the terminal offers", runGetAll, Target::kHt,
     kOptTo | kOptSaveMode, kOptTo, "--to DIR [--mode M]"},
    {"install", "FILE", 1, 1, "install an application file on the terminal", runInstall,
     Target::kHt, kOptInstallMode, 0, "[--mode 0|1]"},
    {"os-install", "SYSTEM.HEX | OSFILE EXFILE", 1, 2, "install the terminal's system files",
     runOsInstall},
    {"serve-download", "FILE...", 1, VSK_MAX_FILES,
     "send files to each selected terminal that answers", runServeDownload, Target::kSelection,
     kOptStopOnError | kOptLimit | kOptResult | kOptResultMode | kOptLoopPolling, 0,
     "[--limit S] [--result FILE]"},
    {"serve-upload", "", 0, 0, "receive files from each selected terminal that answers",
     runServeUpload, Target::kSelection,
     kOptTo | kOptSaveMode | kOptLimit | kOptResult | kOptResultMode | kOptLoopPolling, kOptTo,
     "--to DIR [--mode M] [--limit S] [--result FILE]"},
#ifdef VESKA_JOB_COMMANDS
    {"job show", "FILE", 1, 1, "show the auto-mode job FILE as the desktop tools confirm it",
     runJobShow, Target::kNone, kOptDirection, 0, "[--download|--upload]"},
    {"job run", "FILE", 1, 1, "run the auto-mode job FILE until its stop file or Ctrl-C", runJobRun,
     Target::kNone, kOptDirection, 0, "[--download|--upload]"},
#endif
};

}  // namespace

std::span<const CommandDef> commandTable() {
    return kCommands;
}

}  // namespace veskactl
