// The host on Windows. While the library waits on the line it dispatches the
// calling thread's window messages (PeekMessageA, TranslateMessage,
// DispatchMessageA), so the caller's timers and buttons keep working and can
// call back in; the wait itself blocks in MsgWaitForMultipleObjectsEx on the
// port's read, an abort event and the thread's message queue, and never
// spins. The progress window is a modeless dialog built from an in-memory
// template of the shared layout.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <atomic>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/progress_layout.h"
#include "platform/text.h"
#include "session.h"

namespace vsk::host {

namespace {

// Set from any thread (a console control handler runs on its own) to end a
// wait early. Auto-reset: a wake-up that finds no wait is used up by the next
// one, which then just returns early once.
HANDLE abortEvent() {
    static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}

// A WM_QUIT taken off the queue while dispatching: posted again at once for
// the caller's own loop, and the running operation is ended. Until the next
// operation the queue is neither read nor waited on, or the quit would be
// taken again and again.
bool g_quitting = false;

// The progress window: at most one, on the thread that runs the operation.
HWND g_window = nullptr;

void takeQuit(const MSG& msg) {
    g_quitting = true;
    PostQuitMessage(static_cast<int>(msg.wParam));
    requestAbort();
}

}  // namespace

void callStarted() {
    g_quitting = false;
}

void dispatchEvents() {
    if (g_quitting) return;
    // What the system's calls leave as the last error is the caller's business.
    const DWORD saved = GetLastError();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            takeQuit(msg);
            break;
        }
        if (g_window != nullptr && IsDialogMessageA(g_window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    SetLastError(saved);
}

bool waitForInput(intptr_t port, uint32_t ms) {
    dispatchEvents();
    HANDLE handles[2];
    DWORD count = 0;
    if (HANDLE wake = abortEvent()) handles[count++] = wake;
    if (port != -1) handles[count++] = reinterpret_cast<HANDLE>(port);
    const DWORD saved = GetLastError();
    MsgWaitForMultipleObjectsEx(count, handles, ms, g_quitting ? 0 : QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    SetLastError(saved);
    dispatchEvents();
    return true;
}

void forgetPort(intptr_t) {}

void wakeForAbort() {
    if (HANDLE wake = abortEvent()) SetEvent(wake);
}

namespace {

namespace layout = vsk::host::layout;

// The library's own texts (UTF-8 in the source).
std::wstring fromUtf8(const char* text) {
    std::wstring out;
    platform::utf8ToWide(text, &out);
    return out;
}

// Terminal names are CP932 bytes; bytes that are not shown as they are.
std::wstring fromTerminal(const char* cp932) {
    if (cp932 == nullptr) return {};
    std::wstring out;
    if (platform::cp932ToWide(cp932, &out)) return out;
    for (const char* p = cp932; *p != '\0'; ++p)
        out += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return out;
}

// The dialog template in memory: DLGTEMPLATE, then each DLGITEMTEMPLATE on a
// 4-byte boundary, texts as UTF-16 with their end marks.
class DialogTemplate {
  public:
    DialogTemplate() {
        const DWORD style =
            WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | WS_VISIBLE;
        addDword(style);
        addDword(0);
        addWord(static_cast<WORD>(std::size(layout::kControls)));
        addRect(0, 0, layout::kWidth, layout::kHeight);
        addWord(0);  // no menu
        addWord(0);  // the standard dialog class
        addText(fromUtf8(layout::kCaption));
        addWord(static_cast<WORD>(layout::kFontPoints));
        addText(fromUtf8(layout::kFontFace));
        for (const layout::Control& c : layout::kControls) addControl(c);
    }
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

  private:
    void addWord(WORD w) { words_.push_back(w); }
    void addDword(DWORD d) {
        addWord(LOWORD(d));
        addWord(HIWORD(d));
    }
    void addRect(int x, int y, int w, int h) {
        for (int v : {x, y, w, h}) addWord(static_cast<WORD>(static_cast<short>(v)));
    }
    void addText(const std::wstring& text) {
        for (wchar_t c : text) addWord(static_cast<WORD>(c));
        addWord(0);
    }
    void alignToDword() {
        if (words_.size() % 2 != 0) addWord(0);
    }
    void addControl(const layout::Control& c) {
        alignToDword();
        DWORD style = WS_CHILD | WS_VISIBLE;
        WORD windowClass = 0x0082;  // static
        switch (c.kind) {
            case layout::Kind::kGroupBox:
                style |= BS_GROUPBOX;
                windowClass = 0x0080;  // button
                break;
            case layout::Kind::kText:
                style |= SS_LEFT | SS_NOPREFIX;
                break;
            case layout::Kind::kFrame:
                // Only marks where the bar goes.
                style = WS_CHILD | SS_BLACKFRAME;
                break;
            case layout::Kind::kButton:
                style |= WS_TABSTOP | BS_PUSHBUTTON;
                windowClass = 0x0080;
                break;
        }
        addDword(style);
        addDword(0);
        addRect(c.x, c.y, c.w, c.h);
        addWord(static_cast<WORD>(c.id < 0 ? 0xFFFF : c.id));
        addWord(0xFFFF);
        addWord(windowClass);
        addText(fromUtf8(c.text));
        addWord(0);  // no creation data
    }

    std::vector<WORD> words_;
};

HINSTANCE libraryInstance() {
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&libraryInstance), &module);
    return module;
}

// The progress bar's window class lives in the common controls, loaded the
// first time a window is asked for, so programs that never show one (a
// console program, a service) never load it.
bool progressClassReady() {
    static const bool ready = [] {
        HMODULE controls = LoadLibraryA("comctl32.dll");
        if (controls == nullptr) return false;
        using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
        auto init = reinterpret_cast<Init>(
            reinterpret_cast<void (*)()>(GetProcAddress(controls, "InitCommonControlsEx")));
        INITCOMMONCONTROLSEX classes = {sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
        return init != nullptr && init(&classes) != FALSE;
    }();
    return ready;
}

// The Close item is greyed out (only the operation removes the window), and
// the bar takes the place the template marks for it.
void initDialog(HWND dialog) {
    EnableMenuItem(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, layout::kBarFrame), &r);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
    HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, r.left, r.top,
                               r.right - r.left, r.bottom - r.top, dialog,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout::kBar)),
                               libraryInstance(), nullptr);
    SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            initDialog(dialog);
            return TRUE;
        case WM_COMMAND:
            // Enter and Escape (IDOK, IDCANCEL) do nothing: the button is
            // pressed on purpose.
            if (LOWORD(wParam) == layout::kAbortButton && HIWORD(wParam) == BN_CLICKED)
                requestAbort();
            return TRUE;
        case WM_CLOSE:
            return TRUE;
        default:
            return FALSE;
    }
}

