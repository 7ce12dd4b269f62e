#include "f_mainm.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "f_con.h"
#include "f_ren.h"
#include "f_setrs.h"
#include "f_ver.h"
#include "file_list_box.h"
#include "folder_list.h"
#include "message_box.h"
#include "ui_common.h"
#include "veska01.h"

namespace vsk::ui {

namespace {

constexpr int kPollIntervalMs = 50;
// Opening a port is quick (it does not wait for the device), so a lost line
// can be tried again this often without the window standing still.
constexpr int kReopenIntervalMs = 1000;
constexpr int kFailuresTolerated = 3;
constexpr int kFreeSizeDigits = 7;                // a listing announces the free size in 7 digits
constexpr int kSizeRole = Qt::UserRole;           // a terminal file's size
constexpr int kNameBytesRole = Qt::UserRole + 1;  // its name as the terminal's bytes

const QString kStartCaption = QStringLiteral("開　始");
const QString kStopCaption = QStringLiteral("中　断");
const QString kConnecting = QStringLiteral("ハンディ接続中･･･");
const QString kNoSelection = QStringLiteral("選択ファイルがありません");
const QString kPressEnter = QStringLiteral("Enterキーで番号を切り替えます");
const QString kLineLost = QStringLiteral("COMﾎﾟｰﾄが切断されました。再接続中･･･");
const QString kLineBack = QStringLiteral("COMﾎﾟｰﾄを再接続しました。ハンディ接続中･･･");

// A poll whose write or read on the port failed: the device itself has gone
// (an adapter pulled out), not just the terminal that would answer.
bool lineLost(int32_t result) {
    return result == VSK_E_SYS_WRITE || result == VSK_E_SYS_READ;
}

// Results after which a transfer says nothing: it went well, or someone aborted it.
bool silentResult(int32_t r) {
    return r == 0 || r == VSK_E_ABORT_HT || r == VSK_E_ABORT_PC;
}

QPushButton* button(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// The width `edit` needs to show `text` whole: the text, the 2 px QLineEdit
// keeps either side of it, the cursor after it, its margins and its frame.
int widthToShow(const QLineEdit* edit, const QString& text) {
    const QFontMetrics metrics = edit->fontMetrics();
    const QMargins margins = edit->textMargins();
    const QSize inner(
        metrics.horizontalAdvance(text) + 2 * 2 + 1 + margins.left() + margins.right(),
        metrics.height());
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->hasFrame()
                           ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                           : 0;
    return edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option, inner, edit).width();
}

// `count` times the widest digit of `edit`'s font.
QString widestDigits(const QLineEdit* edit, int count) {
    const QFontMetrics metrics = edit->fontMetrics();
    QChar widest = QLatin1Char('0');
    for (char c = '1'; c <= '9'; ++c)
        if (metrics.horizontalAdvance(QLatin1Char(c)) > metrics.horizontalAdvance(widest))
            widest = QLatin1Char(c);
    return QString(count, widest);
}

QLabel* label(const char* name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

}  // namespace

QString threeDigits(const QString& text) {
    bool ok = false;
    double value = text.trimmed().toDouble(&ok);
    if (!ok || !(std::fabs(value) < 1e9)) return text;
    long long n = qRound64(value);
    QString digits = QString::number(n < 0 ? -n : n).rightJustified(3, QLatin1Char('0'));
    return n < 0 ? QLatin1Char('-') + digits : digits;
}

F_MainM::F_MainM(QWidget* parent) : QMainWindow(parent), link_(this) {
    buildControls();
    load();
}

F_MainM::~F_MainM() = default;

void F_MainM::buildControls() {
    setObjectName("F_MainM");
    setWindowTitle(QStringLiteral("Veskadesk ＜マニュアルモード＞"));
    auto* central = new QWidget(this);
    setCentralWidget(central);

    // The terminal side.
    frmHT_ = new QGroupBox(QStringLiteral("HANDY TERMINAL"), central);
    frmHT_->setObjectName("frmHT");
    lblHandyID_ = label("lblHandyID", QStringLiteral("HandyID"), frmHT_);
    cmbHandyID_ = new QComboBox(frmHT_);
    cmbHandyID_->setObjectName("cmbHandyID");
    cmbHandyID_->setEditable(true);
    cmbHandyID_->setInsertPolicy(QComboBox::NoInsert);
    // Completing "1" to "100" would poll a terminal nobody chose.
    cmbHandyID_->setCompleter(nullptr);
    // Keys reach the box, which hands them to its line edit; the line edit
    // says when Return or keypad Enter was pressed in it.
    connect(cmbHandyID_->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { cmbHandyID_Enter(); });
    connect(cmbHandyID_, &QComboBox::activated, this, [this] { cmbHandyID_Click(); });
    connect(cmbHandyID_, &QComboBox::editTextChanged, this, [this] { cmbHandyID_Change(); });
    lstHTFile_ = new FileListBox(frmHT_);
    lstHTFile_->setObjectName("lstHTFile");
    lblFree_ = label("lblFree", QStringLiteral("Free"), frmHT_);
    txtFree_ = new QLineEdit(frmHT_);
    txtFree_->setObjectName("txtFree");
    txtFree_->setReadOnly(true);
    // However small the window, the free size shows whole.
    txtFree_->setMinimumWidth(widthToShow(txtFree_, widestDigits(txtFree_, kFreeSizeDigits)));
    lblMessage_ = label("lblMessage", QString(), frmHT_);
    lblMessage_->setWordWrap(true);
    // The status wraps within the column instead of widening it, so that
    // the lists do not shift as it changes.
    lblMessage_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* column = new QVBoxLayout;
    column->addWidget(lblHandyID_);
    column->addWidget(cmbHandyID_);
    column->addStretch(1);
    column->addWidget(lblMessage_);
    column->addWidget(lblFree_);
    column->addWidget(txtFree_);
    auto* htLayout = new QHBoxLayout(frmHT_);
    htLayout->addLayout(column);
    htLayout->addWidget(lstHTFile_, 1);

    // The PC side.
    frmHOST_ = new QGroupBox(QStringLiteral("HOST PC"), central);
    frmHOST_->setObjectName("frmHOST");
    lstHOSTFile_ = new FileListBox(frmHOST_);
    lstHOSTFile_->setObjectName("lstHOSTFile");
    drive1_ = new QComboBox(frmHOST_);
    drive1_->setObjectName("Drive1");
    drive1_->addItems(mountedVolumeRoots());
    connect(drive1_, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });
    lstDir_ = new FolderList(frmHOST_);
    lstDir_->setObjectName("lstDir");
    lstDir_->onChange([this] { lstDir_Change(); });
    auto* chooser = new QVBoxLayout;
    chooser->addWidget(drive1_);
    chooser->addWidget(lstDir_, 1);
    auto* pcLayout = new QHBoxLayout(frmHOST_);
    lstHOSTFile_->setMinimumWidth(200);
    pcLayout->addWidget(lstHOSTFile_, 3);
    pcLayout->addLayout(chooser, 2);

