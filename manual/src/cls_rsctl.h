// The one object through which the manual tool talks to the link library: the
// line settings for opening, the session handle, the last listing of the
// terminal and the file table that carries a selection into an operation.
// Operations that move files run in the progress window F_Prog; deleting and
// renaming terminal files ask the user file by file.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <functional>

#include "file_table.h"
#include "veska.h"

class QWidget;

namespace vsk::ui {

class F_Prog;

class ClsRSCtl {
  public:
    // `parent` owns the dialogs and windows the operations show.
    explicit ClsRSCtl(QWidget* parent = nullptr) : parent_(parent) {}

    // The line settings, as the codes the library takes.
    QVariant BaudRate() const { return settings_.BaudRate; }
    void setBaudRate(const QVariant& v);
    QVariant Parity() const { return settings_.Parity; }
    void setParity(const QVariant& v);  // "N", "E", "O" or a code
    QVariant BiteSize() const { return settings_.BiteSize; }
    void setBiteSize(const QVariant& v);  // 7 or 8 bits, or a code
    QVariant StopBits() const { return settings_.StopBits; }
    void setStopBits(const QVariant& v);  // 1 or 2 stop bits, or a code
    QVariant Flow() const { return settings_.Flow; }
    void setFlow(const QVariant& v);
    QVariant timeout() const { return settings_.timeout; }
    void setTimeout(const QVariant& v);
    QVariant Retry() const { return settings_.Retry; }
    void setRetry(const QVariant& v);

    QVariant FCnt() const { return static_cast<int16_t>(table_.count()); }
    QVariant FreeSize() const { return freeSize_; }
    int32_t handle() const { return handle_; }

    // The new count, or -1 when the table is full.
    int16_t FileTblAdd(const QByteArray& name, int32_t size);
    // The count before the call; the first entry moves out.
    int16_t FileTblGet(QByteArray& name, int32_t& size);
    void FileTblClr();

    int32_t VskComOpen(int32_t port);
    int32_t VskComClose();
    int32_t VskSuspend();
    int32_t VskPolling(const QString& ht, int32_t pollingTout);
    // The system's text for the library's last failed system call; empty if none.
    QString VskGetSysErrorMsg() const;
    int32_t VskDispInit(const QString& ht);
    // Lists the terminal's files into the file table.
    int32_t VskDIR(const QString& ht);
    // Deletes the files of the table on the terminal, asking before each one.
    int32_t VskFDelete(const QString& ht);
    // Renames the files of the table on the terminal, asking for each new name.
    int32_t VskFRename(const QString& ht);
    int32_t VskAPInstall(const QString& ht);
    int32_t VskFDownload(const QString& ht);
    int32_t VskFUpload(const QString& ht, const QString& upFolder);
    int32_t VskPollingAllDownload(const QString& ht, int32_t pollingTout,
                                  const QString& resFileName, int32_t resMode, int32_t skipMode);
    int32_t VskPollingAllUpload(const QString& ht, const QString& upFolder, int32_t saveMode,
                                int32_t pollingTout, const QString& resFileName, int32_t resMode);

  private:
    // What the progress window is given as each file's size.
    enum class SizeGiven { kNone, kListed, kPcFileLength };
    int32_t runInProgressWindow(int16_t kind, const QString& ht, bool copyTable, SizeGiven sizes,
                                const std::function<void(F_Prog&)>& setUp);

    QWidget* parent_;
    LineSettings settings_{};
    int32_t handle_ = 0;
    DirRecord listing_{};
    FileTable table_;
    int32_t freeSize_ = 0;
};

}  // namespace vsk::ui
