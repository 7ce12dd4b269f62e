#include "f_prog.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cstring>
#include <limits>

#include "f_con.h"
#include "message_box.h"
#include "ui_common.h"
#include "veska01.h"

namespace vsk::ui {

namespace {

constexpr int kStartDelayMs = 5;
constexpr int kDisplayIntervalMs = 50;

QString captionFor(int16_t kind) {
    switch (kind) {
        case F_Prog::kPollingDownload:
            return QStringLiteral("オートモード・ファイルダウンロード");
        case F_Prog::kPollingUpload:
            return QStringLiteral("オートモード・ファイルアップロード");
        case F_Prog::kInstall:
            return QStringLiteral("インストール");
        case F_Prog::kUpload:
            return QStringLiteral("アップロード");
        case F_Prog::kDownload:
            return QStringLiteral("ダウンロード");
        default:
            return {};
    }
}

// The length the library is told; a file the library cannot send anyway
// (missing, or over its size limit) is refused by the library itself.
int32_t currentLength(const QByteArray& path) {
    QFileInfo info(QString::fromUtf8(path));
    qint64 size = info.exists() ? info.size() : 0;
    return static_cast<int32_t>(qMin<qint64>(size, std::numeric_limits<int32_t>::max()));
}

// `text` left-aligned in a blank-filled field of `width` bytes, cut if longer.
void fillField(char* field, size_t width, const QByteArray& text) {
    std::memset(field, ' ', width);
    std::memcpy(field, text.constData(), qMin<size_t>(width, static_cast<size_t>(text.size())));
}

QString fieldText(const char* field, size_t width) {
    QByteArray bytes(field, static_cast<qsizetype>(width));
    qsizetype end = bytes.indexOf('\0');
    if (end >= 0) bytes.truncate(end);
    return fromCp932(trimmedBlanks(bytes));
}

}  // namespace

SplitPath splitPath(const QString& path) {
    qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) return {QString(), path};
    return {path.left(slash), path.mid(slash + 1)};
}

F_Prog::F_Prog(QWidget* parent) : QDialog(parent) {
    setObjectName("F_Prog");
    setModal(true);

    txtMsg_ = new QPlainTextEdit(this);
    txtMsg_->setObjectName("txtMsg");
    txtMsg_->setReadOnly(true);
    txtMsg_->setFocusPolicy(Qt::NoFocus);
    txtMsg_->setFixedHeight(txtMsg_->fontMetrics().lineSpacing() * 3);

    progressBar1_ = new QProgressBar(this);
    progressBar1_->setObjectName("ProgressBar1");
    progressBar1_->setRange(0, 100);
    progressBar1_->setValue(0);

    btn_ = new QPushButton(QStringLiteral("中  断"), this);
    btn_->setObjectName("btn");
    btn_->setAutoDefault(false);
    connect(btn_, &QPushButton::clicked, this, [this] { abort(); });

    timerStart_ = new QTimer(this);
    timerStart_->setObjectName("TimerStart");
    timerStart_->setInterval(kStartDelayMs);
    connect(timerStart_, &QTimer::timeout, this, [this] { start(); });

    timer1_ = new QTimer(this);
    timer1_->setObjectName("Timer1");
    timer1_->setInterval(kDisplayIntervalMs);
    connect(timer1_, &QTimer::timeout, this, [this] { showProgress(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtMsg_);
    layout->addWidget(progressBar1_);
    layout->addWidget(btn_, 0, Qt::AlignHCenter);
    resize(380, sizeHint().height());
}

F_Prog::~F_Prog() = default;

void F_Prog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!centred_) {
        centred_ = true;
        centreOnScreen(this);
    }
}

void F_Prog::ProgClr(int32_t handle) {
    progressBar1_->setValue(0);
    handle_ = handle;
    Vsk_ClrProcess(handle_);
}

int16_t F_Prog::FileTblAdd(const QByteArray& name, int32_t size) {
    return table_.add(name, size) ? 0 : -1;
}

int16_t F_Prog::FileTblGet(QByteArray& name, int32_t& size) {
    int16_t before = static_cast<int16_t>(table_.count());
    table_.take(&name, &size);
    return before;
}

void F_Prog::FileTblClr() {
    table_.clear();
}

void F_Prog::start() {
    timerStart_->stop();
    timer1_->start();
    QString caption = captionFor(protype_);
    if (!caption.isEmpty()) setWindowTitle(caption);
    result_ = 0;
    runOperation();
    timer1_->stop();
    finished_ = true;
    accept();
}

void F_Prog::runOperation() {
    switch (protype_) {
        case kPollingDownload:
            return runPollingDownload();
        case kPollingUpload:
            return runPollingUpload();
        case kInstall:
            return runInstall();
        case kDownload:
            return runDownload();
        case kUpload:
            return runUpload();
        default:
            return;  // an unknown kind runs nothing
    }
}

ResultFileRecord F_Prog::resultRecord() const {
    ResultFileRecord record{};
    fillField(record.Path, sizeof record.Path, resFileName_.toUtf8());
    record.ResultMode = resMode_;
    return record;
}

