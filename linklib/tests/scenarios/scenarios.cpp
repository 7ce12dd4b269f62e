// The same calls of the library, built for Linux and for Windows, so that a
// test can run them on both against the simulator and compare what each
// returns. Every line printed is "what result [details]"; no line holds a
// path, so the two systems' outputs can be compared as they are.
//
//   veska_scenarios SCENARIO PORT PC_FOLDER [ARG...]
// PC_FOLDER ends with the system's separator. The timed scenarios and
// "silent" are for bench_wine, which measures the same calls under Wine and
// natively.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

#include "veska.h"

namespace {

int32_t gHandle = 0;

void say(const char* what, int32_t result, const std::string& details = {}) {
    std::printf("%s %d%s%s\n", what, static_cast<int>(result), details.empty() ? "" : " ",
                details.c_str());
    std::fflush(stdout);
}

std::string field(const char* text, size_t width) {
    size_t n = strnlen(text, width);
    while (n > 0 && text[n - 1] == ' ') --n;
    return std::string(text, n);
}

int32_t open(int32_t port, int32_t timeoutMs = 1000, int32_t retry = 3) {
    LineSettings line{115200, VSK_PARITY_NONE, VSK_DATA_BITS_8, VSK_STOP_BITS_1, 0, timeoutMs,
                      retry};
    const int32_t r = Vsk_ComOpen(&gHandle, port, 0, &line);
    say("open", r);
    if (r != 0) {
        char text[256] = {};
        const int32_t code = Vsk_GetSysErrorMsg(text);
        say("syserror", code != 0 ? 1 : 0, text[0] != '\0' ? "text" : "none");
    }
    return r;
}

void listing() {
    static DirRecord dir;
    std::memset(&dir, 0, sizeof dir);
    const int32_t r = Vsk_DIR(gHandle, "005", &dir);
    std::string names;
    for (int32_t i = 0; r == 0 && i < dir.FileCount && i < VSK_MAX_FILES; ++i)
        names += field(dir.Entries[i].Name, 12) + ":" + std::to_string(dir.Entries[i].Size) + " ";
    say("dir", r, std::to_string(dir.FileCount) + " " + names);
}

// Aborts whatever call runs after `ms`, from a thread of its own.
std::thread abortAfter(int ms) {
    return std::thread([ms] {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        Vsk_Suspend(gHandle);
    });
}

// Every terminal file into the PC folder in one batch, and what became of each.
void uploadAll(const std::string& pc, int32_t saveMode) {
    static UploadList uploads;
    std::memset(&uploads, 0, sizeof uploads);
    uploads.SaveMode = saveMode;
    const int32_t r = Vsk_AllUpload(gHandle, "005", pc.c_str(), &uploads, 0);
    std::string outcomes;
    for (int32_t i = 0; r == 0 && i < uploads.Count && i < VSK_MAX_FILES; ++i)
        outcomes += field(uploads.Entries[i].Name, 12) + ":" +
                    std::to_string(uploads.Entries[i].Outcome) + " ";
    say("allupload", r, std::to_string(uploads.Count) + " " + outcomes);
}

// The polling loops' mask selecting terminal 5 alone.
void selectTerminalFive(char (&mask)[129]) {
    std::memset(mask, '0', 128);
    mask[128] = '\0';
    mask[4] = '1';
}

// Every export once, in an order where each has a defined outcome.
int calls(const std::string& pc) {
    if (open(5) != 0) return 1;
    say("polling", Vsk_Polling(gHandle, "005", 300));
    listing();
    say("dispinit", Vsk_DispInit(gHandle, "005"));
    FileInfoRecord info{};
    std::strcpy(info.Name, "DATA.DAT");
    const int32_t fi = Vsk_GetFileInfo(gHandle, "005", &info);
    say("fileinfo", fi, std::to_string(info.Size));
    StatusRecord status{};
    const int32_t st = Vsk_GetStatus(gHandle, "005", &status);
    say("status", st,
        std::to_string(status.StatusValue) + " " + field(status.StatusText1, 5) + " " +
            field(status.StatusText2, 5));
    say("fdownload", Vsk_FDownload(gHandle, "005", (pc + "SEND.DAT").c_str(), 3000, 0));
    say("fupload",
        Vsk_FUpload(gHandle, "005", VSK_SAVE_OVERWRITE, pc.c_str(), "DATA.DAT", 5000, 0));
    say("frename", Vsk_FRename(gHandle, "005", "SEND.DAT", "SENT.DAT"));
    say("fdelete", Vsk_FDelete(gHandle, "005", "SENT.DAT"));
    say("fdelete-missing", Vsk_FDelete(gHandle, "005", "SENT.DAT"));
    say("apinstall", Vsk_APInstall(gHandle, "005", (pc + "AP.BIN").c_str(), 700, 1, 0));
    say("osinstall", Vsk_OSInstall(gHandle, "005", (pc + "SYSTEM.HEX").c_str(), 900, 0));
    say("osinstall2", Vsk_OSInstall2(gHandle, "005", (pc + "OS.HEX").c_str(), 900,
                                     (pc + "EX.HEX").c_str(), 600, 0));
    static DownloadList downloads;
    std::memset(&downloads, 0, sizeof downloads);
    std::snprintf(downloads.Entries[0].Path, sizeof downloads.Entries[0].Path, "%sSEND.DAT",
                  pc.c_str());
    downloads.Entries[0].Size = 3000;
    std::snprintf(downloads.Entries[1].Path, sizeof downloads.Entries[1].Path, "%sNONE.DAT",
                  pc.c_str());
    downloads.Entries[1].Size = 1;
    const int32_t ad = Vsk_AllDownload(gHandle, "005", 2, &downloads, 0);
    say("alldownload", ad,
        std::to_string(downloads.Entries[0].Outcome) + " " +
            std::to_string(downloads.Entries[1].Outcome));
    uploadAll(pc, VSK_SAVE_NEW_ONLY);
    char mask[129];
    selectTerminalFive(mask);
    ResultFileRecord result{};
    std::snprintf(result.Path, sizeof result.Path, "%sRESULT.TXT", pc.c_str());
    result.ResultMode = VSK_RESULT_CREATE;
    std::thread stopper = abortAfter(1500);
    say("pollingalldownload",
        Vsk_PollingAllDownload(gHandle, mask, 100, 0, 1, &downloads, &result, 0));
    stopper.join();
    result.ResultMode = VSK_RESULT_APPEND;
    stopper = abortAfter(1500);
    say("pollingallupload",
        Vsk_PollingAllUPload(gHandle, mask, pc.c_str(), VSK_SAVE_OVERWRITE, 100, 0, &result, 0));
    stopper.join();
    ProgressRecord progress{};
    say("getprocess", Vsk_GetProcess(gHandle, &progress));
    say("clrprocess", Vsk_ClrProcess(gHandle));
    say("suspend", Vsk_Suspend(gHandle));
    say("apend", Vsk_APEnd(gHandle, "005"));
    say("pcremoteend", Vsk_PcRemoteEnd(gHandle, "005"));
    say("reboot", Vsk_ReBoot(gHandle, "005"));
    say("poweroff", Vsk_PowerOff(gHandle, "005"));
    char text[256] = {};
    say("sysmsg", Vsk_GetSysErrorMsg(text) >= 0 ? 0 : 1);
    say("close", Vsk_ComClose(gHandle));
    say("close-again", Vsk_ComClose(gHandle));
    return 0;
}

// The PC files named in `args` (NAME:SIZE) to the terminal in one batch, then
// every terminal file back into the PC folder.
int batch(const std::string& pc, int argc, char** argv) {
    if (open(5) != 0) return 1;
    static DownloadList downloads;
    std::memset(&downloads, 0, sizeof downloads);
    int32_t count = 0;
    for (int i = 4; i < argc && count < VSK_MAX_FILES; ++i, ++count) {
        const std::string arg = argv[i];
        const size_t colon = arg.find(':');
        std::snprintf(downloads.Entries[count].Path, sizeof downloads.Entries[count].Path, "%s%s",
                      pc.c_str(), arg.substr(0, colon).c_str());
        downloads.Entries[count].Size = std::atoi(arg.c_str() + colon + 1);
    }
    const int32_t ad = Vsk_AllDownload(gHandle, "005", count, &downloads, 0);
    std::string outcomes;
    for (int32_t i = 0; i < count; ++i) outcomes += std::to_string(downloads.Entries[i].Outcome);
    say("alldownload", ad, outcomes);
    uploadAll(pc, VSK_SAVE_OVERWRITE);
    say("close", Vsk_ComClose(gHandle));
    return 0;
}

// The upload loop over terminal 5 into the PC folder, with its result file
// RESULT.TXT there, until ten seconds pass without a transfer.
int loop(const std::string& pc) {
    if (open(5) != 0) return 1;
    char mask[129];
    selectTerminalFive(mask);
    ResultFileRecord result{};
    std::snprintf(result.Path, sizeof result.Path, "%sRESULT.TXT", pc.c_str());
    result.ResultMode = VSK_RESULT_CREATE;
    say("pollingallupload", Vsk_PollingAllUPload(gHandle, mask, pc.c_str(), VSK_SAVE_OVERWRITE, 100,
                                                 VSK_MIN_LIMIT_S, &result, 0));
    say("close", Vsk_ComClose(gHandle));
    return 0;
}

// The seconds since `start`, to the microsecond.
std::string secondsSince(std::chrono::steady_clock::time_point start) {
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", taken.count());
    return text;
}

// One terminal file (NAME SIZE) into the PC folder; `timed` adds the call's
// seconds, `show` asks for the progress window.
int get(int32_t port, const std::string& pc, const char* name, const char* size, bool timed,
        bool show) {
    if (open(port) != 0) return 1;
    const auto start = std::chrono::steady_clock::now();
    const int32_t r = Vsk_FUpload(gHandle, "005", VSK_SAVE_OVERWRITE, pc.c_str(), name,
                                  std::atoi(size), show ? 1 : 0);
    say("fupload", r, timed ? secondsSince(start) : std::string());
    say("close", Vsk_ComClose(gHandle));
    return 0;
}

// The PC folder's FILE (FILE SIZE) to the terminal; `timed` adds the call's seconds.
int put(int32_t port, const std::string& pc, const char* file, const char* size, bool timed) {
    if (open(port) != 0) return 1;
    const auto start = std::chrono::steady_clock::now();
    const int32_t r = Vsk_FDownload(gHandle, "005", (pc + file).c_str(), std::atoi(size), 0);
    say("fdownload", r, timed ? secondsSince(start) : std::string());
    say("close", Vsk_ComClose(gHandle));
    return 0;
}

// A status query to a terminal that never answers, ATTEMPTS times the longest
// time-out: a call waiting on a silent line for that long.
int silent(int32_t port, int32_t attempts) {
    if (open(port, VSK_MAX_TIMEOUT_MS, attempts) != 0) return 1;
    StatusRecord status{};
    say("status", Vsk_GetStatus(gHandle, "005", &status));
    say("close", Vsk_ComClose(gHandle));
    return 0;
}

#ifdef _WIN32
// A caller's own timer while the library waits on the line: what its calls
// into the library got.
struct TimerCalls {
    int ticks = 0;
    int32_t nested = -1;   // another operation from the timer
    int32_t suspend = -1;  // Vsk_Suspend from the timer
    int32_t percent = -1;  // progress when it was called
    std::string window;    // what the progress window showed
    HWND dialog = nullptr;
};
TimerCalls gTimer;

// Once the transfer is under way: another operation (refused as busy), then
// the abort, both from the timer, which only runs if the library dispatches
// the thread's messages.
void CALLBACK suspendFromTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ++gTimer.ticks;
    ProgressRecord progress{};
    if (Vsk_GetProcess(gHandle, &progress) != 0 || progress.Percent < 1) return;
    KillTimer(nullptr, id);
    gTimer.percent = progress.Percent;
    static DirRecord dir;
    gTimer.nested = Vsk_DIR(gHandle, "005", &dir);
    gTimer.suspend = Vsk_Suspend(gHandle);
}

