// The run window of both auto tools: opens the session when it is shown,
// polls the selected terminals one after another every 50 ms, transfers the
// job's files with each one that answers, keeps the history file and shows
// what it does. The abort button and the close box end the run; so do the
// stop file (command-line starts), a result that ends a run, and a failed
// open. The run itself is an AutoRunner; this window gives it timers.
#pragma once

#include <QDialog>
#include <QString>
#include <QVariant>
#include <cstdint>

#include "auto_run.h"

class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace vsk::ui {

class F_Auto : public QDialog, private RunEvents {
  public:
    static constexpr int kStartInterval = 5;
    static constexpr int kPollingInterval = 50;
    static constexpr int kProgressInterval = 50;

    // Where the run stands. Each state has its one timer running, or none
    // (enter()); the window closes only once the run has Ended.
    enum class State {
        Idle,          // not shown yet: nothing runs
        Loading,       // shown: the run starts once the show has finished
        Opening,       // the session has been opened; TimerStart looks at the result
        Polling,       // TimerPolling waits for the next tick
        Ticking,       // inside a tick: the selected terminals are polled in turn
        Transferring,  // a transfer runs inside the tick: Timer1 shows its progress
        Closing,       // the run is over: its failure is shown and the line closed
        Ended,         // the window may close, or be shown again for another run
    };

    explicit F_Auto(QWidget* parent = nullptr);
    ~F_Auto() override;

    // The properties, set before the window is shown. A number property
    // takes a number or a text that starts with one ("75ms" is 75); any
    // other text leaves it as it was.
    int32_t ComPort() const { return run_.job().ComPort; }
    void setComPort(const QVariant& v);
    int32_t BaudRate() const { return run_.job().line.BaudRate; }
    void setBaudRate(const QVariant& v);
    // "N", "E", "O" or the code 0 to 2.
    int32_t Parity() const { return run_.job().line.Parity; }
    void setParity(const QVariant& v);
    // 7 or 8 data bits (codes 0 and 1).
    int32_t BiteSize() const { return run_.job().line.BiteSize; }
    void setBiteSize(const QVariant& v);
    // 1 or 2 stop bits (codes 0 and 1).
    int32_t StopBits() const { return run_.job().line.StopBits; }
    void setStopBits(const QVariant& v);
    int32_t Flow() const { return run_.job().line.Flow; }
    void setFlow(const QVariant& v);
    int32_t timeout() const { return run_.job().line.timeout; }
    void setTimeout(const QVariant& v);
    int32_t Retry() const { return run_.job().line.Retry; }
    void setRetry(const QVariant& v);
    int16_t protype() const { return run_.job().protype; }
    void setProtype(const QVariant& v);
    QString htno() const { return run_.job().htno; }
    void setHtno(const QString& mask);
    int32_t SkipMode() const { return run_.job().SkipMode; }
    void setSkipMode(const QVariant& v);
    int32_t SaveMode() const { return run_.job().SaveMode; }
    void setSaveMode(const QVariant& v);
    QString upfolder() const { return run_.job().upfolder; }
    void setUpfolder(const QString& folder);
    int32_t PollingTout() const { return run_.job().PollingTout; }
    void setPollingTout(const QVariant& v);
    // Kept as 128 characters: cut or blank-filled.
    QString ResFileName() const { return run_.job().ResFileName; }
    void setResFileName(const QString& path);
    int32_t ResMode() const { return run_.job().ResMode; }
    void setResMode(const QVariant& v);
    int32_t Result() const { return run_.Result(); }
    // The job file's path; the window keeps its folder, where it looks for
    // the stop file.
    QString SetPath() const { return run_.job().stopFolder; }
    void setSetPath(const QString& jobFile);
    bool IconFlg() const { return iconFlg_; }
    void setIconFlg(bool minimised) { iconFlg_ = minimised; }
    int32_t FileTblAdd(const QString& name) { return run_.files().FileTblAdd(name); }
    void FileTblClr() { run_.files().FileTblClr(); }

    // BaudRate, Parity, BiteSize, StopBits, timeout, Retry and ComPort from
    // the settings store, in that order.
    void setLineFromStore();
    // Everything at once: the job as read from a job file, and the line.
    void setJob(const AutoJob& job);
    // Shows the window and runs the job: modal (returns when the run has
    // ended) or modeless (returns at once).
    void runModal() { exec(); }
    void runModeless() { show(); }

    QPlainTextEdit* txtMsg() const { return txtMsg_; }
    QPushButton* btn() const { return btn_; }
    QProgressBar* ProgressBar1() const { return progressBar1_; }
    QTimer* TimerStart() const { return timerStart_; }
    QTimer* TimerPolling() const { return timerPolling_; }
    QTimer* Timer1() const { return timer1_; }
    AutoRunner& runner() { return run_; }
    State state() const { return state_; }

    void btn_Click();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void enter(State next);
    void load();
    void TimerStart_Timer();
    void TimerPolling_Timer();
    void Timer1_Timer();
    void showPolling();
    void finish();

    void transferStarting(const QString& ht) override;
    void transferEnded(const QString& ht, int32_t result, int32_t count) override;
    void notice(const QString& text) override;
    void processEvents() override;

    AutoRunner run_;
    QPlainTextEdit* txtMsg_ = nullptr;
    QPushButton* btn_ = nullptr;
    QProgressBar* progressBar1_ = nullptr;
    QTimer* timerStart_ = nullptr;
    QTimer* timerPolling_ = nullptr;
    QTimer* timer1_ = nullptr;
    bool iconFlg_ = false;
    State state_ = State::Idle;
};

}  // namespace vsk::ui
