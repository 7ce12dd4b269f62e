// The terminal operations behind the exported functions. Each takes the
// caller's arguments as given and returns a result code; the busy guard and
// argument copies are the export layer's.
#pragma once

#include <cstdint>

#include "veska.h"

namespace vsk::ops {

int32_t dir(int32_t handle, const char* ht, DirRecord* dir);
int32_t fileInfo(int32_t handle, const char* ht, FileInfoRecord* info);
int32_t status(int32_t handle, const char* ht, StatusRecord* status);
int32_t dispInit(int32_t handle, const char* ht);
int32_t fileDelete(int32_t handle, const char* ht, const char* name);
int32_t fileRename(int32_t handle, const char* ht, const char* oldName, const char* newName);
int32_t reboot(int32_t handle, const char* ht);
int32_t powerOff(int32_t handle, const char* ht);
int32_t remoteEnd(int32_t handle, const char* ht);
int32_t apEnd(int32_t handle, const char* ht);

int32_t polling(int32_t handle, const char* ht, int32_t pollingMs);

int32_t suspend(int32_t handle);
int32_t getProcess(int32_t handle, ProgressRecord* progress);
int32_t clrProcess(int32_t handle);
int32_t sysErrorMessage(char* buffer);

}  // namespace vsk::ops
