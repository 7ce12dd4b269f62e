// One auto-mode run: the endless polling cycle over the selected terminals,
// the batch transfer with every terminal that answers, and the history file.
// The run window drives it with its timers and `veskactl job run` with a
// plain loop, so both run a job the same way and write the same history.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <array>
#include <atomic>
#include <cstdint>

#include "cls_datfile.h"
#include "history.h"
#include "veska.h"

namespace vsk::ui {

// What the run window's properties hold.
struct AutoJob {
    int32_t ComPort = 0;
    LineSettings line{};  // BaudRate, Parity, BiteSize, StopBits, Flow, timeout, Retry
    int16_t protype = 0;  // 1 download, 2 upload
    QString htno;         // 128 characters "0"/"1", character k for terminal k
    int32_t SkipMode = 0;
    int32_t SaveMode = 0;
    QString upfolder;
    int32_t PollingTout = 0;
    QString ResFileName;  // 128 characters, blank-filled
    int32_t ResMode = 0;
    QString stopFolder;  // where "ENDPRM.DAT" is looked for; empty: no stop file
};

// What a run tells the one driving it. Every member but `notice` has a
// default that does nothing.
class RunEvents {
  public:
    virtual ~RunEvents() = default;
    // Something the user must learn while the run goes on: a failure that
    // keeps coming back, a history that cannot be written, files left out.
    // Said once when it begins and once when it ends, not every cycle. The
    // default writes it to stderr.
    virtual void notice(const QString& text);
    // Just before the transfer call with a terminal that answered.
    virtual void transferStarting(const QString& /*ht*/) {}
    // After its history is written. `count` is the number of files sent
    // (download) or offered (upload).
    virtual void transferEnded(const QString& /*ht*/, int32_t /*result*/, int32_t /*count*/) {}
    // Between the steps that look for the next selected terminal.
    virtual void processEvents() {}
};

class AutoRunner {
  public:
    static constexpr int kTerminals = VSK_MAX_HT;
    static constexpr const char* kStopFileName = "ENDPRM.DAT";

    explicit AutoRunner(RunEvents* events = nullptr);
    ~AutoRunner();
    AutoRunner(const AutoRunner&) = delete;
    AutoRunner& operator=(const AutoRunner&) = delete;

    AutoJob& job() { return job_; }
    const AutoJob& job() const { return job_; }
    ClsDatFile& files() { return files_; }
    void setEvents(RunEvents* events) { events_ = events; }
    // For tests: the clock of the history lines.
    void setClock(Clock clock) { clock_ = std::move(clock); }

    // Back to the start: no abort, terminal 1, `Result` 0.
    void reset();
    // Opens the session; a failure goes into `Result`. True when it opened.
    bool open();
    // One polling tick. False when the run is to end: aborted, the stop
    // file, or a transfer result that ends a run (see `endsRun`).
    bool pollingTick();
    // Asks a running call to stop and ends the run at the next tick. Safe
    // from a signal handler.
    void abort();
    bool aborted() const { return aborted_.load(); }
    // Closes the session and writes down the repeats not yet counted in the
    // history; returns `closingMessage()`.
    QString close();
    // What the user must be told about the result that ended the run ("" when
    // nothing), the text of the closing message box.
    QString closingMessage() const { return closingMessage(job_.protype, endedBy_); }
    // The result that ended the run (0 for none), and whether it was the
    // session's open: the closing box then explains the port, not a transfer.
    int32_t endedBy() const { return endedBy_; }
    bool openFailed() const { return openFailed_; }

    int32_t Result() const { return result_; }
    // What goes wrong for the time being, one line each, for the status
    // text: terminals whose transfers keep failing alike, a history that
    // cannot be written, files the transfer list leaves out.
    QStringList alerts() const;
    // True when a history write failed during the run: a run that lost
    // history lines must not end as a success.
    bool historyFailed() const { return historyEverFailed_; }
    // The terminal being served or looked at next, "001".."128".
    QString currentHt() const;
    bool sessionOpen() const { return handle_.load() != 0; }

    // The progress of a running transfer, when there is some to show.
    bool progress(QString* text, int32_t* percent) const;

    // Results that end a run: 2004 (terminal in the wrong mode), 1003
    // (aborted here) and every failed system call.
    static bool endsRun(int32_t result);
    // The closing message for `result` in a run of `protype`; "" for none.
    static QString closingMessage(int16_t protype, int32_t result);
    // True when the stop file in `folder` says to stop: its first line
    // begins with "2".
    static bool stopFileSays(const QString& folder);

  private:
    // The last block written for one terminal while its transfers fail, and
    // how many transfers since then ended exactly alike and were left out.
    struct Repeats {
        HistoryBlock block;
        QString signature;
        int count = 0;
    };

    bool selected(int index) const;
    void advance();
    void startTransfer(const QString& ht);
    int32_t download(const QString& ht, int32_t* count);
    int32_t upload(const QString& ht, int32_t* count);
    bool lineWorks(const QString& ht);
    void sayLeftOut();
    void record(const HistoryBlock& block);
    bool written(const QString& ht, const QList<HistoryBlock::Row>& rows);
    void writePendingRepeats();
    void notice(const QString& text);

    AutoJob job_;
    ClsDatFile files_;
    RunEvents* events_;
    Clock clock_;
    DownloadList downloads_{};
    UploadList uploads_{};  // kept between terminals: its Count is the last one's
    std::atomic<int32_t> handle_{0};
    std::atomic<bool> aborted_{false};
    int index_ = 1;
    int32_t result_ = 0;
    bool openFailed_ = false;
    int32_t endedBy_ = 0;                            // the result that ended the run, 0 for none
    std::array<Repeats, kTerminals + 1> repeats_{};  // by terminal number
    bool historyFailing_ = false;
    bool historyEverFailed_ = false;
    QStringList leftOut_;  // files the last expansion left out, as said
    QSet<QString> leftOutSaid_;
};

}  // namespace vsk::ui
