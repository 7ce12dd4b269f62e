// The auto-mode job commands: showing a job file as the desktop tools'
// confirmation lists it, and running it as their command-line start does,
// without a window. Built only with the desktop tools' job library.
#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "auto_run.h"
#include "command_line.h"

namespace veskactl {

int runJobShow(const Invocation& invocation);
int runJobRun(const Invocation& invocation);

// Job kinds as the job library numbers them.
inline constexpr int16_t kDownloadJob = 1;
inline constexpr int16_t kUploadJob = 2;

// A job file named on the command line: the user's local 8-bit text, made
// absolute against the current folder, since the job library takes only
// absolute paths.
QString jobFilePath(const std::string& typed);

// The jobs `path` holds, download first: a section counts when it names
// terminals. Without a direction a command takes these.
std::vector<int16_t> jobsHeld(const QString& path);

// The line options typed on the command line replace the stored ones they
// name; --polling replaces the job's polling time-out.
void applyTypedLine(const Invocation& invocation, vsk::ui::AutoJob& job);

// The line printed for a terminal served: when, which terminal, the
// direction and number of files, the result code and its text.
std::string jobStatusLine(const QDateTime& when, const QString& ht, int16_t protype, int32_t count,
                          int32_t result);

}  // namespace veskactl
