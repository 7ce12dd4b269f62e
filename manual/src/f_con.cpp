#include "f_con.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui_common.h"

namespace vsk::ui {

F_CON::F_CON(QWidget* parent) : QDialog(parent) {
    setObjectName("F_CON");

    txtMsg_ = new QPlainTextEdit(this);
    txtMsg_->setObjectName("txtMsg");
    txtMsg_->setReadOnly(true);
    // The answer belongs to the buttons; Enter must not stop in the text.
    txtMsg_->setFocusPolicy(Qt::NoFocus);
    txtMsg_->setFixedSize(360, txtMsg_->fontMetrics().lineSpacing() * 4);

    auto* row = new QHBoxLayout;
    for (int16_t i = 0; i < static_cast<int16_t>(btn_.size()); ++i) {
        auto* button = new QPushButton(this);
        button->setObjectName(QStringLiteral("btn_%1").arg(i));
        button->setMinimumWidth(100);
        connect(button, &QPushButton::clicked, this, [this, i] { answer(i); });
        row->addWidget(button);
        btn_[static_cast<size_t>(i)] = button;
    }

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(txtMsg_);
    layout->addLayout(row);
}

F_CON::~F_CON() = default;

QPushButton* F_CON::btn(int index) const {
    if (index < 0 || index >= static_cast<int>(btn_.size())) return nullptr;
    return btn_[static_cast<size_t>(index)];
}

void F_CON::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(this);
    btn_[0]->setFocus();
}

void F_CON::reject() {
    // The callers read BtnIndex after every show; a dialog closed without a
    // button must not read as the first answer, delete or overwrite.
    btnIndex_ = kCancel;
    QDialog::reject();
}

void F_CON::answer(int16_t index) {
    btnIndex_ = index;
    done(index == kCancel ? Rejected : Accepted);
}

}  // namespace vsk::ui
