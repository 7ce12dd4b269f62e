#include "f_auto.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "cls_reg.h"
#include "job_start.h"
#include "line_codes.h"
#include "message_box.h"
#include "ui_common.h"

namespace vsk::ui {

namespace {

const QString kPolling = QStringLiteral("ポーリング中・・・");
constexpr int kResFileWidth = sizeof ResultFileRecord::Path;
constexpr int kMinimumWidth = 340;  // the status text's

QTimer* timerOf(QObject* owner, const char* name, int interval) {
    auto* timer = new QTimer(owner);
    timer->setObjectName(QLatin1String(name));
    timer->setInterval(interval);
    return timer;
}

// Keeps a running timer's rhythm; starts or stops it as `on` says.
void runIf(QTimer* timer, bool on) {
    if (!on)
        timer->stop();
    else if (!timer->isActive())
        timer->start();
}

}  // namespace

F_Auto::F_Auto(QWidget* parent) : QDialog(parent), run_(this) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    txtMsg_ = new QPlainTextEdit(this);
    txtMsg_->setObjectName(QStringLiteral("txtMsg"));
    txtMsg_->setReadOnly(true);
    txtMsg_->setFocusPolicy(Qt::NoFocus);
    txtMsg_->setFixedHeight(txtMsg_->fontMetrics().lineSpacing() * 3 + 12);
    progressBar1_ = new QProgressBar(this);
    progressBar1_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar1_->setRange(0, 100);
    progressBar1_->setTextVisible(false);
    // The bar keeps its room while hidden, so that the button under it stays
    // where it is and the window keeps its size as transfers come and go: on
    // X11 a minimised window that changes its size comes back on the screen,
    // and an unattended run started minimised must stay so.
    QSizePolicy barPolicy = progressBar1_->sizePolicy();
    barPolicy.setRetainSizeWhenHidden(true);
    progressBar1_->setSizePolicy(barPolicy);
    progressBar1_->setVisible(false);
    btn_ = new QPushButton(QStringLiteral("中  断"), this);
    btn_->setObjectName(QStringLiteral("btn"));
    btn_->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtMsg_);
    layout->addWidget(progressBar1_);
    layout->addWidget(btn_, 0, Qt::AlignHCenter);
    txtMsg_->setMinimumWidth(kMinimumWidth);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    timerStart_ = timerOf(this, "TimerStart", kStartInterval);
    timerPolling_ = timerOf(this, "TimerPolling", kPollingInterval);
    timer1_ = timerOf(this, "Timer1", kProgressInterval);
    connect(timerStart_, &QTimer::timeout, this, [this] { TimerStart_Timer(); });
    connect(timerPolling_, &QTimer::timeout, this, [this] { TimerPolling_Timer(); });
    connect(timer1_, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    connect(btn_, &QPushButton::clicked, this, [this] { btn_Click(); });
}

// The run writes what it still owes the history when it is destroyed, after
// this window's part is gone: what it has to say then goes to stderr only.
F_Auto::~F_Auto() {
    run_.setEvents(nullptr);
}

void F_Auto::setComPort(const QVariant& v) {
    if (auto n = propertyNumber(v)) run_.job().ComPort = *n;
}
void F_Auto::setBaudRate(const QVariant& v) {
    if (auto n = propertyNumber(v)) run_.job().line.BaudRate = *n;
}
void F_Auto::setParity(const QVariant& v) {
    if (auto n = parityCode(v)) run_.job().line.Parity = *n;
}
void F_Auto::setBiteSize(const QVariant& v) {
    if (auto n = dataBitsCode(v)) run_.job().line.BiteSize = *n;
}
void F_Auto::setStopBits(const QVariant& v) {
    if (auto n = stopBitsCode(v)) run_.job().line.StopBits = *n;
}
void F_Auto::setFlow(const QVariant& v) {
    if (auto n = propertyNumber(v)) run_.job().line.Flow = *n;
}
void F_Auto::setTimeout(const QVariant& v) {
    if (auto n = propertyNumber(v)) run_.job().line.timeout = *n;
}
void F_Auto::setRetry(const QVariant& v) {
    if (auto n = propertyNumber(v)) run_.job().line.Retry = *n;
}
void F_Auto::setProtype(const QVariant& v) {
    if (auto n = propertyNumber(v)) run_.job().protype = static_cast<int16_t>(*n);
}
void F_Auto::setHtno(const QString& mask) {
    run_.job().htno = mask;
}
void F_Auto::setSkipMode(const QVariant& v) {
    if (auto n = propertyNumber(v)) run_.job().SkipMode = *n;
}
void F_Auto::setSaveMode(const QVariant& v) {
    if (auto n = propertyNumber(v)) run_.job().SaveMode = *n;
}
void F_Auto::setUpfolder(const QString& folder) {
    run_.job().upfolder = folder;
}
void F_Auto::setPollingTout(const QVariant& v) {
    if (auto n = propertyNumber(v)) run_.job().PollingTout = *n;
}
void F_Auto::setResFileName(const QString& path) {
    run_.job().ResFileName = fixedText(path, kResFileWidth);
}
void F_Auto::setResMode(const QVariant& v) {
    if (auto n = propertyNumber(v)) run_.job().ResMode = *n;
}
void F_Auto::setSetPath(const QString& jobFile) {
    run_.job().stopFolder = splitJobPath(jobFile).folder;
}

