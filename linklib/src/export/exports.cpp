// The exported C functions: a busy guard around each operation, so that a
// call made from the caller's own event handlers while the library waits on
// the line is refused instead of disturbing the running one. The guard also
// writes each call's result line to the wire trace.
#include "core/ops.h"
#include "core/session.h"
#include "core/trace.h"
#include "veska.h"

namespace {

namespace trace = vsk::trace;
using Args = std::initializer_list<trace::Arg>;

// Runs `op` unless another call is already running inside the library.
// Nothing unwinds into the caller: an operation that throws (memory ran out)
// ends the call with 2002 and frees the library for the next one. `name` and
// `args` are only for the trace's result line.
template <typename Op>
int32_t guarded(const char* name, Args args, Op op) {
    vsk::State& g = vsk::state();
    // Not traced: such a call may come from a signal handler that interrupted
    // the running call in the middle of a trace line.
    if (g.busy) return VSK_E_BUSY;
    const uint64_t started = trace::callStarts();
    g.busy = true;
    vsk::beginCall();
    int32_t r;
    try {
        r = op();
    } catch (...) {
        r = VSK_E_RECEIVE;
    }
    trace::callEnds(name, args, r, started);
    g.busy = false;
    return r;
}

trace::Arg htArg(const char* s) {
    return trace::text("ht", s, 4);
}

}  // namespace