    // The buttons: the four operations in a row, start and quit below them.
    btnInstall_ = button("btnInstall", QStringLiteral("インストール"), central);
    btnCopy_ = button("btnCopy", QStringLiteral("コピー"), central);
    btnDel_ = button("btnDel", QStringLiteral("削除"), central);
    btnRename_ = button("btnRename", QStringLiteral("名前変更"), central);
    btnStart_ = button("btnStart", kStartCaption, central);
    btnEnd_ = button("btnEnd", QStringLiteral("終  了"), central);
    for (QPushButton* b : {btnStart_, btnEnd_}) b->setMinimumHeight(b->sizeHint().height() * 3 / 2);
    connect(btnInstall_, &QPushButton::clicked, this, [this] { btnInstall_Click(); });
    connect(btnCopy_, &QPushButton::clicked, this, [this] { btnCopy_Click(); });
    connect(btnDel_, &QPushButton::clicked, this, [this] { btnDel_Click(); });
    connect(btnRename_, &QPushButton::clicked, this, [this] { btnRename_Click(); });
    connect(btnStart_, &QPushButton::clicked, this, [this] { btnStart_Click(); });
    connect(btnEnd_, &QPushButton::clicked, this, [this] { btnEnd_Click(); });
    setOperationButtons(false);

    auto* buttons = new QGridLayout;
    buttons->addWidget(btnInstall_, 0, 0);
    buttons->addWidget(btnCopy_, 0, 1);
    buttons->addWidget(btnDel_, 0, 2);
    buttons->addWidget(btnRename_, 0, 3);
    buttons->addWidget(btnStart_, 1, 0, 1, 2);
    buttons->addWidget(btnEnd_, 1, 2, 1, 2);
    auto* right = new QVBoxLayout;
    right->addWidget(frmHOST_, 1);
    right->addLayout(buttons);
    auto* main = new QHBoxLayout(central);
    main->addWidget(frmHT_, 1);
    main->addLayout(right, 1);

