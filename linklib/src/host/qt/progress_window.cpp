#include "progress_window.h"

#include <QCloseEvent>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cstdint>

namespace vsk::qthost {

namespace {

// Japanese-capable proportional sans faces, best first; the style hint
// covers a system with none of them.
const QStringList kFontFamilies = {"IPAPGothic",      "IPA Pゴシック", "Noto Sans CJK JP",
                                   "Source Han Sans", "VL PGothic",    "TakaoPGothic"};
constexpr int kFontPoints = 9;

QFont windowFont() {
    QFont font;
    font.setFamilies(kFontFamilies);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(kFontPoints);
    return font;
}

bool showsTransferFields(int type) {
    return type != 6 && type != 7;
}

}  // namespace

ProgressWindow::ProgressWindow(void (*onAbort)()) : QDialog(nullptr), onAbort_(onAbort) {
    // A caption but no close button: only the operation removes the window.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("Veskafile"));
    setModal(false);
    // Removing the window must never end a program that shows no other one.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(windowFont());

    // Dialog units: a quarter of the font's average character width across,
    // an eighth of its height down.
    QFontMetrics fm(font());
    int alphabet = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = std::max(1, (alphabet / 26 + 1) / 2);
    baseY_ = std::max(1, fm.height());
    setFixedSize(dialogRect(0, 0, 274, 135).size());

    frame_ = new QGroupBox(this);
    frame_->setObjectName("frame");
    frame_->setGeometry(dialogRect(12, 9, 250, 95));

    htNoLabel_ = label("htNoLabel", QStringLiteral("ＨＴ ＮＯ"), 35, 43, 22, 8);
    htNoText_ = label("htNo", {}, 61, 43, 14, 10);
    operationText_ = label("operation", {}, 33, 23, 206, 11);
    fileNameText_ = label("fileName", {}, 35, 63, 64, 11);
    bytesDoneText_ = label("bytesDone", {}, 155, 65, 30, 10);
    separator_ = label("separator", QStringLiteral("/"), 190, 65, 8, 8);
    bytesTotalText_ = label("bytesTotal", {}, 203, 65, 31, 10);
    pollingText_ = label("pollingText", QStringLiteral("ポーリング中・・・"), 90, 43, 105, 10);

    bar_ = new QProgressBar(this);
    bar_->setObjectName("progressBar");
    bar_->setGeometry(dialogRect(33, 83, 206, 13));
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);

    abortButton_ = new QPushButton(QStringLiteral("中断"), this);
    abortButton_->setObjectName("abortButton");
    abortButton_->setGeometry(dialogRect(92, 113, 90, 14));
    // Enter must not stop a transfer by accident: the button is pressed on purpose.
    abortButton_->setAutoDefault(false);
    connect(abortButton_, &QPushButton::clicked, this, [this] { abortPressed(); });
}

QRect ProgressWindow::dialogRect(int x, int y, int w, int h) const {
    return QRect(x * baseX_ / 4, y * baseY_ / 8, w * baseX_ / 4, h * baseY_ / 8);
}

QLabel* ProgressWindow::label(const char* objectName, const QString& text, int x, int y, int w,
                              int h) {
    auto* l = new QLabel(text, this);
    l->setObjectName(objectName);
    QRect r = dialogRect(x, y, w, h);
    // Keep the template's position, but never cut a text off at its width.
    r.setWidth(std::max(r.width(), l->fontMetrics().horizontalAdvance(text) + 2));
    r.setHeight(std::max(r.height(), l->fontMetrics().height()));
    l->setGeometry(r);
    return l;
}

QString ProgressWindow::operationText(int type) {
    switch (type) {
        case 0:
            return QStringLiteral("ファイルのアップロードを行っています。");
        case 1:
            return QStringLiteral("ファイルのダウンロードを行っています。");
        case 2:
            return QStringLiteral("ＡＰのインストールを行っています。");
        case 3:
            return QStringLiteral("ＯＳのインストールを行っています。");
        case 4:
            return QStringLiteral("複数ファイルのアップロードを行っています。");
        case 5:
            return QStringLiteral("複数ファイルのダウンロードを行っています。");
        case 6:
            return QStringLiteral("複合コマンド複数ファイルアップロードを行っています。");
        case 7:
            return QStringLiteral("複合コマンド複数ファイルダウンロードを行っています。");
        default:
            return {};
    }
}

int ProgressWindow::barPosition(int done, int total) {
    if (total <= 0) return 0;
    int64_t percent = static_cast<int64_t>(done) * 100 / total;
    return static_cast<int>(std::clamp<int64_t>(percent, 0, 100));
}

void ProgressWindow::setUp(const QString& ht, const QString& name, int type) {
    bool transfer = showsTransferFields(type);
    for (QWidget* w : {static_cast<QWidget*>(fileNameText_), static_cast<QWidget*>(bytesDoneText_),
                       static_cast<QWidget*>(separator_), static_cast<QWidget*>(bytesTotalText_),
                       static_cast<QWidget*>(bar_)})
        w->setVisible(transfer);
    pollingText_->setVisible(!transfer);
    htNo_ = ht;
    fileName_ = name;
    operation_ = operationText(type);
    pushTexts();
}

void ProgressWindow::showProgress(int done, int total) {
    bytesDone_ = QString::number(done);
    bytesTotal_ = QString::number(total);
    bar_->setValue(barPosition(done, total));
    pushTexts();
}

void ProgressWindow::pushTexts() {
    const std::pair<QLabel*, const QString*> fields[] = {{htNoText_, &htNo_},
                                                         {fileNameText_, &fileName_},
                                                         {bytesDoneText_, &bytesDone_},
                                                         {bytesTotalText_, &bytesTotal_},
                                                         {operationText_, &operation_}};
    for (const auto& [l, text] : fields) {
        l->setText(*text);
        l->resize(std::max(l->width(), l->fontMetrics().horizontalAdvance(*text) + 2), l->height());
    }
}

void ProgressWindow::abortPressed() {
    aborted_ = true;
    if (onAbort_ != nullptr) onAbort_();
}

void ProgressWindow::remove() {
    removing_ = true;
    close();
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    if (removing_)
        event->accept();
    else
        event->ignore();
}

void ProgressWindow::reject() {
    // Escape does not close the window.
}

}  // namespace vsk::qthost
