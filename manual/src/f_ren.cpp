#include "f_ren.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui_common.h"

namespace vsk::ui {

F_Ren::F_Ren(QWidget* parent) : QDialog(parent) {
    setObjectName("F_Ren");
    setWindowTitle(QStringLiteral("名前変更"));

    lblRename_ = new QLabel(this);
    lblRename_->setObjectName("lblRename");

    txtRename_ = new QLineEdit(this);
    txtRename_->setObjectName("txtRename");
    txtRename_->setMinimumWidth(300);

    const std::array<QString, 2> captions = {QStringLiteral("名前変更"), QStringLiteral("ｷｬﾝｾﾙ")};
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (int16_t i = 0; i < static_cast<int16_t>(btn_.size()); ++i) {
        auto* button = new QPushButton(captions[static_cast<size_t>(i)], this);
        button->setObjectName(QStringLiteral("btn_%1").arg(i));
        button->setMinimumWidth(100);
        connect(button, &QPushButton::clicked, this, [this, i] { answer(i); });
        row->addWidget(button);
        btn_[static_cast<size_t>(i)] = button;
    }
    // Enter in the name field renames.
    btn_[kRename]->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(lblRename_);
    layout->addWidget(txtRename_);
    layout->addLayout(row);
}

F_Ren::~F_Ren() = default;

QPushButton* F_Ren::btn(int index) const {
    if (index < 0 || index >= static_cast<int>(btn_.size())) return nullptr;
    return btn_[static_cast<size_t>(index)];
}

void F_Ren::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(this);
    // Typing replaces the old name at once; the arrow keys keep it for editing.
    txtRename_->setFocus();
    txtRename_->selectAll();
}

void F_Ren::reject() {
    // The callers read BtnIndex after every show; a dialog closed without a
    // button must end their loop like the cancel button.
    btnIndex_ = kCancel;
    QDialog::reject();
}

void F_Ren::answer(int16_t index) {
    btnIndex_ = index;
    if (index == kRename) newFileName_ = txtRename_->text();
    done(index == kCancel ? Rejected : Accepted);
}

}  // namespace vsk::ui