    mnset_ = menuBar()->addAction(QStringLiteral("設定..."));
    mnset_->setObjectName("mnset");
    connect(mnset_, &QAction::triggered, this, [this] { mnset_Click(); });
    mnver_ = menuBar()->addAction(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報..."));
    mnver_->setObjectName("mnver");
    connect(mnver_, &QAction::triggered, this, [this] { mnver_Click(); });

    timer1_ = new QTimer(this);
    timer1_->setObjectName("Timer1");
    timer1_->setInterval(kPollIntervalMs);
    connect(timer1_, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    tmrReopen_ = new QTimer(this);
    tmrReopen_->setObjectName("tmrReopen");
    tmrReopen_->setInterval(kReopenIntervalMs);
    connect(tmrReopen_, &QTimer::timeout, this, [this] { tmrReopen_Timer(); });

    auto canDrag = [this] { return !busy(); };
    lstHTFile_->canStartDrag = canDrag;
    lstHOSTFile_->canStartDrag = canDrag;
    lstHTFile_->onGotFocus = [this] { lstHTFile_GotFocus(); };
    lstHOSTFile_->onGotFocus = [this] { lstHOSTFile_GotFocus(); };
    lstHTFile_->onDragOver = [this](QWidget* s, int state) { lstHTFile_DragOver(s, state); };
    lstHOSTFile_->onDragOver = [this](QWidget* s, int state) { lstHOSTFile_DragOver(s, state); };
    // A drop is handled once the drag has ended, so that an operation's
    // dialogs do not open inside the drag.
    lstHTFile_->onDragDrop = [this](QWidget* s) {
        QTimer::singleShot(0, this, [this, s] { lstHTFile_DragDrop(s); });
    };
    lstHOSTFile_->onDragDrop = [this](QWidget* s) {
        QTimer::singleShot(0, this, [this, s] { lstHOSTFile_DragDrop(s); });
    };
    resize(860, 480);
}

void F_MainM::load() {
    // The last folder, if it can still be shown; the current folder otherwise.
    const QString last = settings_.DefFolder().toString();
    QSignalBlocker blockDrive(drive1_);
    if (last.isEmpty() || !lstDir_->setPath(last)) lstDir_->setPath(QDir::currentPath());
    drive1_->setCurrentText(volumeRootOf(lstDir_->path()));
    fillPcFileList(lstDir_->path());

    for (int n = VSK_MIN_HT; n <= VSK_MAX_HT; ++n)
        cmbHandyID_->addItem(QString::number(n).rightJustified(3, QLatin1Char('0')));
    cmbHandyID_->setEditText(QStringLiteral("001"));

    chosenHt_ = QStringLiteral("001");
    failures_ = 0;
    enter(State::Stopped);
}

void F_MainM::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!centred_) {
        centred_ = true;
        centreOnScreen(this);
    }
}

// --- Lists

void F_MainM::fillPcFileList(const QString& folder) {
    lstHOSTFile_->clear();
    // Hidden files are not listed, folders are not files.
    const QStringList names =
        QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    lstHOSTFile_->addItems(names);
}

bool F_MainM::refreshTerminalList() {
    // A number chosen during the operation has dropped the terminal.
    if (chosenHt_ != currentHt_) return false;
    const State caller = state_;
    enter(State::Listing);
    // The number may be changed while the library waits for the listing:
    // the listing is then another terminal's.
    bool listed = link_.VskDIR(currentHt_) == 0 && chosenHt_ == currentHt_;
    if (listed) {
        listedHt_ = currentHt_;
        lstHTFile_->clear();
        for (int n = link_.FCnt().toInt(); n > 0; --n) {
            QByteArray name;
            int32_t size = 0;
            if (link_.FileTblGet(name, size) < 1) break;
            QByteArray trimmed = trimmedBlanks(name);
            auto* item = new QListWidgetItem(fromCp932(trimmed), lstHTFile_);
            item->setData(kSizeRole, size);
            item->setData(kNameBytesRole, trimmed);
        }
        showFreeSize(link_.FreeSize().toInt());
    }
    // The caller's end decides the state that follows; the buttons come back
    // whether or not the terminal was listed.
    enter(caller);
    offerOperations();
    return listed;
}

void F_MainM::showFreeSize(int32_t size) {
    txtFree_->setText(QString::number(size));
    const int needed = widthToShow(txtFree_, txtFree_->text());
    if (needed > txtFree_->minimumWidth()) txtFree_->setMinimumWidth(needed);
}

void F_MainM::setOperationButtons(bool enabled) {
    for (QPushButton* b : {btnInstall_, btnCopy_, btnDel_, btnRename_}) b->setEnabled(enabled);
}

// While the box shows a number other than the listed terminal's, a button
// would act on files the box does not name: the user is told to choose it.
void F_MainM::offerOperations() {
    const bool typed = numberTypedNotEntered();
    setOperationButtons(!typed);
    setStatus(typed ? kPressEnter : QString(), false);
}

bool F_MainM::numberTypedNotEntered() const {
    return !listedHt_.isEmpty() && threeDigits(cmbHandyID_->currentText()) != listedHt_;
}

void F_MainM::enter(State next, const std::optional<Note>& note) {
    state_ = next;
    const bool session = next != State::Stopped && next != State::Closed;
    // Polls run only between calls; a lost line is tried again, nothing else.
    const bool polls =
        next == State::Connecting || next == State::Waiting || next == State::Connected;
    if (!polls)
        timer1_->stop();
    else if (!timer1_->isActive())
        timer1_->start();
    if (next != State::LineLost)
        tmrReopen_->stop();
    else if (!tmrReopen_->isActive())
        tmrReopen_->start();
    if (next == State::Closed) return;
    btnStart_->setText(session ? kStopCaption : kStartCaption);
    mnset_->setEnabled(!session);
    switch (next) {
        case State::Stopped:
            clearTerminalSide();
            setOperationButtons(false);
            setStatus(QString(), false);
            return;
        case State::Connected:
            return offerOperations();
        case State::Listing:
            setOperationButtons(false);
            setStatus(kConnecting, false);
            return;
        case State::LineLost:
            setOperationButtons(false);
            setStatus(kLineLost, true);
            return;
        case State::Connecting:
            setOperationButtons(true);
            break;
        case State::Waiting:
            setOperationButtons(false);
            break;
        case State::Polling:
        case State::Operating:
            // A call keeps the buttons as they were, unless the terminal
            // listed has been dropped meanwhile (the note says why).
            if (note) setOperationButtons(false);
            break;
        case State::Closed:
            break;
    }
    if (note) setStatus(note->text, note->error);
}

void F_MainM::setStatus(const QString& text, bool error) {
    // Every poll ends by entering its state again: a line that stays as it
    // is is not styled and laid out anew 20 times a second.
    const QString style =
        error ? QStringLiteral("color: #ff0000;") : QStringLiteral("color: #000000;");
    if (lblMessage_->text() == text && lblMessage_->styleSheet() == style) return;
    lblMessage_->setStyleSheet(style);
    lblMessage_->setText(text);
    lblMessage_->setToolTip(QString());
}

void F_MainM::clearTerminalSide() {
    lstHTFile_->clear();
    txtFree_->clear();
    listedHt_.clear();
}

int F_MainM::countSelected(const QListWidget* list) {
    int n = 0;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected()) ++n;
    return n;
}