// The program asks to end while a transfer runs.
void CALLBACK quitFromTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ++gTimer.ticks;
    ProgressRecord progress{};
    if (Vsk_GetProcess(gHandle, &progress) != 0 || progress.Percent < 1) return;
    KillTimer(nullptr, id);
    PostQuitMessage(7);
}

std::string utf8(const wchar_t* text) {
    char out[512] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out - 1, nullptr, nullptr);
    return out;
}

std::string controlText(HWND dialog, int id) {
    wchar_t text[256] = {};
    GetDlgItemTextW(dialog, id, text, 256);
    return utf8(text);
}

bool shown(HWND dialog, int id) {
    return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE;
}

// The library's progress window as the user sees it, then its abort button
// pressed with the mouse, through the thread's message queue.
void CALLBACK pressAbortFromTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ++gTimer.ticks;
    HWND dialog = FindWindowW(nullptr, L"Veskafile");
    if (dialog == nullptr || controlText(dialog, 1005) == "0") return;
    KillTimer(nullptr, id);
    gTimer.dialog = dialog;
    const UINT close = GetMenuState(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND);
    gTimer.window = "visible=" + std::to_string(IsWindowVisible(dialog) ? 1 : 0) +
                    " ht=" + controlText(dialog, 1002) + " name=" + controlText(dialog, 1004) +
                    " total=" + controlText(dialog, 1006) +
                    " bar=" + std::to_string(shown(dialog, 1000) ? 1 : 0) +
                    " polling=" + std::to_string(shown(dialog, 1010) ? 1 : 0) +
                    " close=" + ((close & MF_GRAYED) != 0 ? "grey" : "enabled") +
                    " operation=" + controlText(dialog, 1003);
    HWND button = GetDlgItem(dialog, 1001);
    RECT r{};
    GetClientRect(button, &r);
    const LPARAM middle = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    PostMessageW(button, WM_LBUTTONUP, 0, middle);
}

