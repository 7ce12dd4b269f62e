// The main windows of the auto tools: what both share (AutoMainWindow)
// and the download tool's F_MainD. Four buttons: the job editor, reading and
// running a job file, the serial settings, and the end of the tool.
#pragma once

#include <QMainWindow>
#include <QString>

#include "f_setd.h"

class QLabel;
class QPushButton;
class QShowEvent;

namespace vsk::ui {

class AutoMainWindow : public QMainWindow {
  public:
    ~AutoMainWindow() override;

    QLabel* Label1() const { return label1_; }
    QLabel* Label2() const { return label2_; }
    QLabel* Image1() const { return image1_; }
    QLabel* lblVer() const { return lblVer_; }
    QPushButton* btnSetData() const { return btnSetData_; }
    QPushButton* btnFileRead() const { return btnFileRead_; }
    QPushButton* btnRSSet() const { return btnRSSet_; }
    QPushButton* btnEnd() const { return btnEnd_; }

    // Used for every run window this window or its editor starts.
    void setRunWindow(RunWindowHook hook) { runWindow_ = std::move(hook); }

    virtual void btnSetData_Click() = 0;
    virtual void btnFileRead_Click() = 0;
    void btnRSSet_Click();
    void btnEnd_Click();

  protected:
    // `title`: the caption and the second title line.
    AutoMainWindow(const QString& title, QWidget* parent);

    // The job file the user picks; empty when none.
    QString chooseJobFile();
    // Opens `editor` modal, with this window's way of running jobs.
    void edit(JobEditor& editor);
    void run(F_Auto& window);

    void showEvent(QShowEvent* event) override;

  private:
    QLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* image1_ = nullptr;
    QLabel* lblVer_ = nullptr;
    QPushButton* btnSetData_ = nullptr;
    QPushButton* btnFileRead_ = nullptr;
    QPushButton* btnRSSet_ = nullptr;
    QPushButton* btnEnd_ = nullptr;
    RunWindowHook runWindow_;
    bool loaded_ = false;
};

class F_MainD : public AutoMainWindow {
  public:
    explicit F_MainD(QWidget* parent = nullptr);
    ~F_MainD() override;

    void btnSetData_Click() override;
    void btnFileRead_Click() override;
};

}  // namespace vsk::ui
