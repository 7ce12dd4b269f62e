// What every window of the desktop tools shares: a font that can show the
// Japanese texts, windows that centre themselves when they load, and option
// groups that the keyboard enters at their selection.
#pragma once

class QApplication;
class QButtonGroup;
class QRadioButton;
class QString;
class QWidget;

namespace vsk::ui {

// Makes a Japanese-capable proportional sans face the application's font.
void useJapaneseFont(QApplication& app);
// Moves `w` to the middle of the screen it is on (or the primary screen).
void centreOnScreen(QWidget* w);
// Adds an option button to `group` under `id`. The group is one tab stop,
// at its selected button (the first when none is selected), wherever the
// selection or the focus moves; the arrow keys move and select within it.
QRadioButton* addOption(QButtonGroup* group, int id, const QString& caption, QWidget* parent);

}  // namespace vsk::ui