QString F_MainM::pcPath(const QString& name) const {
    return QDir(lstDir_->path()).filePath(name);
}

// --- Start, stop and the poll cycle

void F_MainM::btnStart_Click() {
    if (state_ == State::Closed) return;
    if (started()) {
        if (polling()) {
            pending_ = kStartStop;
            return;
        }
        if (busy()) return;
        link_.VskSuspend();
        link_.VskComClose();
        enter(State::Stopped);
        return;
    }
    link_.VskComClose();  // a session left open by an earlier start
    link_.setBaudRate(settings_.BaudRate());
    link_.setParity(settings_.Parity());
    link_.setBiteSize(settings_.BiteSize());
    link_.setStopBits(settings_.StopBits());
    link_.setTimeout(settings_.timeout());
    link_.setRetry(settings_.Retry());
    port_ = settings_.Port().toInt();
    if (int32_t r = link_.VskComOpen(port_); r != 0) {
        // Which device, and whether it is missing, busy or not permitted.
        showFailure(QStringLiteral("COMﾎﾟｰﾄがｵｰﾌﾟﾝ出来ません。"), deviceOpenDetail(port_, r), this);
        return;
    }
    lstHTFile_->clear();
    enter(State::Connecting, Note{kConnecting});
}

void F_MainM::Timer1_Timer() {
    // Never a poll inside a call, whatever left the timer running.
    const State before = state_;
    if (before != State::Connecting && before != State::Waiting && before != State::Connected)
        return;
    enter(State::Polling);
    currentHt_ = chosenHt_;
    int32_t result = link_.VskPolling(currentHt_, settings_.PollingTout().toInt());
    // A number chosen during the poll has dropped the terminal listed.
    const State back = currentHt_ != chosenHt_ ? State::Waiting : before;

    if (pending_ != kNone) {
        int16_t code = pending_;
        pending_ = kNone;
        failures_ = 0;
        enter(back);
        return runPending(code);
    }
    if (lineLost(result)) return loseLine();
    // The answer is about a terminal no longer chosen.
    if (currentHt_ != chosenHt_) return enter(back);
    if (result != 0) {
        if (++failures_ <= kFailuresTolerated) return enter(back);
        failures_ = 0;
        clearTerminalSide();
        return enter(State::Waiting, Note{QStringLiteral("ハンディ接続エラー"), true});
    }
    failures_ = 0;
    // A list always belongs to the terminal that answered: after the number
    // was changed, the old list would send the next operation to the wrong
    // terminal's files.
    if (listedHt_ != currentHt_) return listTerminal();
    enter(back);
}

