// The manual tool's version box, shown modally from the main window's menu.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QShowEvent;

namespace vsk::ui {

class F_Ver : public QDialog {
  public:
    explicit F_Ver(QWidget* parent = nullptr);
    ~F_Ver() override;

    QLabel* Image1() const { return image1_; }
    QLabel* Label1() const { return label1_; }
    QPushButton* Command1() const { return command1_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QLabel* image1_ = nullptr;
    QLabel* label1_ = nullptr;
    QPushButton* command1_ = nullptr;
};

}  // namespace vsk::ui
