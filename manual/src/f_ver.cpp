#include "f_ver.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "ui_common.h"
#include "veska.h"

namespace vsk::ui {

namespace {

constexpr int kIconSize = 32;

QIcon programIcon(const QWidget* dialog) {
    QIcon icon = QApplication::windowIcon();
    if (!icon.isNull()) return icon;
    return dialog->style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, dialog);
}

}  // namespace

F_Ver::F_Ver(QWidget* parent) : QDialog(parent) {
    setObjectName("F_Ver");
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));

    image1_ = new QLabel(this);
    image1_->setObjectName("Image1");
    image1_->setPixmap(programIcon(this).pixmap(kIconSize, kIconSize));

    // The number comes from the library's header, so the tool and the library
    // never disagree about it. Set once: showing the box again must not
    // append it a second time.
    label1_ = new QLabel(QStringLiteral("Veskafile Ver.") + QStringLiteral(VSK_VERSION_TEXT), this);
    label1_->setObjectName("Label1");

    command1_ = new QPushButton(QStringLiteral("ＯＫ"), this);
    command1_->setObjectName("Command1");
    command1_->setDefault(true);
    command1_->setMinimumWidth(100);
    connect(command1_, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(image1_);
    top->addSpacing(12);
    top->addWidget(label1_);
    top->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(top);
    layout->addWidget(command1_, 0, Qt::AlignRight);
}

F_Ver::~F_Ver() = default;

void F_Ver::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(this);
}

}  // namespace vsk::ui
