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

int32_t fileDownload(int32_t handle, const char* ht, const char* path, int32_t size, int32_t show);
int32_t fileUpload(int32_t handle, const char* ht, int32_t saveMode, const char* folder,
                   const char* name, int32_t size, int32_t show);
int32_t apInstall(int32_t handle, const char* ht, const char* path, int32_t size, int32_t mode,
                  int32_t show);
int32_t osInstall(int32_t handle, const char* ht, const char* path, int32_t size, int32_t show);
int32_t osInstall2(int32_t handle, const char* ht, const char* osPath, int32_t osSize,
                   const char* exPath, int32_t exSize, int32_t show);
int32_t allDownload(int32_t handle, const char* ht, int32_t count, DownloadList* list,
                    int32_t show);
int32_t allUpload(int32_t handle, const char* ht, const char* folder, UploadList* list,
                  int32_t show);
int32_t pollingAllDownload(int32_t handle, const char* mask, int32_t pollingMs, int32_t limitS,
                           int32_t count, const DownloadList* list, const ResultFileRecord* result,
                           int32_t show);
int32_t pollingAllUpload(int32_t handle, const char* mask, const char* folder, int32_t saveMode,
                         int32_t pollingMs, int32_t limitS, const ResultFileRecord* result,
                         int32_t show);

int32_t suspend(int32_t handle);
int32_t getProcess(int32_t handle, ProgressRecord* progress);
int32_t clrProcess(int32_t handle);
int32_t sysErrorMessage(char* buffer);

}  // namespace vsk::ops