void F_MainM::listTerminal() {
    clearTerminalSide();
    enter(State::Listing);
    // A listing that failed is tried again at the next answer.
    enter(refreshTerminalList() ? State::Connected : State::Connecting);
}

// The port is closed and opened again once a tick until the device is back;
// the start button and quitting end the attempts.
void F_MainM::loseLine() {
    const QString reason = link_.VskGetSysErrorMsg();
    link_.VskComClose();
    failures_ = 0;
    clearTerminalSide();
    enter(State::LineLost);
    lblMessage_->setToolTip(reason);
}

void F_MainM::tmrReopen_Timer() {
    if (state_ != State::LineLost) {
        tmrReopen_->stop();
        return;
    }
    if (link_.VskComOpen(port_) != 0) return;  // still gone
    failures_ = 0;
    enter(State::Waiting, Note{kLineBack});
}

void F_MainM::runPending(int16_t code) {
    switch (code) {
        case kStartStop:
            return btnStart_Click();
        case kInstall:
            return btnInstall_Click();
        case kCopy:
            return btnCopy_Click();
        case kDelete:
            return btnDel_Click();
        case kRename:
            return btnRename_Click();
        case kDropOnTerminal:
            return lstHTFile_DragDrop(lstHOSTFile_);
        case kDropOnPc:
            return lstHOSTFile_DragDrop(lstHTFile_);
        case kClose:
            close();
            return;
        default:
            return;
    }
}

