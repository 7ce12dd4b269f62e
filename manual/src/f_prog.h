// The modal window in which the manual tool runs every operation that moves
// files: it makes the library calls itself, shows the file in transfer with a
// bar read from the library's counters every 50 ms, and offers an abort.
// The caller sets the properties, fills the file table, enables TimerStart,
// shows the window with exec() and reads Result afterwards.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

#include "file_table.h"
#include "veska.h"

class QCloseEvent;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace vsk::ui {

class F_Prog : public QDialog {
  public:
    // Operation kinds.
    enum : int16_t {
        kPollingDownload = 1,
        kPollingUpload = 2,
        kInstall = 3,
        kDownload = 4,
        kUpload = 5,
    };

    explicit F_Prog(QWidget* parent = nullptr);
    ~F_Prog() override;

    void setProtype(int16_t kind) { protype_ = kind; }
    // The HT number "001" to "128"; for the polling kinds the 128-character
    // terminal selection.
    void setHtno(const QString& ht) { htno_ = ht; }
    void setSkipMode(int32_t mode) { skipMode_ = mode; }
    void setSaveMode(int32_t mode) { saveMode_ = mode; }
    void setUpfolder(const QString& folder) { upfolder_ = folder; }
    void setPollingTout(int32_t ms) { pollingTout_ = ms; }
    void setResFileName(const QString& path) { resFileName_ = path; }
    void setResMode(int32_t mode) { resMode_ = mode; }
    int32_t Result() const { return result_; }

    // Resets the bar, keeps the session handle and clears the library's counters.
    void ProgClr(int32_t handle);
    // -1 when the table is full, else 0.
    int16_t FileTblAdd(const QByteArray& name, int32_t size);
    // The number of entries before the call; the first one moves out.
    int16_t FileTblGet(QByteArray& name, int32_t& size);
    void FileTblClr();

    QTimer* TimerStart() const { return timerStart_; }
    QTimer* Timer1() const { return timer1_; }
    QPlainTextEdit* txtMsg() const { return txtMsg_; }
    QProgressBar* ProgressBar1() const { return progressBar1_; }
    QPushButton* btn() const { return btn_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void start();
    void runOperation();
    void runPollingDownload();
    void runPollingUpload();
    void runInstall();
    void runDownload();
    void runUpload();
    void showProgress();
    void showFile(const QString& name);
    void abort();
    ResultFileRecord resultRecord() const;

    QPlainTextEdit* txtMsg_ = nullptr;
    QProgressBar* progressBar1_ = nullptr;
    QPushButton* btn_ = nullptr;
    QTimer* timerStart_ = nullptr;
    QTimer* timer1_ = nullptr;

    int16_t protype_ = 0;
    QString htno_;
    int32_t handle_ = 0;
    int32_t pollingTout_ = 0;
    int32_t skipMode_ = 0;
    int32_t saveMode_ = 0;
    QString upfolder_;
    QString resFileName_;
    int32_t resMode_ = 0;
    int32_t result_ = 0;
    FileTable table_;
    bool pollingDisplay_ = true;
    bool finished_ = false;  // the operation has ended: the window may close
    bool centred_ = false;
};

// The folder and the file name of a path, split at its last "/".
struct SplitPath {
    QString folder;
    QString name;
};
SplitPath splitPath(const QString& path);

}  // namespace vsk::ui
