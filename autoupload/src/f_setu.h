// The upload tool's job editor: terminals, polling interval, the PC folder
// that receives the files, what to do with a file of the same name, and the
// history. It saves only the upload job of a job file.
#pragma once

#include "f_setd.h"

namespace vsk::ui {

class F_SetU : public JobEditor {
  public:
    explicit F_SetU(QWidget* parent = nullptr);
    ~F_SetU() override;

    QLineEdit* txtUpFolder() const { return txtUpFolder_; }
    QPushButton* btnFileOpen() const { return btnFileOpen_; }
    // The save mode: buttons 0 to 2.
    QButtonGroup* optFile() const { return optFile_; }
    QGroupBox* frmFile() const { return frmFile_; }
    QPushButton* btnUpStart() const { return btnUpStart_; }

    void btnFileOpen_Click();
    void btnUpStart_Click();

  protected:
    QString jobProblem() const override;
    bool writeJob(ClsSetFile& file) const override;
    QString confirmationTitle() const override;
    QStringList confirmationLines() const override;
    void setUpRun(F_Auto& window) const override;
    QStringList jobState() const override;

  private:
    QWidget* buildFolderRows();
    int saveMode() const;

    QLineEdit* txtUpFolder_ = nullptr;
    QPushButton* btnFileOpen_ = nullptr;
    QGroupBox* frmFile_ = nullptr;
    QButtonGroup* optFile_ = nullptr;
    QPushButton* btnUpStart_ = nullptr;
};

}  // namespace vsk::ui
