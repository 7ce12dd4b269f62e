// The job editors of the auto tools: what both share (JobEditor) and the
// download tool's editor F_SetD. An editor opens empty, checks what was
// typed before it saves or starts, saves the job into a job file, and starts
// the job as edited in the run window without saving it.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QShowEvent;
class QWidget;

namespace vsk::ui {

class ClsSetFile;
class F_Auto;

inline const QString kJobSaveFailed = QStringLiteral("設定ファイルの保存に失敗しました");
inline const QString kDiscardTitle = QStringLiteral("確認");
inline const QString kDiscardChanges = QStringLiteral("変更内容を破棄して閉じますか？");

// Runs a set-up run window; tests install one instead of showing it.
using RunWindowHook = std::function<void(F_Auto& window)>;
// Shows `window` modal, or hands it to `hook` when one is set.
void runJobWindow(F_Auto& window, const RunWindowHook& hook);

class JobEditor : public QDialog {
  public:
    ~JobEditor() override;

    QLineEdit* txtHTID() const { return txtHTID_; }
    QLineEdit* txtPolling() const { return txtPolling_; }
    // The history mode: buttons 0 to 2.
    QButtonGroup* optHis() const { return optHis_; }
    QGroupBox* frmHis() const { return frmHis_; }
    QLineEdit* txtHis() const { return txtHis_; }
    QPushButton* btnHis() const { return btnHis_; }
    QPushButton* btnSave() const { return btnSave_; }
    QPushButton* btnCancel() const { return btnCancel_; }

    void setRunWindow(RunWindowHook hook) { runWindow_ = std::move(hook); }

    void btnHis_Click();
    void btnSave_Click();
    void btnCancel_Click();

    // Something was edited since the editor was shown or last saved.
    bool hasUnsavedChanges() const;
    // Escape and the close box: asks first when there are unsaved changes,
    // and stays open on "いいえ".
    void reject() override;

  protected:
    // `noHistory`: the caption of history option 2.
    JobEditor(const QString& caption, const QString& noHistory, QWidget* parent);

    // Lays the editor out with the tool's own rows between the polling
    // interval and the history, and its start button beside the others.
    void layOut(QWidget* jobRows, QPushButton* start);
    // The checks before saving and starting, in order; the first failure is
    // shown and the result is false.
    bool validated();
    // Confirms the job as edited and runs it.
    void startJob();
    int historyMode() const;

    // The tool's own check, between the polling interval and the history:
    // the message, or empty when it passes.
    virtual QString jobProblem() const = 0;
    // Writes the job into its section; false when a write failed.
    virtual bool writeJob(ClsSetFile& file) const = 0;
    virtual QString confirmationTitle() const = 0;
    virtual QStringList confirmationLines() const = 0;
    virtual void setUpRun(F_Auto& window) const = 0;
    // What the tool's own controls hold, for telling whether they were edited.
    virtual QStringList jobState() const = 0;

    void showEvent(QShowEvent* event) override;

  private:
    QStringList editorState() const;
    // Tab goes down the editor as it is laid out.
    void orderTabs(QWidget* jobRows, QPushButton* start);

    QLineEdit* txtHTID_ = nullptr;
    QLineEdit* txtPolling_ = nullptr;
    QGroupBox* frmHis_ = nullptr;
    QButtonGroup* optHis_ = nullptr;
    QLineEdit* txtHis_ = nullptr;
    QPushButton* btnHis_ = nullptr;
    QPushButton* btnSave_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
    RunWindowHook runWindow_;
    bool centred_ = false;
    QStringList keptState_;  // as shown or as last saved
};

// Option buttons 0, 1, ... named `name`_0, `name`_1, ... in a frame; the
// first is selected. Tab enters the group at the selected one.
QButtonGroup* optionGroup(QGroupBox* frame, const QString& name, const QStringList& captions);

class F_SetD : public JobEditor {
  public:
    explicit F_SetD(QWidget* parent = nullptr);
    ~F_SetD() override;

    QLineEdit* txtFileName() const { return txtFileName_; }
    QPushButton* btnFileOpen() const { return btnFileOpen_; }
    QPushButton* btnAdd() const { return btnAdd_; }
    QPushButton* btnDel() const { return btnDel_; }
    QListWidget* lstDwnFile() const { return lstDwnFile_; }
    QCheckBox* chkSkip() const { return chkSkip_; }
    QPushButton* btnDwnStart() const { return btnDwnStart_; }

    void btnFileOpen_Click();
    void btnAdd_Click();
    void btnDel_Click();
    void btnDwnStart_Click();

  protected:
    QString jobProblem() const override;
    bool writeJob(ClsSetFile& file) const override;
    QString confirmationTitle() const override;
    QStringList confirmationLines() const override;
    void setUpRun(F_Auto& window) const override;
    QStringList jobState() const override;
    // Enter in the file name box adds the file, and goes no further.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* buildFileRows();
    QStringList listLines() const;
    int stopFlag() const;

    QLineEdit* txtFileName_ = nullptr;
    QPushButton* btnFileOpen_ = nullptr;
    QPushButton* btnAdd_ = nullptr;
    QPushButton* btnDel_ = nullptr;
    QListWidget* lstDwnFile_ = nullptr;
    QCheckBox* chkSkip_ = nullptr;
    QPushButton* btnDwnStart_ = nullptr;
};

}  // namespace vsk::ui
