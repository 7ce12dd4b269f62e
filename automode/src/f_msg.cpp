#include "f_msg.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui_common.h"

namespace vsk::ui {

namespace {

constexpr int kListWidth = 440;
constexpr int kListLines = 12;

// The labels line up their colons with blanks, counting a half-width
// character as one column and a full-width one as two: that needs a
// Japanese fixed-width face.
QFont alignedFont(const QFont& base) {
    QFont font = base;
    font.setFamilies({"IPAGothic", "IPAゴシック", "Noto Sans Mono CJK JP", "VL Gothic",
                      "TakaoGothic", "Monospace"});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

}  // namespace

F_Msg::F_Msg(QWidget* parent) : QDialog(parent) {
    setObjectName("F_Msg");
    setWindowTitle(QStringLiteral("設定内容の確認"));

    label1_ = new QLabel(this);
    label1_->setObjectName("Label1");

    lstMsg_ = new QListWidget(this);
    lstMsg_->setObjectName("lstMsg");
    lstMsg_->setFont(alignedFont(font()));
    lstMsg_->setSelectionMode(QAbstractItemView::NoSelection);
    // Long paths scroll sideways instead of being cut.
    lstMsg_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    lstMsg_->setFixedSize(kListWidth, lstMsg_->fontMetrics().lineSpacing() * kListLines);

    label2_ = new QLabel(QStringLiteral("よろしいですか？"), this);
    label2_->setObjectName("Label2");

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setObjectName("OKButton");
    okButton_->setDefault(true);
    okButton_->setMinimumWidth(100);
    connect(okButton_, &QPushButton::clicked, this, &F_Msg::OKButton_Click);

    cancelButton_ = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cancelButton_->setObjectName("CancelButton");
    cancelButton_->setMinimumWidth(100);
    connect(cancelButton_, &QPushButton::clicked, this, &F_Msg::CancelButton_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(label2_);
    buttons->addStretch();
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(label1_);
    layout->addWidget(lstMsg_);
    layout->addLayout(buttons);
}

F_Msg::~F_Msg() = default;

void F_Msg::ClrList() {
    lstMsg_->clear();
}

void F_Msg::AddList(const QString& line) {
    lstMsg_->addItem(line);
}

void F_Msg::OKButton_Click() {
    result_ = true;
    done(Accepted);
}

void F_Msg::CancelButton_Click() {
    result_ = false;
    done(Rejected);
}

void F_Msg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    result_ = false;
    centreOnScreen(this);
    okButton_->setFocus();
}

void F_Msg::reject() {
    // The close box and Escape: the job must not start.
    result_ = false;
    QDialog::reject();
}

bool confirmJob(QWidget* parent, const QString& heading, const QStringList& lines) {
    F_Msg msg(parent);
    msg.Label1()->setText(heading);
    msg.ClrList();
    for (const QString& line : lines) msg.AddList(line);
    msg.exec();
    return msg.Result();
}

}  // namespace vsk::ui