extern "C" {

VSK_API int32_t VSK_CALL Vsk_ComOpen(int32_t* handle, int32_t port, int32_t mode,
                                     const LineSettings* settings) {
    // The trace follows VESKA_TRACE as it is when a session opens; a call
    // refused as busy must not switch it under the running one.
    if (!vsk::state().busy) trace::configure();
    return guarded("Vsk_ComOpen",
                   {trace::port(port), trace::num("mode", mode), trace::line(settings),
                    trace::handleOut(handle)},
                   [&] { return vsk::comOpen(handle, port, mode, settings); });
}

VSK_API int32_t VSK_CALL Vsk_ComClose(int32_t handle) {
    return guarded("Vsk_ComClose", {trace::handle(handle)}, [&] { return vsk::comClose(handle); });
}

VSK_API int32_t VSK_CALL Vsk_Polling(int32_t handle, const char* ht, int32_t polling_ms) {
    return guarded("Vsk_Polling",
                   {trace::handle(handle), htArg(ht), trace::num("polling_ms", polling_ms)},
                   [&] { return vsk::ops::polling(handle, ht, polling_ms); });
}

VSK_API int32_t VSK_CALL Vsk_DIR(int32_t handle, const char* ht, DirRecord* dir) {
    return guarded("Vsk_DIR", {trace::handle(handle), htArg(ht)},
                   [&] { return vsk::ops::dir(handle, ht, dir); });
}

VSK_API int32_t VSK_CALL Vsk_DispInit(int32_t handle, const char* ht) {
    return guarded("Vsk_DispInit", {trace::handle(handle), htArg(ht)},
                   [&] { return vsk::ops::dispInit(handle, ht); });
}

VSK_API int32_t VSK_CALL Vsk_FDelete(int32_t handle, const char* ht, const char* name) {
    return guarded("Vsk_FDelete", {trace::handle(handle), htArg(ht), trace::text("name", name)},
                   [&] { return vsk::ops::fileDelete(handle, ht, name); });
}

VSK_API int32_t VSK_CALL Vsk_FRename(int32_t handle, const char* ht, const char* old_name,
                                     const char* new_name) {
    return guarded("Vsk_FRename",
                   {trace::handle(handle), htArg(ht), trace::text("old", old_name),
                    trace::text("new", new_name)},
                   [&] { return vsk::ops::fileRename(handle, ht, old_name, new_name); });
}

VSK_API int32_t VSK_CALL Vsk_APEnd(int32_t handle, const char* ht) {
    return guarded("Vsk_APEnd", {trace::handle(handle), htArg(ht)},
                   [&] { return vsk::ops::apEnd(handle, ht); });
}

VSK_API int32_t VSK_CALL Vsk_GetFileInfo(int32_t handle, const char* ht, FileInfoRecord* info) {
    return guarded(
        "Vsk_GetFileInfo",
        {trace::handle(handle), htArg(ht), trace::text("name", info ? info->Name : nullptr, 13)},
        [&] { return vsk::ops::fileInfo(handle, ht, info); });
}

VSK_API int32_t VSK_CALL Vsk_GetStatus(int32_t handle, const char* ht, StatusRecord* status) {
    return guarded("Vsk_GetStatus", {trace::handle(handle), htArg(ht)},
                   [&] { return vsk::ops::status(handle, ht, status); });
}

VSK_API int32_t VSK_CALL Vsk_PcRemoteEnd(int32_t handle, const char* ht) {
    return guarded("Vsk_PcRemoteEnd", {trace::handle(handle), htArg(ht)},
                   [&] { return vsk::ops::remoteEnd(handle, ht); });
}

VSK_API int32_t VSK_CALL Vsk_ReBoot(int32_t handle, const char* ht) {
    return guarded("Vsk_ReBoot", {trace::handle(handle), htArg(ht)},
                   [&] { return vsk::ops::reboot(handle, ht); });
}

VSK_API int32_t VSK_CALL Vsk_PowerOff(int32_t handle, const char* ht) {
    return guarded("Vsk_PowerOff", {trace::handle(handle), htArg(ht)},
                   [&] { return vsk::ops::powerOff(handle, ht); });
}

VSK_API int32_t VSK_CALL Vsk_FUpload(int32_t handle, const char* ht, int32_t save_mode,
                                     const char* folder, const char* name, int32_t size,
                                     int32_t show_progress) {
    return guarded(
        "Vsk_FUpload",
        {trace::handle(handle), htArg(ht), trace::num("save_mode", save_mode),
         trace::text("folder", folder), trace::text("name", name), trace::num("size", size)},
        [&] {
            return vsk::ops::fileUpload(handle, ht, save_mode, folder, name, size, show_progress);
        });
}

VSK_API int32_t VSK_CALL Vsk_FDownload(int32_t handle, const char* ht, const char* path,
                                       int32_t size, int32_t show_progress) {
    return guarded(
        "Vsk_FDownload",
        {trace::handle(handle), htArg(ht), trace::text("path", path), trace::num("size", size)},
        [&] { return vsk::ops::fileDownload(handle, ht, path, size, show_progress); });
}

VSK_API int32_t VSK_CALL Vsk_APInstall(int32_t handle, const char* ht, const char* path,
                                       int32_t size, int32_t install_mode, int32_t show_progress) {
    return guarded(
        "Vsk_APInstall",
        {trace::handle(handle), htArg(ht), trace::text("path", path), trace::num("size", size),
         trace::num("install_mode", install_mode)},
        [&] { return vsk::ops::apInstall(handle, ht, path, size, install_mode, show_progress); });
}

VSK_API int32_t VSK_CALL Vsk_OSInstall(int32_t handle, const char* ht, const char* path,
                                       int32_t size, int32_t show_progress) {
    return guarded(
        "Vsk_OSInstall",
        {trace::handle(handle), htArg(ht), trace::text("path", path), trace::num("size", size)},
        [&] { return vsk::ops::osInstall(handle, ht, path, size, show_progress); });
}

VSK_API int32_t VSK_CALL Vsk_OSInstall2(int32_t handle, const char* ht, const char* os_path,
                                        int32_t os_size, const char* ex_path, int32_t ex_size,
                                        int32_t show_progress) {
    return guarded("Vsk_OSInstall2",
                   {trace::handle(handle), htArg(ht), trace::text("os_path", os_path),
                    trace::num("os_size", os_size), trace::text("ex_path", ex_path),
                    trace::num("ex_size", ex_size)},
                   [&] {
                       return vsk::ops::osInstall2(handle, ht, os_path, os_size, ex_path, ex_size,
                                                   show_progress);
                   });
}

VSK_API int32_t VSK_CALL Vsk_AllDownload(int32_t handle, const char* ht, int32_t count,
                                         DownloadList* list, int32_t show_progress) {
    return guarded("Vsk_AllDownload",
                   {trace::handle(handle), htArg(ht), trace::num("count", count)},
                   [&] { return vsk::ops::allDownload(handle, ht, count, list, show_progress); });
}

VSK_API int32_t VSK_CALL Vsk_AllUpload(int32_t handle, const char* ht, const char* folder,
                                       UploadList* list, int32_t show_progress) {
    return guarded("Vsk_AllUpload",
                   {trace::handle(handle), htArg(ht), trace::text("folder", folder)},
                   [&] { return vsk::ops::allUpload(handle, ht, folder, list, show_progress); });
}

VSK_API int32_t VSK_CALL Vsk_PollingAllDownload(int32_t handle, const char* mask,
                                                int32_t polling_ms, int32_t limit_s, int32_t count,
                                                const DownloadList* list,
                                                const ResultFileRecord* result,
                                                int32_t show_progress) {
    return guarded("Vsk_PollingAllDownload",
                   {trace::handle(handle), trace::mask(mask), trace::num("polling_ms", polling_ms),
                    trace::num("limit_s", limit_s), trace::num("count", count),
                    trace::text("result", result ? result->Path : nullptr, 128)},
                   [&] {
                       return vsk::ops::pollingAllDownload(handle, mask, polling_ms, limit_s, count,
                                                           list, result, show_progress);
                   });
}

VSK_API int32_t VSK_CALL Vsk_PollingAllUPload(int32_t handle, const char* mask, const char* folder,
                                              int32_t save_mode, int32_t polling_ms,
                                              int32_t limit_s, const ResultFileRecord* result,
                                              int32_t show_progress) {
    return guarded("Vsk_PollingAllUPload",
                   {trace::handle(handle), trace::mask(mask), trace::text("folder", folder),
                    trace::num("save_mode", save_mode), trace::num("polling_ms", polling_ms),
                    trace::num("limit_s", limit_s),
                    trace::text("result", result ? result->Path : nullptr, 128)},
                   [&] {
                       return vsk::ops::pollingAllUpload(handle, mask, folder, save_mode,
                                                         polling_ms, limit_s, result,
                                                         show_progress);
                   });
}

VSK_API int32_t VSK_CALL Vsk_Suspend(int32_t handle) {
    return vsk::ops::suspend(handle);
}

VSK_API int32_t VSK_CALL Vsk_GetProcess(int32_t handle, ProgressRecord* progress) {
    return vsk::ops::getProcess(handle, progress);
}

VSK_API int32_t VSK_CALL Vsk_ClrProcess(int32_t handle) {
    return vsk::ops::clrProcess(handle);
}

VSK_API int32_t VSK_CALL Vsk_GetSysErrorMsg(char* buffer) {
    return vsk::ops::sysErrorMessage(buffer);
}

}  // extern "C"