void setText(int id, const std::wstring& text) {
    SetDlgItemTextW(g_window, id, text.c_str());
}

void showTransferFields(bool transfer) {
    for (int id : layout::kTransferFields)
        ShowWindow(GetDlgItem(g_window, id), transfer ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(g_window, layout::kPollingText), transfer ? SW_HIDE : SW_SHOW);
}

}  // namespace

void openWindow(int32_t, const char* ht, const char* name, int32_t show, WindowType type) {
    if (show == 0) return;
    if (g_window == nullptr) {
        if (!progressClassReady()) return;
        const DWORD saved = GetLastError();
        static const DialogTemplate kTemplate;
        g_window =
            CreateDialogIndirectParamW(libraryInstance(), kTemplate.get(), nullptr, dialogProc, 0);
        SetLastError(saved);
        // A window that cannot be made: the operation runs without one.
        if (g_window == nullptr) return;
        ShowWindow(g_window, SW_SHOW);
        SetActiveWindow(g_window);
    }
    setupWindow(ht, name, type);
}

void setupWindow(const char* ht, const char* name, WindowType type) {
    if (g_window == nullptr) return;
    const int kind = static_cast<int>(type);
    showTransferFields(layout::showsTransferFields(kind));
    setText(layout::kHtNo, fromTerminal(ht));
    setText(layout::kFileName, fromTerminal(name));
    setText(layout::kOperation, fromUtf8(layout::operationText(kind)));
}

void showProgress(int32_t done, int32_t total) {
    if (g_window == nullptr) return;
    setText(layout::kBytesDone, std::to_wstring(done));
    setText(layout::kBytesTotal, std::to_wstring(total));
    SendDlgItemMessageW(g_window, layout::kBar, PBM_SETPOS,
                        static_cast<WPARAM>(layout::barPosition(done, total)), 0);
}

void closeWindow() {
    if (g_window == nullptr) return;
    HWND window = g_window;
    g_window = nullptr;
    DestroyWindow(window);
}

bool windowOpen() {
    return g_window != nullptr;
}

}  // namespace vsk::host
