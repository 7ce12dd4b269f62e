// The manual tool's question for a new file name. The caller sets the prompt
// (lblRename) and the current name (txtRename), shows the dialog with exec()
// and reads BtnIndex: 1 means cancel, else NewFileName holds the name typed.
// One object may be shown again and again in a loop.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace vsk::ui {

class F_Ren : public QDialog {
  public:
    static constexpr int16_t kRename = 0;
    static constexpr int16_t kCancel = 1;

    explicit F_Ren(QWidget* parent = nullptr);
    ~F_Ren() override;

    QLabel* lblRename() const { return lblRename_; }
    QLineEdit* txtRename() const { return txtRename_; }
    // Button 0 renames, button 1 cancels; nullptr for any other index.
    QPushButton* btn(int index) const;
    // The last button pressed: 0 before the first, 1 also for the close box
    // and Escape. A new show does not reset it.
    int16_t BtnIndex() const { return btnIndex_; }
    // txtRename's text, untrimmed, when button 0 was last pressed; a cancel
    // leaves it as it was, empty before the first rename.
    QString NewFileName() const { return newFileName_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

  private:
    void answer(int16_t index);

    QLabel* lblRename_ = nullptr;
    QLineEdit* txtRename_ = nullptr;
    std::array<QPushButton*, 2> btn_{};
    int16_t btnIndex_ = 0;
    QString newFileName_;
};

}  // namespace vsk::ui