// An operation runs only with a terminal connected, never during a poll
// (it is done right after it) and never inside another operation.
void F_MainM::guarded(int16_t code, void (F_MainM::*operation)()) {
    const bool polled = polling() && connected();
    if (state_ != State::Connected && !polled) return;
    if (numberTypedNotEntered()) return offerOperations();
    if (polled) {
        pending_ = code;
        return;
    }
    enter(State::Operating);
    (this->*operation)();
    // A number chosen during the operation has dropped the terminal listed.
    enter(listedHt_.isEmpty() ? State::Waiting : State::Connected);
}

// --- Copy

// The selected terminal files into the link's table, in list order, with
// their listed sizes or 0; it stops when the table is full.
void F_MainM::tableFromSelectedTerminalFiles(bool withSizes) {
    link_.FileTblClr();
    for (int i = 0; i < lstHTFile_->count(); ++i) {
        QListWidgetItem* item = lstHTFile_->item(i);
        if (!item->isSelected()) continue;
        int32_t size = withSizes ? item->data(kSizeRole).toInt() : 0;
        if (link_.FileTblAdd(item->data(kNameBytesRole).toByteArray(), size) < 0) break;
    }
}

int32_t F_MainM::uploadSelected() {
    tableFromSelectedTerminalFiles(true);
    if (link_.FCnt().toInt() == 0) return 1;
    return link_.VskFUpload(currentHt_, lstDir_->path());
}

int32_t F_MainM::downloadSelected() {
    link_.FileTblClr();
    for (int i = 0; i < lstHOSTFile_->count(); ++i) {
        QListWidgetItem* item = lstHOSTFile_->item(i);
        if (!item->isSelected()) continue;
        if (link_.FileTblAdd(pcPath(item->text()).toUtf8(), 0) < 0) break;
    }
    if (link_.FCnt().toInt() == 0) return 1;
    return link_.VskFDownload(currentHt_);
}

void F_MainM::btnCopy_Click() {
    guarded(kCopy, &F_MainM::copy);
}

void F_MainM::copy() {
    if (countSelected(lstHTFile_) > 0) {
        int32_t r = uploadSelected();
        if (!silentResult(r)) showError(QStringLiteral("アップロードに失敗しました。"), r, this);
        fillPcFileList(lstDir_->path());
    } else if (countSelected(lstHOSTFile_) > 0) {
        int32_t r = downloadSelected();
        if (!silentResult(r)) showError(QStringLiteral("ダウンロードに失敗しました。"), r, this);
        refreshTerminalList();
    } else {
        showError(kNoSelection, this);
    }
    link_.VskDispInit(currentHt_);
}

// --- Delete

void F_MainM::btnDel_Click() {
    guarded(kDelete, &F_MainM::deleteFiles);
}

void F_MainM::deleteFiles() {
    if (countSelected(lstHTFile_) > 0)
        deleteOnTerminal();
    else if (countSelected(lstHOSTFile_) > 0)
        deleteOnPc();
    else
        showError(kNoSelection, this);
}

void F_MainM::deleteOnTerminal() {
    tableFromSelectedTerminalFiles(false);
    setOperationButtons(false);
    int32_t r = link_.VskFDelete(currentHt_);
    if (r != 0) {
        showError(QStringLiteral("ファイル削除に失敗しました。"), r, this);
        offerOperations();
    } else {
        refreshTerminalList();
    }
}

