// The plain-C interface between the library and its two Qt host modules, which
// sit beside it in a "veska" folder:
// - veska-qthost.so links only Qt Core: it dispatches the calling thread's
//   events and waits for the line inside the event dispatcher. The library
//   loads it only into a process that already runs Qt 6, so programs without
//   Qt never load Qt through the library.
// - veska-qtwindow.so links Qt Widgets and keeps the library's progress
//   window. It is loaded only when a window is asked for and the process has
//   a widgets application, so a program with Qt Core alone never maps a GUI
//   library.
// Texts cross as UTF-8. Both modules are built together and carry the same
// ABI number.
#pragma once

#include <stdint.h>

extern "C" {

#define VSK_QT_HOST_ENTRY "veska_qt_host_entry"
#define VSK_QT_WINDOW_ENTRY "veska_qt_window_entry"
enum { kVskQtHostAbi = 2 };

// What the library offers the modules.
struct VskQtHostCallbacks {
    // The progress window's abort button was pressed, or an event handler
    // threw while the library dispatched events.
    void (*requestAbort)(void);
};

// What veska-qthost.so offers the library.
struct VskQtHostApi {
    int32_t abi;  // kVskQtHostAbi
    // Non-zero when a Qt application object exists and the calling thread has
    // an event dispatcher: there are events to dispatch while waiting.
    int32_t (*hasEvents)(void);
    // Processes the calling thread's pending events.
    void (*dispatch)(void);
    // Blocks in the calling thread's event dispatcher until one of the
    // descriptors `fd1`, `fd2` (-1: none) is readable, an event has been
    // processed, or `ms` milliseconds have passed; pending events are
    // processed first. Returns non-zero when it waited so, 0 when the thread
    // has no events to wait on (the library then waits on its own).
    int32_t (*waitForInput)(intptr_t fd1, intptr_t fd2, uint32_t ms);
    // The descriptor `fd` is about to be closed: stop watching it.
    void (*forget)(intptr_t fd);
    // Non-zero when the application is a widgets application and the call
    // comes from its thread: only then can the progress window be shown.
    int32_t (*windowsHere)(void);
};

// What veska-qtwindow.so offers the library.
struct VskQtWindowApi {
    int32_t abi;  // kVskQtHostAbi
    // Creates, shows and activates the progress window; non-zero when it
    // exists afterwards.
    int32_t (*openWindow)(const char* ht, const char* name, int32_t type);
    void (*setupWindow)(const char* ht, const char* name, int32_t type);
    void (*showProgress)(int32_t done, int32_t total);
    void (*closeWindow)(void);
    int32_t (*windowOpen)(void);
};

typedef const VskQtHostApi* (*VskQtHostEntry)(const VskQtHostCallbacks* callbacks);
typedef const VskQtWindowApi* (*VskQtWindowEntry)(const VskQtHostCallbacks* callbacks);

// The modules' entry points, looked up by the names above; declared here so
// that a definition whose type drifts from the library's typedef fails to build.
const VskQtHostApi* veska_qt_host_entry(const VskQtHostCallbacks* callbacks);
const VskQtWindowApi* veska_qt_window_entry(const VskQtHostCallbacks* callbacks);

}  // extern "C"
