// The exported batch calls and the two-file system install.
#include <cstring>
#include <utility>

#include "arguments.h"
#include "batch.h"
#include "ops.h"
#include "platform/files.h"
#include "session.h"
#include "transfer.h"

namespace vsk::ops {
namespace {

// The upper-cased name a system-install file is judged by.
std::string upperName(const std::string& path) {
    std::string name;
    return xfer::terminalNameFor(path, true, &name) ? xfer::upperCased(name) : "";
}

bool namedLike(const std::string& name, const char* prefix) {
    return name.rfind(prefix, 0) == 0 && name.find(".HEX") != std::string::npos;
}

}  // namespace

int32_t allDownload(int32_t handle, const char* ht, int32_t count, DownloadList* list,
                    int32_t show) {
    if (list == nullptr) return VSK_E_PARAM;
    DownloadList copy = *list;
    xfer::InTransfer counting;
    int32_t r = batch::download(handle, ht, frame::cmd::kBatchDownload, count, &copy, show, false,
                                host::WindowType::kBatchDownload);
    *list = copy;
    return r;
}

int32_t allUpload(int32_t handle, const char* ht, const char* folderArg, UploadList* list,
                  int32_t show) {
    if (list == nullptr || folderArg == nullptr) return VSK_E_PARAM;
    PathField folder(folderArg);
    if (!folder.valid()) return VSK_E_PARAM;
    UploadList copy = *list;
    int32_t r;
    {
        xfer::InTransfer counting;
        r = batch::upload(handle, ht, folder.text, &copy, show, false,
                          host::WindowType::kBatchUpload);
    }
    // Names blank-filled to their 13 bytes; entries past the count blank.
    for (int k = 0; k < VSK_MAX_FILES; ++k) {
        char* name = copy.Entries[k].Name;
        if (k < copy.Count) {
            for (int i = static_cast<int>(sizeof copy.Entries[k].Name) - 1;
                 i >= 0 && name[i] == '\0'; --i) {
                name[i] = ' ';
            }
        } else {
            std::memset(name, ' ', sizeof copy.Entries[k].Name);
        }
    }
    *list = copy;
    return r;
}

int32_t osInstall2(int32_t handle, const char* htArg, const char* osArg, int32_t osSize,
                   const char* exArg, int32_t exSize, int32_t show) {
    HtField ht(htArg);
    PathField osPath(osArg), exPath(exArg);
    setCurrentHt(ht.text);
    if (!handleValid(handle)) return VSK_E_HANDLE;
    clearAbort();
    purgeInput();
    if (!ht.valid() || osArg == nullptr || exArg == nullptr || !osPath.valid() || !exPath.valid()) {
        return VSK_E_PARAM;
    }
    if (!namedLike(upperName(osPath.text), "OS")) return VSK_E_OS_FILE_MISSING;
    if (!namedLike(upperName(exPath.text), "EX")) return VSK_E_EX_FILE_MISSING;
    // The batch would pass over a file whose length differs and still end
    // with 0, reporting an install that never happened.
    for (const auto& [path, size] : {std::pair{&osPath, osSize}, std::pair{&exPath, exSize}}) {
        if (!platform::pathExists(path->text)) continue;  // the batch reports it missing (3003)
        int64_t length = 0;
        if (!platform::fileSize(path->text, &length) || length != size ||
            size > VSK_MAX_FILE_SIZE) {
            return VSK_E_PARAM;
        }
    }
    DownloadList list{};
    std::memcpy(list.Entries[0].Path, osPath.text.data(), osPath.text.size());
    list.Entries[0].Size = osSize;
    list.Entries[0].SkipMode = 1;
    std::memcpy(list.Entries[1].Path, exPath.text.data(), exPath.text.size());
    list.Entries[1].Size = exSize;
    list.Entries[1].SkipMode = 1;
    xfer::InTransfer counting;
    return batch::download(handle, ht.text, frame::cmd::kOsInstall2, 2, &list, show, false,
                           host::WindowType::kOsInstall);
}

}  // namespace vsk::ops
