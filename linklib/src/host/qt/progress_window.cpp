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

#include "host/progress_layout.h"

namespace vsk::qthost {

namespace layout = vsk::host::layout;

namespace {

// Japanese-capable proportional sans faces, best first; the style hint
// covers a system with none of them.
const QStringList kFontFamilies = {"IPAPGothic",      "IPA Pゴシック", "Noto Sans CJK JP",
                                   "Source Han Sans", "VL PGothic",    "TakaoPGothic"};

QFont windowFont() {
    QFont font;
    font.setFamilies(kFontFamilies);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(layout::kFontPoints);
    return font;
}

QString textOf(int id) {
    return QString::fromUtf8(layout::control(id).text);
}

}  // namespace

ProgressWindow::ProgressWindow(void (*onAbort)()) : QDialog(nullptr), onAbort_(onAbort) {
    // A caption but no close button: only the operation removes the window.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QString::fromUtf8(layout::kCaption));
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
    setFixedSize(dialogRect(0, 0, layout::kWidth, layout::kHeight).size());

    frame_ = new QGroupBox(this);
    frame_->setObjectName("frame");
    frame_->setGeometry(dialogRect(layout::kGroupBox));

    htNoLabel_ = label("htNoLabel", layout::kHtNoLabel);
    htNoText_ = label("htNo", layout::kHtNo);
    operationText_ = label("operation", layout::kOperation);
    fileNameText_ = label("fileName", layout::kFileName);
    bytesDoneText_ = label("bytesDone", layout::kBytesDone);
    separator_ = label("separator", layout::kSeparator);
    bytesTotalText_ = label("bytesTotal", layout::kBytesTotal);
    pollingText_ = label("pollingText", layout::kPollingText);

    bar_ = new QProgressBar(this);
    bar_->setObjectName("progressBar");
    bar_->setGeometry(dialogRect(layout::kBarFrame));
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);

    abortButton_ = new QPushButton(textOf(layout::kAbortButton), this);
    abortButton_->setObjectName("abortButton");
    abortButton_->setGeometry(dialogRect(layout::kAbortButton));
    // Enter must not stop a transfer by accident: the button is pressed on purpose.
    abortButton_->setAutoDefault(false);
    connect(abortButton_, &QPushButton::clicked, this, [this] { abortPressed(); });
}

QRect ProgressWindow::dialogRect(int x, int y, int w, int h) const {
    return QRect(x * baseX_ / 4, y * baseY_ / 8, w * baseX_ / 4, h * baseY_ / 8);
}

QRect ProgressWindow::dialogRect(int id) const {
    const layout::Control& c = layout::control(id);
    return dialogRect(c.x, c.y, c.w, c.h);
}

QLabel* ProgressWindow::label(const char* objectName, int id) {
    const QString text = textOf(id);
    auto* l = new QLabel(text, this);
    l->setObjectName(objectName);
    QRect r = dialogRect(id);
    // Keep the template's position, but never cut a text off at its width.
    r.setWidth(std::max(r.width(), l->fontMetrics().horizontalAdvance(text) + 2));
    r.setHeight(std::max(r.height(), l->fontMetrics().height()));
    l->setGeometry(r);
    return l;
}

QString ProgressWindow::operationText(int type) {
    return QString::fromUtf8(layout::operationText(type));
}

int ProgressWindow::barPosition(int done, int total) {
    return layout::barPosition(done, total);
}

void ProgressWindow::setUp(const QString& ht, const QString& name, int type) {
    bool transfer = layout::showsTransferFields(type);
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
