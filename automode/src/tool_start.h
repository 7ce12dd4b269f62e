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

// The exit status of a tool that another copy keeps from starting.
inline constexpr int kAlreadyRunningExit = 3;
inline const QString kAlreadyRunning = QStringLiteral("既に起動しているため、実行できません。");

// The whole program: returns its exit status.
int runAutoTool(int argc, char** argv, const AutoTool& tool);

// The program once its application object exists; `arguments` without the
// program's name. A copy started without a job while another runs brings
// that one's window to the front and ends. A copy started with a job while
// another runs says so, on stderr and in a message box, and ends with
// kAlreadyRunningExit: a scheduled job that did not run must not look like
// one that did.
int startAutoTool(const AutoTool& tool, const QStringList& arguments);

// The start with a job on the command line (`joined`: the arguments joined
// with single blanks): the run window, set up and shown modeless, or null
// after the error box when the job cannot be read.
std::unique_ptr<F_Auto> startFromCommandLine(const QString& joined, int16_t protype);

}  // namespace vsk::ui
