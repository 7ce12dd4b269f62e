#include "f_setu.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "cls_setfile.h"
#include "f_auto.h"
#include "file_dialogs.h"
#include "job_start.h"

namespace vsk::ui {

F_SetU::F_SetU(QWidget* parent)
    : JobEditor(QStringLiteral("設定情報入力画面(ｵｰﾄﾓｰﾄﾞｱｯﾌﾟﾛｰﾄﾞ)"), QStringLiteral("作成しない"),
                parent) {
    setObjectName("F_SetU");
    btnUpStart_ = new QPushButton(QStringLiteral("ｱｯﾌﾟﾛｰﾄﾞ開始"), this);
    btnUpStart_->setObjectName("btnUpStart");
    btnUpStart_->setAutoDefault(false);
    connect(btnUpStart_, &QPushButton::clicked, this, &F_SetU::btnUpStart_Click);
    layOut(buildFolderRows(), btnUpStart_);
}

F_SetU::~F_SetU() = default;

QWidget* F_SetU::buildFolderRows() {
    auto* rows = new QWidget(this);
    txtUpFolder_ = new QLineEdit(rows);
    txtUpFolder_->setObjectName("txtUpFolder");
    btnFileOpen_ = new QPushButton(QStringLiteral("参照"), rows);
    btnFileOpen_->setObjectName("btnFileOpen");
    btnFileOpen_->setAutoDefault(false);
    connect(btnFileOpen_, &QPushButton::clicked, this, &F_SetU::btnFileOpen_Click);

    frmFile_ = new QGroupBox(QStringLiteral("PC上に同名ファイルがある場合の上書き処理"), rows);
    frmFile_->setObjectName("frmFile");
    optFile_ = optionGroup(
        frmFile_, QStringLiteral("optFile"),
        {QStringLiteral("上書き"), QStringLiteral("追加"), QStringLiteral("ｱｯﾌﾟﾛｰﾄﾞなし")});

    auto* grid = new QGridLayout(rows);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("ｱｯﾌﾟﾛｰﾄﾞﾌｫﾙﾀﾞ"), rows), 0, 0, 1, 2);
    grid->addWidget(txtUpFolder_, 1, 0);
    grid->addWidget(btnFileOpen_, 1, 1);
    grid->addWidget(frmFile_, 2, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    txtUpFolder_->setMinimumWidth(360);
    return rows;
}

int F_SetU::saveMode() const {
    return optFile_->checkedId();
}

void F_SetU::btnFileOpen_Click() {
    QString folder = choosePath(uploadFolder(), this);
    if (!folder.isEmpty()) txtUpFolder_->setText(folder);
}

void F_SetU::btnUpStart_Click() {
    startJob();
}

QString F_SetU::jobProblem() const {
    if (txtUpFolder_->text().isEmpty())
        return QStringLiteral("アップロードフォルダが指定されていません");
    return {};
}

bool F_SetU::writeJob(ClsSetFile& file) const {
    // Only the upload job: a download job in the same file stays as it is.
    bool ok = file.SetHTNO(2, txtHTID()->text());
    ok = file.SetPollingTout(2, txtPolling()->text()) && ok;
    ok = file.SetUpFolder(txtUpFolder_->text()) && ok;
    ok = file.SetSaveMode(saveMode()) && ok;
    ok = file.SetResMode(2, historyMode()) && ok;
    ok = file.SetResFile(2, txtHis()->text()) && ok;
    return ok;
}

QString F_SetU::confirmationTitle() const {
    return confirmationHeading(2);
}

QStringList F_SetU::confirmationLines() const {
    UploadSummary s;
    s.htid = txtHTID()->text();
    s.polling = txtPolling()->text();
    s.folder = txtUpFolder_->text();
    s.save = QString::number(saveMode());
    s.logType = QString::number(historyMode());
    s.logFile = txtHis()->text();
    return uploadConfirmation(s, true);
}

QStringList F_SetU::jobState() const {
    return {txtUpFolder_->text(), QString::number(saveMode())};
}

void F_SetU::setUpRun(F_Auto& window) const {
    window.setHtno(htMaskFor(txtHTID()->text()));
    window.setPollingTout(txtPolling()->text());
    window.setUpfolder(txtUpFolder_->text());
    window.setSaveMode(saveMode());
    window.setResFileName(txtHis()->text());
    window.setResMode(historyMode());
    window.setLineFromStore();
    window.setProtype(2);
}

}  // namespace vsk::ui
