// How the desktop tools start: without a display only to say so (a clear line
// on stderr and exit status 2, where Qt would otherwise abort the process);
// with one, as the program they are: its icon, its menu entry, and the
// toolkit's own dialogs in Japanese like every other text of the tools.
#pragma once

#include <QApplication>
#include <QIcon>
#include <memory>

namespace vsk::ui {

inline constexpr int kNoDisplayExit = 2;

// The application object for `program`, dressed as that program, or null
// (after the message on stderr) when no display can be opened. `hint` is
// added to the message.
std::unique_ptr<QApplication> openApplication(int& argc, char** argv, const char* program,
                                              const char* hint = nullptr);

// Gives the application `program`'s icon ("veskam", "veskad" or "veskau") and
// menu entry, and loads the toolkit's Japanese translations. False when the
// translations are not installed (said on stderr): the standard dialogs then
// speak English.
bool dressApplication(QApplication& app, const char* program);

// The icon of `program`, built into the tools; the icon theme's when unknown.
QIcon programIcon(const char* program);

}  // namespace vsk::ui
