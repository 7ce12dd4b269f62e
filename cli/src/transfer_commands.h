// The commands that move files between the PC and the terminals.
#pragma once

#include "command_line.h"

namespace veskactl {

int runPut(const Invocation& invocation);
int runGet(const Invocation& invocation);
int runGetAll(const Invocation& invocation);
int runInstall(const Invocation& invocation);
int runOsInstall(const Invocation& invocation);
int runServeDownload(const Invocation& invocation);
int runServeUpload(const Invocation& invocation);

}  // namespace veskactl
