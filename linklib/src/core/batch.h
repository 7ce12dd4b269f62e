// Batch transfers with one terminal, shared by the exported batch calls, the
// two-file system install and the polling loops.
#pragma once

#include <cstdint>
#include <string>

#include "host/host.h"
#include "veska.h"

namespace vsk::batch {

// Sends the first `count` files of `list` under command `letter` ("W", or "V"
// for the two-file system install). With `keepWindow` the caller owns the
// progress window. Outcomes are written into `list`.
int32_t download(int32_t handle, const char* ht, char letter, int32_t count, DownloadList* list,
                 int32_t show, bool keepWindow, host::WindowType keptType);

// Receives every file the terminal offers into `folder`.
int32_t upload(int32_t handle, const char* ht, const std::string& folder, UploadList* list,
               int32_t show, bool keepWindow, host::WindowType keptType);

}  // namespace vsk::batch