void F_Prog::runPollingDownload() {
    DownloadList list{};
    for (int i = 0; i < table_.count(); ++i) {
        DownloadEntry& e = list.Entries[i];
        fillField(e.Path, sizeof e.Path, table_.at(i).Name);
        e.Size = table_.at(i).Size;
        e.SkipMode = skipMode_;
    }
    ResultFileRecord record = resultRecord();
    result_ = Vsk_PollingAllDownload(handle_, htno_.toLatin1().constData(), pollingTout_, 0,
                                     table_.count(), &list, &record, 0);
}

void F_Prog::runPollingUpload() {
    ResultFileRecord record = resultRecord();
    result_ =
        Vsk_PollingAllUPload(handle_, htno_.toLatin1().constData(), upfolder_.toUtf8().constData(),
                             saveMode_, pollingTout_, 0, &record, 0);
}

void F_Prog::showFile(const QString& name) {
    txtMsg_->setPlainText(QStringLiteral("HandyID：") + htno_ + QLatin1Char('\n') + name);
    progressBar1_->show();
}

void F_Prog::runInstall() {
    if (table_.count() == 0) return;
    pollingDisplay_ = false;
    const QByteArray& path = table_.at(0).Name;
    showFile(splitPath(QString::fromUtf8(path)).name);
    result_ = Vsk_APInstall(handle_, htno_.toLatin1().constData(), path.constData(),
                            currentLength(path), 1, 0);
    pollingDisplay_ = true;
}

void F_Prog::runDownload() {
    pollingDisplay_ = false;
    const QByteArray ht = htno_.toLatin1();
    for (int i = 0; i < table_.count(); ++i) {
        const QByteArray& path = table_.at(i).Name;
        QString name = splitPath(QString::fromUtf8(path)).name;
        if (!CheckHtFileName(name)) {
            showError(invalidHtNameMessage(name), this);
            continue;
        }
        showFile(name);
        result_ = Vsk_FDownload(handle_, ht.constData(), path.constData(), currentLength(path), 0);
        if (result_ != 0) break;
        ProgressRecord progress{};
        Vsk_GetProcess(handle_, &progress);
        progressBar1_->setValue(qBound(0, progress.Percent, 100));
    }
    pollingDisplay_ = true;
}

void F_Prog::runUpload() {
    F_CON question(this);
    pollingDisplay_ = false;
    const QByteArray ht = htno_.toLatin1();
    const QByteArray folder = upfolder_.toUtf8();
    for (int i = 0; i < table_.count(); ++i) {
        const QByteArray& name = table_.at(i).Name;
        QString shown = fromCp932(name);
        saveMode_ = 0;
        if (QFileInfo::exists(QDir(upfolder_).filePath(shown))) {
            question.setWindowTitle(QStringLiteral("アップロード確認"));
            question.btn(0)->setText(QStringLiteral("上書き"));
            question.btn(1)->setText(QStringLiteral("追加"));
            question.btn(2)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
            question.txtMsg()->setPlainText(shown + QLatin1Char('\n') +
                                            QStringLiteral("同名ファイルが存在します"));
            question.exec();
            if (question.BtnIndex() == 2) break;
            saveMode_ = question.BtnIndex();
        }
        txtMsg_->setPlainText(QStringLiteral("HandyID：") + htno_ + QLatin1Char('\n') + shown);
        result_ = Vsk_FUpload(handle_, ht.constData(), saveMode_, folder.constData(),
                              name.constData(), table_.at(i).Size, 0);
        if (result_ != 0) break;
    }
    pollingDisplay_ = true;
    ProgressRecord progress{};
    Vsk_GetProcess(handle_, &progress);
    progressBar1_->setValue(qBound(0, progress.Percent, 100));
}

void F_Prog::showProgress() {
    ProgressRecord progress{};
    if (Vsk_GetProcess(handle_, &progress) != 0) return;
    if (progress.Percent > 0) {
        txtMsg_->setPlainText(QStringLiteral("HandyID：") +
                              fieldText(progress.HtNo, sizeof progress.HtNo) + QLatin1Char('\n') +
                              fieldText(progress.FileName, sizeof progress.FileName));
        progressBar1_->show();
        progressBar1_->setValue(qBound(0, progress.Percent, 100));
    } else if (pollingDisplay_) {
        txtMsg_->setPlainText(QStringLiteral("ポーリング中・・・"));
        progressBar1_->hide();
        progressBar1_->setValue(0);
    }
}

void F_Prog::abort() {
    Vsk_Suspend(handle_);
}

// Until the operation has ended, closing the window (title bar, Escape) asks
// the running call to stop instead; the window then closes by itself.
void F_Prog::closeEvent(QCloseEvent* event) {
    if (finished_) {
        QDialog::closeEvent(event);
        return;
    }
    abort();
    event->ignore();
}

void F_Prog::reject() {
    if (finished_)
        QDialog::reject();
    else
        abort();
}

}  // namespace vsk::ui
