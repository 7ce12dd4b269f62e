// The manual tool's main window: one terminal's files on the left, one PC
// folder's files on the right. While the link is started it polls the chosen
// terminal every 50 ms, lists its files when it answers, and lets the user
// copy, delete and rename files on either side and install an application.
#pragma once

#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "cls_reg.h"
#include "cls_rsctl.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace vsk::ui {

class FileListBox;
class FolderList;

class F_MainM : public QMainWindow {
  public:
    // What a click during a poll leaves to be done right after it.
    enum Pending : int16_t {
        kNone = 0,
        kStartStop = 1,
        kInstall = 2,
        kCopy = 3,
        kDelete = 4,
        kRename = 5,
        kDropOnTerminal = 6,
        kDropOnPc = 7,
        kClose = 9,
    };

    // What the window is doing. Each state decides which timers run, which
    // buttons are offered and what the status line says (enter()).
    enum class State {
        Stopped,     // no session: the start button opens one
        Connecting,  // polling the chosen terminal until it answers and is listed;
                     // the operation buttons show, but do nothing until then
        Waiting,     // as Connecting, with the buttons withheld: the terminal
                     // stopped answering, another was chosen or the line came back
        Connected,   // its files are listed: the operations are offered
        Polling,     // a poll runs: a click is left pending until it ends
        Listing,     // the terminal's files are being read
        Operating,   // an operation runs: other clicks do nothing
        LineLost,    // the port's device has gone: it is opened again once a second
        Closed,      // the window has let go of the line
    };

    explicit F_MainM(QWidget* parent = nullptr);
    ~F_MainM() override;

    // The controls, for the program's own wiring and for tests.
    QGroupBox* frmHT() const { return frmHT_; }
    QLabel* lblHandyID() const { return lblHandyID_; }
    QComboBox* cmbHandyID() const { return cmbHandyID_; }
    FileListBox* lstHTFile() const { return lstHTFile_; }
    QLabel* lblFree() const { return lblFree_; }
    QLineEdit* txtFree() const { return txtFree_; }
    QLabel* lblMessage() const { return lblMessage_; }
    QGroupBox* frmHOST() const { return frmHOST_; }
    QComboBox* Drive1() const { return drive1_; }
    FolderList* lstDir() const { return lstDir_; }
    FileListBox* lstHOSTFile() const { return lstHOSTFile_; }
    QPushButton* btnInstall() const { return btnInstall_; }
    QPushButton* btnCopy() const { return btnCopy_; }
    QPushButton* btnDel() const { return btnDel_; }
    QPushButton* btnRename() const { return btnRename_; }
    QPushButton* btnStart() const { return btnStart_; }
    QPushButton* btnEnd() const { return btnEnd_; }
    QAction* mnset() const { return mnset_; }
    QAction* mnver() const { return mnver_; }
    QTimer* Timer1() const { return timer1_; }

    State state() const { return state_; }
    bool started() const { return state_ != State::Stopped && state_ != State::Closed; }
    // A terminal's files are listed for the session.
    bool connected() const { return started() && !listedHt_.isEmpty(); }
    bool polling() const { return state_ == State::Polling; }
    bool busy() const { return state_ == State::Listing || state_ == State::Operating; }
    int16_t pending() const { return pending_; }
    QString chosenHt() const { return chosenHt_; }
    ClsRSCtl& link() { return link_; }

    // The event handlers, by control and event.
    void btnStart_Click();
    void btnInstall_Click();
    void btnCopy_Click();
    void btnDel_Click();
    void btnRename_Click();
    void btnEnd_Click();
    void mnset_Click();
    void mnver_Click();
    void cmbHandyID_Click();
    // Return or keypad Enter in the box.
    void cmbHandyID_Enter();
    void cmbHandyID_Change();
    void Drive1_Change();
    void lstDir_Change();
    void lstHTFile_GotFocus();
    void lstHOSTFile_GotFocus();
    void lstHTFile_DragOver(QWidget* source, int state);
    void lstHOSTFile_DragOver(QWidget* source, int state);
    void lstHTFile_DragDrop(QWidget* source);
    void lstHOSTFile_DragDrop(QWidget* source);
    void Timer1_Timer();
    void tmrReopen_Timer();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // A status line a state is entered with, when it has a reason to give.
    struct Note {
        QString text;
        bool error = false;
    };
    // Makes `next` the window's state; `note` replaces the status line where
    // the state keeps it (Connecting, Waiting, and during a call).
    void enter(State next, const std::optional<Note>& note = std::nullopt);
    bool inCall() const { return polling() || busy(); }
    // Lists the terminal that has just answered a poll.
    void listTerminal();
    void buildControls();
    void load();
    void unload();
    void fillPcFileList(const QString& folder);
    // Lists the terminal's files; false when the listing failed.
    bool refreshTerminalList();
    void showFreeSize(int32_t size);
    bool deferredWhileInCall(void (F_MainM::*handler)());
    void setOperationButtons(bool enabled);
    // The operation buttons, for the terminal whose files are listed.
    void offerOperations();
    bool numberTypedNotEntered() const;
    void chooseHt(const QString& number);
    void loseLine();
    void setStatus(const QString& text, bool error);
    void clearTerminalSide();
    void runPending(int16_t code);
    // Runs `operation` under the guard every operation shares; `code` is
    // what a click during a poll leaves pending.
    void guarded(int16_t code, void (F_MainM::*operation)());
    void copy();
    void deleteFiles();
    void deleteOnTerminal();
    void deleteOnPc();
    void rename();
    void renameOnTerminal();
    void renameOnPc();
    void install();
    void dropOnTerminal();
    void dropOnPc();
    void tableFromSelectedTerminalFiles(bool withSizes);
    int32_t uploadSelected();
    int32_t downloadSelected();
    QString pcPath(const QString& name) const;
    static int countSelected(const QListWidget* list);

    QGroupBox* frmHT_ = nullptr;
    QLabel* lblHandyID_ = nullptr;
    QComboBox* cmbHandyID_ = nullptr;
    FileListBox* lstHTFile_ = nullptr;
    QLabel* lblFree_ = nullptr;
    QLineEdit* txtFree_ = nullptr;
    QLabel* lblMessage_ = nullptr;
    QGroupBox* frmHOST_ = nullptr;
    QComboBox* drive1_ = nullptr;
    FolderList* lstDir_ = nullptr;
    FileListBox* lstHOSTFile_ = nullptr;
    QPushButton* btnInstall_ = nullptr;
    QPushButton* btnCopy_ = nullptr;
    QPushButton* btnDel_ = nullptr;
    QPushButton* btnRename_ = nullptr;
    QPushButton* btnStart_ = nullptr;
    QPushButton* btnEnd_ = nullptr;
    QAction* mnset_ = nullptr;
    QAction* mnver_ = nullptr;
    QTimer* timer1_ = nullptr;
    QTimer* tmrReopen_ = nullptr;

    ClsRSCtl link_;
    ClsReg settings_;
    QString currentHt_;
    QString listedHt_;  // the terminal the shown list came from
    QString chosenHt_ = QStringLiteral("001");
    int32_t port_ = 0;  // the port opened at the start, opened again after a loss
    int16_t failures_ = 0;
    State state_ = State::Stopped;
    bool overTerminalList_ = false;
    bool overPcList_ = false;
    int16_t pending_ = kNone;  // only while Polling
    bool centred_ = false;
};

// The text a number gets in the three-digit form ("5" → "005"); other text unchanged.
QString threeDigits(const QString& text);

}  // namespace vsk::ui