// NAME SIZE: one terminal file into PC_FOLDER while a timer of the caller's
// acts on it: "timer" calls in, "window" presses the progress window's
// button, "quit" asks the program to end.
int underTimer(const std::string& pc, const std::string& scenario, char** argv) {
    const bool window = scenario == "window";
    const TIMERPROC act = window               ? pressAbortFromTimer
                          : scenario == "quit" ? quitFromTimer
                                               : suspendFromTimer;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, act);
    say("fupload", Vsk_FUpload(gHandle, "005", VSK_SAVE_OVERWRITE, pc.c_str(), argv[4],
                               std::atoi(argv[5]), window ? 1 : 0));
    KillTimer(nullptr, timer);
    if (scenario == "quit") {
        // The quit must still be there for the program's own loop.
        MSG msg{};
        const bool quit = PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
        say("quit", quit ? 0 : 1, quit ? std::to_string(msg.wParam) : "lost");
    } else if (window) {
        say("window", gTimer.dialog != nullptr ? 0 : 1, gTimer.window);
        say("window-after", gTimer.dialog != nullptr && IsWindow(gTimer.dialog) ? 1 : 0);
    } else {
        say("timer", gTimer.ticks > 0 ? 0 : 1,
            "nested=" + std::to_string(gTimer.nested) +
                " suspend=" + std::to_string(gTimer.suspend) +
                " percent=" + std::to_string(gTimer.percent > 0 ? 1 : 0));
    }
    say("close", Vsk_ComClose(gHandle));
    return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SCENARIO PORT PC_FOLDER [ARG...]\n", argv[0]);
        return 2;
    }
    const std::string scenario = argv[1];
    const int32_t port = std::atoi(argv[2]);
    const std::string pc = argv[3];
    if (scenario == "calls") return calls(pc);
    if (scenario == "batch") return batch(pc, argc, argv);
    if (scenario == "loop") return loop(pc);
    // NAME SIZE: one terminal file into PC_FOLDER; "show" with the progress window.
    if ((scenario == "get" || scenario == "time-get" || scenario == "show") && argc >= 6)
        return get(port, pc, argv[4], argv[5], scenario == "time-get", scenario == "show");
    if ((scenario == "put" || scenario == "time-put") && argc >= 6)
        return put(port, pc, argv[4], argv[5], scenario == "time-put");
    if (scenario == "silent" && argc >= 5) return silent(port, std::atoi(argv[4]));
    if (scenario == "hold") {  // keeps the port open until stdin ends
        if (open(port) != 0) return 1;
        char line[64];
        while (std::fgets(line, sizeof line, stdin) != nullptr) {
        }
        say("close", Vsk_ComClose(gHandle));
        return 0;
    }
#ifdef _WIN32
    if ((scenario == "timer" || scenario == "window" || scenario == "quit") && argc >= 6) {
        if (open(port) != 0) return 1;
        return underTimer(pc, scenario, argv);
    }
#endif
    if (scenario == "open") return open(port) == 0 ? (Vsk_ComClose(gHandle), 0) : 1;
    std::fprintf(stderr, "unknown scenario %s\n", scenario.c_str());
    return 2;
}
