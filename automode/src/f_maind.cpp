#include "f_maind.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "cls_setfile.h"
#include "f_auto.h"
#include "f_msg.h"
#include "f_setrs.h"
#include "file_dialogs.h"
#include "job_start.h"
#include "message_box.h"
#include "ui_common.h"
#include "veska.h"

namespace vsk::ui {

namespace {

constexpr int kEntries = VSK_MAX_FILES;
constexpr int kPictureWidth = 96;
constexpr int kPictureHeight = 150;

void drawKeypad(QPainter& p, const QRectF& area) {
    constexpr int kColumns = 3;
    constexpr int kRows = 4;
    const qreal w = area.width() / kColumns, h = area.height() / kRows;
    p.setPen(QPen(QColor(40, 40, 40), 1));
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            QRectF key(area.x() + c * w + 2, area.y() + r * h + 2, w - 4, h - 4);
            p.setBrush(r == kRows - 1 && c != 1 ? QColor(230, 150, 60) : QColor(225, 225, 220));
            p.drawRoundedRect(key, 3, 3);
        }
    }
}

void drawScreen(QPainter& p, const QRectF& screen) {
    p.setPen(QPen(QColor(30, 30, 30), 2));
    p.setBrush(QColor(170, 200, 150));
    p.drawRect(screen);
    p.setPen(QPen(QColor(60, 80, 50), 2));
    for (int line = 0; line < 4; ++line) {
        const qreal y = screen.y() + 8 + line * 9;
        p.drawLine(QPointF(screen.x() + 6, y), QPointF(screen.right() - (line % 2 ? 20 : 8), y));
    }
}

// A handheld terminal: scanner window on top, display, keypad.
QPixmap handheldPicture() {
    QPixmap picture(kPictureWidth, kPictureHeight);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF body(14, 6, 68, 138);
    p.setPen(QPen(QColor(20, 20, 20), 2));
    p.setBrush(QColor(70, 80, 95));
    p.drawRoundedRect(body, 12, 12);
    p.setBrush(QColor(200, 40, 40));
    p.drawRoundedRect(QRectF(32, 10, 32, 6), 2, 2);

    drawScreen(p, QRectF(22, 24, 52, 46));
    drawKeypad(p, QRectF(22, 78, 52, 58));
    return picture;
}

QLabel* titleLabel(const QString& text, int pointSize, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSize(pointSize);
    font.setBold(true);
    label->setFont(font);
    return label;
}

QPushButton* menuButton(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setMinimumSize(180, 32);
    return b;
}

}  // namespace

// --- AutoMainWindow

AutoMainWindow::AutoMainWindow(const QString& title, QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(title);
    auto* central = new QWidget(this);
    setCentralWidget(central);

    label1_ = titleLabel(QStringLiteral("Veskafile"), 20, central);
    label1_->setObjectName("Label1");
    label2_ = titleLabel(title, 14, central);
    label2_->setObjectName("Label2");
    image1_ = new QLabel(central);
    image1_->setObjectName("Image1");
    image1_->setPixmap(handheldPicture());
    lblVer_ = new QLabel(QStringLiteral("Ver."), central);
    lblVer_->setObjectName("lblVer");

    btnSetData_ = menuButton("btnSetData", QStringLiteral("設定情報の入力"), central);
    btnFileRead_ = menuButton("btnFileRead", QStringLiteral("設定ファイルの読込"), central);
    btnRSSet_ = menuButton("btnRSSet", QStringLiteral("通信条件の設定"), central);
    btnEnd_ = menuButton("btnEnd", QStringLiteral("終了"), central);
    connect(btnSetData_, &QPushButton::clicked, this, [this] { btnSetData_Click(); });
    connect(btnFileRead_, &QPushButton::clicked, this, [this] { btnFileRead_Click(); });
    connect(btnRSSet_, &QPushButton::clicked, this, &AutoMainWindow::btnRSSet_Click);
    connect(btnEnd_, &QPushButton::clicked, this, &AutoMainWindow::btnEnd_Click);

    auto* titles = new QVBoxLayout;
    titles->addWidget(label1_);
    titles->addWidget(label2_);
    titles->addStretch();
    titles->addWidget(lblVer_, 0, Qt::AlignRight);

    auto* top = new QHBoxLayout;
    top->addWidget(image1_);
    top->addSpacing(16);
    top->addLayout(titles, 1);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {btnSetData_, btnFileRead_, btnRSSet_, btnEnd_}) buttons->addWidget(b);

    auto* layout = new QHBoxLayout(central);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(top);
    layout->addSpacing(24);
    layout->addLayout(buttons);
}

AutoMainWindow::~AutoMainWindow() = default;

void AutoMainWindow::btnRSSet_Click() {
    F_SetRS settings(this);
    settings.exec();
}

void AutoMainWindow::btnEnd_Click() {
    close();
}

QString AutoMainWindow::chooseJobFile() {
    return choosePath(jobFileToRead(), this);
}

void AutoMainWindow::edit(JobEditor& editor) {
    editor.setRunWindow(runWindow_);
    editor.exec();
}

void AutoMainWindow::run(F_Auto& window) {
    runJobWindow(window, runWindow_);
}

void AutoMainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Once: showing the window again must not complete the label twice.
    if (loaded_) return;
    loaded_ = true;
    centreOnScreen(this);
    lblVer_->setText(lblVer_->text() + QStringLiteral(VSK_VERSION_TEXT));
}

// --- F_MainD

F_MainD::F_MainD(QWidget* parent)
    : AutoMainWindow(QStringLiteral("オートモード・ダウンロード"), parent) {
    setObjectName("F_MainD");
}

F_MainD::~F_MainD() = default;

void F_MainD::btnSetData_Click() {
    F_SetD editor(this);
    edit(editor);
}

void F_MainD::btnFileRead_Click() {
    const QString path = chooseJobFile();
    if (path.isEmpty()) return;
    ClsSetFile file;
    file.setfilename(path);

    const std::optional<DownloadSummary> s = readDownloadSummary(file);
    if (!s) {
        showError(kJobReadFailed, this);
        return;
    }
    if (!confirmJob(this, confirmationHeading(1), downloadConfirmation(*s))) return;

    F_Auto window(this);
    window.setHtno(file.GetHTNOArrange(1));
    window.setPollingTout(s->polling);
    window.setSkipMode(s->skip);
    window.setResFileName(s->logFile);
    window.setResMode(s->logType);
    window.FileTblClr();
    // Every entry, empty ones too: the list itself ends at the first empty one.
    for (int index = 1; index <= kEntries; ++index)
        if (window.FileTblAdd(file.GetDownloadFile(index)) < 0) break;
    window.setLineFromStore();
    window.setProtype(1);
    run(window);
}

}  // namespace vsk::ui