void F_Auto::setLineFromStore() {
    const ClsReg store;
    setBaudRate(store.BaudRate());
    setParity(store.Parity());
    setBiteSize(store.BiteSize());
    setStopBits(store.StopBits());
    setTimeout(store.timeout());
    setRetry(store.Retry());
    setComPort(store.Port());
}

void F_Auto::setJob(const AutoJob& job) {
    run_.job() = job;
}

// The polling text replaces what the start or a transfer showed; the timers
// follow the state, so that no tick can start inside another.
void F_Auto::enter(State next) {
    const State previous = state_;
    state_ = next;
    runIf(timerStart_, next == State::Opening);
    runIf(timerPolling_, next == State::Polling);
    runIf(timer1_, next == State::Transferring);
    if ((next == State::Polling && previous == State::Opening) ||
        (next == State::Ticking && previous == State::Transferring))
        showPolling();
}

void F_Auto::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous() && (state_ == State::Idle || state_ == State::Ended)) {
        enter(State::Loading);
        // After the show has finished, so that a minimised start sticks.
        QTimer::singleShot(0, this, [this] { load(); });
    }
}

void F_Auto::load() {
    if (state_ != State::Loading) return;  // aborted before it began
    centreOnScreen(this);
    run_.reset();
    setWindowTitle(protype() == 2 ? QStringLiteral("オートモード・ファイルアップロード")
                                  : QStringLiteral("オートモード・ファイルダウンロード"));
    run_.open();
    enter(State::Opening);
    if (iconFlg_) showMinimized();
}

void F_Auto::TimerStart_Timer() {
    if (state_ != State::Opening) return;
    if (run_.Result() != 0) return finish();
    enter(State::Polling);
}

// What keeps going wrong stands under the polling text, so that a minimised
// window that is opened shows it at once.
void F_Auto::showPolling() {
    QStringList lines{kPolling};
    lines << run_.alerts();
    txtMsg_->setPlainText(lines.join(QLatin1Char('\n')));
    progressBar1_->setVisible(false);
    progressBar1_->setValue(0);
}

void F_Auto::TimerPolling_Timer() {
    if (state_ != State::Polling) return;
    // The polling timer is off for the whole tick: the library dispatches
    // events while it waits, and a second tick must not start inside this one.
    enter(State::Ticking);
    if (!run_.pollingTick()) return finish();
    enter(State::Polling);
}

void F_Auto::transferStarting(const QString&) {
    enter(State::Transferring);
}

void F_Auto::transferEnded(const QString&, int32_t, int32_t) {
    enter(State::Ticking);
}

void F_Auto::notice(const QString& text) {
    RunEvents::notice(text);
    if (state_ != State::Transferring) showPolling();
}

void F_Auto::processEvents() {
    QCoreApplication::processEvents();
}

void F_Auto::Timer1_Timer() {
    QString text;
    int32_t percent = 0;
    if (!run_.progress(&text, &percent)) return;
    txtMsg_->setPlainText(text);
    progressBar1_->setVisible(true);
    progressBar1_->setValue(percent);
}

void F_Auto::btn_Click() {
    // Before the run has begun there is nothing to stop: it never begins.
    if (state_ == State::Loading) {
        run_.reset();
        return finish();
    }
    run_.abort();
}

// The close box, the window menu and Escape abort the run; the window goes
// once the run has ended.
void F_Auto::closeEvent(QCloseEvent* event) {
    if (state_ == State::Ended) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    btn_Click();
}

void F_Auto::reject() {
    if (state_ == State::Ended) {
        QDialog::reject();
        return;
    }
    btn_Click();
}

void F_Auto::finish() {
    enter(State::Closing);
    const QString message = run_.closingMessage();
    if (!message.isEmpty()) {
        const int32_t code = run_.endedBy();
        showFailure(
            message,
            run_.openFailed() ? deviceOpenDetail(run_.job().ComPort, code) : failureDetail(code),
            this);
    }
    run_.close();
    enter(State::Ended);
    done(QDialog::Accepted);
}

}  // namespace vsk::ui
