// The confirmation shown before an auto-mode job runs, in both auto tools:
// a heading, one line per setting, and OK / Cancel. The caller sets the
// heading (Label1), fills the list, shows the dialog with exec() and reads
// Result.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;
class QShowEvent;

namespace vsk::ui {

class F_Msg : public QDialog {
  public:
    explicit F_Msg(QWidget* parent = nullptr);
    ~F_Msg() override;

    void ClrList();
    void AddList(const QString& line);

    QLabel* Label1() const { return label1_; }
    QListWidget* lstMsg() const { return lstMsg_; }
    QLabel* Label2() const { return label2_; }
    QPushButton* OKButton() const { return okButton_; }
    QPushButton* CancelButton() const { return cancelButton_; }
    // True only when the last show ended with OK.
    bool Result() const { return result_; }

    void OKButton_Click();
    void CancelButton_Click();

  protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

  private:
    QLabel* label1_ = nullptr;
    QListWidget* lstMsg_ = nullptr;
    QLabel* label2_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    bool result_ = false;
};

// Shows `heading` and `lines` in a new F_Msg above `parent`; true on OK.
bool confirmJob(QWidget* parent, const QString& heading, const QStringList& lines);

}  // namespace vsk::ui
