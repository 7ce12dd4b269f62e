// The library's own progress window: the operation, the terminal's HT number,
// the file name, bytes done of bytes total, a bar and an abort button. The
// user cannot close it; the operation that opened it removes it.
#pragma once

#include <QDialog>
#include <QString>

class QCloseEvent;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace vsk::qthost {

class ProgressWindow : public QDialog {
  public:
    // `onAbort` runs when the abort button is pressed.
    explicit ProgressWindow(void (*onAbort)());

    // Shows the fields of window type `type` (0-7) with these texts.
    void setUp(const QString& ht, const QString& name, int type);
    void showProgress(int done, int total);
    // Closes the window for good (the user cannot).
    void remove();

    bool aborted() const { return aborted_; }

    // The operation texts of the window types 0-7; empty for other types.
    static QString operationText(int type);
    // Bytes done of bytes total as a bar position 0-100.
    static int barPosition(int done, int total);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    // A label for the template's control `id`, with its text and place.
    QLabel* label(const char* objectName, int id);
    QRect dialogRect(int id) const;
    QRect dialogRect(int x, int y, int w, int h) const;
    void pushTexts();
    void abortPressed();

    void (*onAbort_)();
    bool aborted_ = false;
    bool removing_ = false;
    int baseX_ = 6;  // dialog base units of the window's font, in pixels
    int baseY_ = 12;

    QString htNo_;
    QString fileName_;
    QString bytesDone_;
    QString bytesTotal_;
    QString operation_;

    QGroupBox* frame_ = nullptr;
    QLabel* htNoLabel_ = nullptr;
    QLabel* htNoText_ = nullptr;
    QLabel* operationText_ = nullptr;
    QLabel* fileNameText_ = nullptr;
    QLabel* bytesDoneText_ = nullptr;
    QLabel* separator_ = nullptr;
    QLabel* bytesTotalText_ = nullptr;
    QLabel* pollingText_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* abortButton_ = nullptr;
};

}  // namespace vsk::qthost