void F_MainM::deleteOnPc() {
    F_CON question(this);
    bool all = false;
    for (int i = 0; i < lstHOSTFile_->count(); ++i) {
        QListWidgetItem* item = lstHOSTFile_->item(i);
        if (!item->isSelected()) continue;
        if (!all) {
            question.setWindowTitle(QStringLiteral("ファイル削除"));
            question.btn(0)->setText(QStringLiteral("削除"));
            question.btn(1)->setText(QStringLiteral("すべて削除"));
            question.btn(2)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
            question.txtMsg()->setPlainText(item->text() + QLatin1Char('\n') +
                                            QStringLiteral("削除しても") +
                                            QStringLiteral("よろしいですか？"));
            question.exec();
            if (question.BtnIndex() == 2) break;
            if (question.BtnIndex() == 1) all = true;
        }
        if (!QFile::remove(pcPath(item->text()))) {
            showError(QStringLiteral("ファイル削除に失敗しました。"), this);
            break;
        }
    }
    fillPcFileList(lstDir_->path());
}

// --- Rename

void F_MainM::btnRename_Click() {
    guarded(kRename, &F_MainM::rename);
}

void F_MainM::rename() {
    if (countSelected(lstHTFile_) > 0)
        renameOnTerminal();
    else if (countSelected(lstHOSTFile_) > 0)
        renameOnPc();
    else
        showError(kNoSelection, this);
}

void F_MainM::renameOnTerminal() {
    tableFromSelectedTerminalFiles(false);
    int32_t r = link_.VskFRename(currentHt_);
    if (r != 0)
        showError(QStringLiteral("ファイル名の変更に失敗しました。"), r, this);
    else
        refreshTerminalList();
}

void F_MainM::renameOnPc() {
    F_Ren dialog(this);
    for (int i = 0; i < lstHOSTFile_->count(); ++i) {
        QListWidgetItem* item = lstHOSTFile_->item(i);
        if (!item->isSelected()) continue;
        dialog.lblRename()->setText(QStringLiteral("ＰＣ側のファイル名を変更します"));
        dialog.txtRename()->setText(item->text());
        dialog.exec();
        if (dialog.BtnIndex() == 1) break;
        const QString newName = dialog.NewFileName();
        if (newName == item->text()) continue;
        // The file stays in its folder: a name with a "/" would move it elsewhere.
        bool renamed = !newName.isEmpty() && !newName.contains(QLatin1Char('/')) &&
                       QFile::rename(pcPath(item->text()), pcPath(newName));
        if (!renamed) showError(QStringLiteral("ファイル名の変更に失敗しました。"), this);
    }
    fillPcFileList(lstDir_->path());
}

// --- Install

void F_MainM::btnInstall_Click() {
    guarded(kInstall, &F_MainM::install);
}

void F_MainM::install() {
    int selected = countSelected(lstHOSTFile_);
    if (selected == 1) {
        QListWidgetItem* item = lstHOSTFile_->selectedItems().value(0);
        const QString name = item->text();
        if (name.right(4).compare(QLatin1String(".HEX"), Qt::CaseInsensitive) != 0) {
            showError(QStringLiteral("ファイル [ ") + name +
                          QStringLiteral(" ] はアプリケーションファイルではありません"),
                      this);
        } else {
            link_.FileTblClr();
            link_.FileTblAdd(pcPath(name).toUtf8(), 0);
            int32_t r = link_.VskAPInstall(currentHt_);
            if (!silentResult(r))
                showError(QStringLiteral("インストールに失敗しました。"), r, this);
        }
    } else if (selected == 0) {
        showError(kNoSelection, this);
    } else {
        showError(QStringLiteral("選択ファイルが複数あります"), this);
    }
    link_.VskDispInit(currentHt_);
}

// --- Drag and drop

void F_MainM::lstHTFile_GotFocus() {
    lstHOSTFile_->clearSelection();
}

void F_MainM::lstHOSTFile_GotFocus() {
    lstHTFile_->clearSelection();
}

void F_MainM::lstHTFile_DragOver(QWidget* source, int state) {
    if (source == nullptr || source->objectName() != QLatin1String("lstHOSTFile")) return;
    overTerminalList_ = state != FileListBox::kLeave;
}

void F_MainM::lstHOSTFile_DragOver(QWidget* source, int state) {
    if (source == nullptr || source->objectName() != QLatin1String("lstHTFile")) return;
    overPcList_ = state != FileListBox::kLeave;
}

