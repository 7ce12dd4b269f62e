// The desktop tools start without a display only to say so: a clear line on
// stderr and exit status 2, where Qt would otherwise abort the process.
#pragma once

#include <QApplication>
#include <memory>

namespace vsk::ui {

inline constexpr int kNoDisplayExit = 2;

// The application object for `program`, or null (after the message on
// stderr) when no display can be opened. `hint` is added to the message.
std::unique_ptr<QApplication> openApplication(int& argc, char** argv, const char* program,
                                              const char* hint = nullptr);

}  // namespace vsk::ui
