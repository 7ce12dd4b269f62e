// The manual tool's three-way question: delete / delete all / cancel before
// deleting files, overwrite / append / cancel before an upload meets a file of
// the same name. The caller sets the title, the message (txtMsg) and the three
// captions (btn), shows the dialog with exec() and reads BtnIndex. One object
// may be shown again and again in a loop.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

class QPlainTextEdit;
class QPushButton;
class QShowEvent;

namespace vsk::ui {

class F_CON : public QDialog {
  public:
    static constexpr int16_t kCancel = 2;

    explicit F_CON(QWidget* parent = nullptr);
    ~F_CON() override;

    QPlainTextEdit* txtMsg() const { return txtMsg_; }
    // Buttons 0, 1 and 2 from left to right; nullptr for any other index.
    QPushButton* btn(int index) const;
    // The last button pressed: 0 before the first, 2 also for the close box
    // and Escape. A new show does not reset it.
    int16_t BtnIndex() const { return btnIndex_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

  private:
    void answer(int16_t index);

    QPlainTextEdit* txtMsg_ = nullptr;
    std::array<QPushButton*, 3> btn_{};
    int16_t btnIndex_ = 0;
};

}  // namespace vsk::ui