void F_MainM::lstHTFile_DragDrop(QWidget*) {
    if (!overTerminalList_) return;
    guarded(kDropOnTerminal, &F_MainM::dropOnTerminal);
}

void F_MainM::lstHOSTFile_DragDrop(QWidget*) {
    if (!overPcList_) return;
    guarded(kDropOnPc, &F_MainM::dropOnPc);
}

void F_MainM::dropOnTerminal() {
    if (countSelected(lstHOSTFile_) > 0) {
        int32_t r = downloadSelected();
        if (!silentResult(r)) showError(QStringLiteral("ダウンロードに失敗しました。"), r, this);
        refreshTerminalList();
    }
    link_.VskDispInit(currentHt_);
}

void F_MainM::dropOnPc() {
    if (countSelected(lstHTFile_) > 0) {
        int32_t r = uploadSelected();
        if (!silentResult(r)) showError(QStringLiteral("アップロードに失敗しました。"), r, this);
        fillPcFileList(lstDir_->path());
    }
    link_.VskDispInit(currentHt_);
}

// --- HT number, drive and folder

void F_MainM::cmbHandyID_Click() {
    chooseHt(threeDigits(cmbHandyID_->currentText()));
}

void F_MainM::cmbHandyID_Enter() {
    chooseHt(threeDigits(cmbHandyID_->currentText()));
    cmbHandyID_->setEditText(chosenHt_);
}

void F_MainM::cmbHandyID_Change() {
    if (state_ == State::Connected || (polling() && connected())) offerOperations();
}

// Polled from the next tick on. Another number's files go at once, so that
// nothing acts on them under the new number; its own are listed when it answers.
void F_MainM::chooseHt(const QString& number) {
    const bool changed = number != chosenHt_;
    chosenHt_ = number;
    if (!started() || !changed) return;
    failures_ = 0;
    clearTerminalSide();
    if (state_ == State::LineLost) return;
    // A call running keeps its state; what follows it sees the list gone.
    enter(inCall() ? state_ : State::Waiting, Note{kConnecting});
}

// Dialogs must not open inside a library call (it would stand still until
// they close): what needs one waits until the call has ended.
bool F_MainM::deferredWhileInCall(void (F_MainM::*handler)()) {
    if (!inCall()) return false;
    QTimer::singleShot(kPollIntervalMs, this, [this, handler] { (this->*handler)(); });
    return true;
}

void F_MainM::Drive1_Change() {
    if (deferredWhileInCall(&F_MainM::Drive1_Change)) return;
    if (lstDir_->setPath(drive1_->currentText())) return;
    showError(lstDir_->errorText(), this);
    lstDir_->setPath(QDir::currentPath());
    QSignalBlocker block(drive1_);
    drive1_->setCurrentText(volumeRootOf(lstDir_->path()));
}

void F_MainM::lstDir_Change() {
    fillPcFileList(lstDir_->path());
}

// --- Menus and ending

void F_MainM::mnset_Click() {
    if (deferredWhileInCall(&F_MainM::mnset_Click)) return;
    F_SetRS dialog(this);
    dialog.exec();
}

void F_MainM::mnver_Click() {
    if (deferredWhileInCall(&F_MainM::mnver_Click)) return;
    F_Ver dialog(this);
    dialog.exec();
}

void F_MainM::btnEnd_Click() {
    if (polling()) {
        pending_ = kClose;
        return;
    }
    if (busy()) return;
    close();
}

void F_MainM::closeEvent(QCloseEvent* event) {
    if (state_ != State::Closed) {
        // During a poll the window closes right after it; during an
        // operation not at all, since the operation is still using it.
        if (polling()) pending_ = kClose;
        if (inCall()) {
            event->ignore();
            return;
        }
        unload();
    }
    event->accept();
}

void F_MainM::unload() {
    enter(State::Closed);
    link_.VskComClose();
    settings_.setDefFolder(lstDir_->path());
}

}  // namespace vsk::ui
