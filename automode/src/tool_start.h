// How both auto tools start: one copy per user; with no arguments, the main
// window; with arguments, the job file they name runs at once in the run
// window, and the tool ends when the run ends.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "f_auto.h"

namespace vsk::ui {

struct AutoTool {
    const char* program;  // "veskad" or "veskau"
    int16_t protype;      // 1 download, 2 upload
    std::function<std::unique_ptr<QWidget>()> mainWindow;
};

// The whole program: returns its exit status.
int runAutoTool(int argc, char** argv, const AutoTool& tool);

// The start with a job on the command line (`joined`: the arguments joined
// with single blanks): the run window, set up and shown modeless, or null
// after the error box when the job cannot be read.
std::unique_ptr<F_Auto> startFromCommandLine(const QString& joined, int16_t protype);

}  // namespace vsk::ui
