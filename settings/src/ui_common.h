// What every window of the desktop tools shares: a font that can show the
// Japanese texts, and windows that centre themselves when they load.
#pragma once

class QApplication;
class QWidget;

namespace vsk::ui {

// Makes a Japanese-capable proportional sans face the application's font.
void useJapaneseFont(QApplication& app);
// Moves `w` to the middle of the screen it is on (or the primary screen).
void centreOnScreen(QWidget* w);

}  // namespace vsk::ui
