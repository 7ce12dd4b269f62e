// The plain-C interface between the library and its Qt host module
// (veska-qthost.so). The library loads the module only into a process that
// already runs Qt 6, so programs without Qt never load Qt through the
// library. Texts cross as UTF-8.
#pragma once

#include <stdint.h>

extern "C" {

#define VSK_QT_HOST_ENTRY "veska_qt_host_entry"
enum { kVskQtHostAbi = 1 };

// What the library offers the module.
struct VskQtHostCallbacks {
    // The progress window's abort button was pressed.
    void (*requestAbort)(void);
};

// What the module offers the library.
struct VskQtHostApi {
    int32_t abi;  // kVskQtHostAbi
    // Non-zero when a Qt application object exists and the calling thread has
    // an event dispatcher: there are events to dispatch while waiting.
    int32_t (*hasEvents)(void);
    // Processes the calling thread's pending events.
    void (*dispatch)(void);
    // Creates, shows and activates the progress window; non-zero when it
    // exists afterwards (a widgets application on its thread is needed).
    int32_t (*openWindow)(const char* ht, const char* name, int32_t type);
    void (*setupWindow)(const char* ht, const char* name, int32_t type);
    void (*showProgress)(int32_t done, int32_t total);
    void (*closeWindow)(void);
    int32_t (*windowOpen)(void);
};

typedef const VskQtHostApi* (*VskQtHostEntry)(const VskQtHostCallbacks* callbacks);

}  // extern "C"
