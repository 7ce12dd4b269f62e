#include "f_setd.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "cls_reg.h"
#include "cls_setfile.h"
#include "f_auto.h"
#include "f_msg.h"
#include "file_dialogs.h"
#include "job_start.h"
#include "message_box.h"
#include "ui_common.h"
#include "veska.h"

namespace vsk::ui {

namespace {

constexpr int kMaxEntries = VSK_MAX_FILES;
constexpr double kPollingLow = VSK_MIN_POLLING_MS;
constexpr double kPollingHigh = VSK_MAX_POLLING_MS;
constexpr int kNoHistory = 2;
constexpr int kListWidth = 440;  // longer lines scroll sideways

QLineEdit* lineEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    return edit;
}

QPushButton* button(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

void runJobWindow(F_Auto& window, const RunWindowHook& hook) {
    if (hook) {
        hook(window);
        return;
    }
    window.runModal();
}

QButtonGroup* optionGroup(QGroupBox* frame, const QString& name, const QStringList& captions) {
    auto* group = new QButtonGroup(frame);
    auto* row = new QHBoxLayout;
    for (int i = 0; i < captions.size(); ++i) {
        QRadioButton* option = addOption(group, i, captions[i], frame);
        option->setObjectName(QStringLiteral("%1_%2").arg(name).arg(i));
        row->addWidget(option);
    }
    row->addStretch();
    group->button(0)->setChecked(true);
    auto* layout = new QVBoxLayout(frame);
    layout->addLayout(row);
    return group;
}

// --- JobEditor

JobEditor::JobEditor(const QString& caption, const QString& noHistory, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(caption);

    txtHTID_ = lineEdit("txtHTID", this);
    txtPolling_ = lineEdit("txtPolling", this);

    frmHis_ = new QGroupBox(QStringLiteral("履歴ﾌｧｲﾙ"), this);
    frmHis_->setObjectName("frmHis");
    optHis_ = optionGroup(frmHis_, QStringLiteral("optHis"),
                          {QStringLiteral("上書き"), QStringLiteral("追加"), noHistory});
    txtHis_ = lineEdit("txtHis", frmHis_);
    btnHis_ = button("btnHis", QStringLiteral("参照"), frmHis_);
    auto* hisRow = new QHBoxLayout;
    hisRow->addWidget(txtHis_, 1);
    hisRow->addWidget(btnHis_);
    static_cast<QVBoxLayout*>(frmHis_->layout())->addLayout(hisRow);

    btnSave_ = button("btnSave", QStringLiteral("設定ﾌｧｲﾙに保存"), this);
    btnCancel_ = button("btnCancel", QStringLiteral("ｷｬﾝｾﾙ"), this);

    connect(btnHis_, &QPushButton::clicked, this, &JobEditor::btnHis_Click);
    connect(btnSave_, &QPushButton::clicked, this, &JobEditor::btnSave_Click);
    connect(btnCancel_, &QPushButton::clicked, this, &JobEditor::btnCancel_Click);
}

JobEditor::~JobEditor() = default;

void JobEditor::layOut(QWidget* jobRows, QPushButton* start) {
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("対象HTのID"), this), 0, 0);
    grid->addWidget(txtHTID_, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("ﾎﾟｰﾘﾝｸﾞ間隔"), this), 1, 0);
    grid->addWidget(txtPolling_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("mS"), this), 1, 2);
    txtPolling_->setMaximumWidth(80);
    grid->setColumnStretch(2, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {start, btnSave_, btnCancel_}) {
        b->setMinimumWidth(120);
        buttons->addWidget(b);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(grid);
    layout->addWidget(jobRows);
    layout->addWidget(frmHis_);
    layout->addLayout(buttons);
    orderTabs(jobRows, start);
}

// The controls are made in another order than they are laid out: the
// history before the tool's own rows, the start button last.
void JobEditor::orderTabs(QWidget* jobRows, QPushButton* start) {
    QList<QWidget*> order{txtHTID_, txtPolling_};
    order << jobRows->findChildren<QWidget*>() << frmHis_->findChildren<QWidget*>();
    order << start << btnSave_ << btnCancel_;
    QWidget* previous = nullptr;
    for (QWidget* w : order) {
        if (w->focusPolicy() == Qt::NoFocus) continue;
        if (previous != nullptr) setTabOrder(previous, w);
        previous = w;
    }
}

int JobEditor::historyMode() const {
    return optHis_->checkedId();
}

bool JobEditor::validated() {
    QString problem;
    // A list that selects no terminal ("abc") would poll nothing, for ever.
    if (!selectsATerminal(htMaskFor(txtHTID_->text()))) {
        problem = QStringLiteral("対象HTIDの入力がありません。");
    } else if (double polling = leadingNumber(txtPolling_->text());
               polling < kPollingLow || polling > kPollingHigh) {
        problem = QStringLiteral("ポーリング間隔が範囲外です。");
    } else if (QString own = jobProblem(); !own.isEmpty()) {
        problem = own;
    } else if (txtHis_->text().isEmpty() && historyMode() != kNoHistory) {
        problem = QStringLiteral("履歴ﾌｧｲﾙ名の選択がありません");
    }
    if (problem.isEmpty()) return true;
    showError(problem, this);
    return false;
}

void JobEditor::btnHis_Click() {
    QString path = choosePath(historyFile(), this);
    if (!path.isEmpty()) txtHis_->setText(path);
}

void JobEditor::btnSave_Click() {
    if (!validated()) return;
    QString path = choosePath(jobFileToSave(), this);
    if (path.isEmpty()) return;
    ClsSetFile file;
    file.setfilename(path);
    // Nothing is said when the job is saved, so a save that did not reach
    // the file must be told, or the user leaves believing it is there.
    if (!writeJob(file)) {
        showError(kJobSaveFailed, this);
        return;
    }
    keptState_ = editorState();
}

// The button says what it does: it leaves without saving and without asking.
void JobEditor::btnCancel_Click() {
    QDialog::reject();
}

QStringList JobEditor::editorState() const {
    return QStringList{txtHTID_->text(), txtPolling_->text(), QString::number(historyMode()),
                       txtHis_->text()}
           << jobState();
}

bool JobEditor::hasUnsavedChanges() const {
    return centred_ && editorState() != keptState_;
}

void JobEditor::reject() {
    if (hasUnsavedChanges() && !askYesNo(kDiscardTitle, kDiscardChanges, this)) return;
    QDialog::reject();
}

void JobEditor::startJob() {
    if (!validated()) return;
    if (!confirmJob(this, confirmationTitle(), confirmationLines())) return;
    F_Auto window(this);
    setUpRun(window);
    runJobWindow(window, runWindow_);
}

void JobEditor::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!centred_) {
        centred_ = true;
        centreOnScreen(this);
        keptState_ = editorState();
    }
}

// --- F_SetD

F_SetD::F_SetD(QWidget* parent)
    : JobEditor(QStringLiteral("設定情報入力画面(ｵｰﾄﾓｰﾄﾞﾀﾞｳﾝﾛｰﾄﾞ)"), QStringLiteral("作成なし"),
                parent) {
    setObjectName("F_SetD");
    btnDwnStart_ = button("btnDwnStart", QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ開始"), this);
    connect(btnDwnStart_, &QPushButton::clicked, this, &F_SetD::btnDwnStart_Click);
    layOut(buildFileRows(), btnDwnStart_);
}

F_SetD::~F_SetD() = default;

QWidget* F_SetD::buildFileRows() {
    auto* rows = new QWidget(this);
    txtFileName_ = lineEdit("txtFileName", rows);
    btnFileOpen_ = button("btnFileOpen", QStringLiteral("参照"), rows);
    btnAdd_ = button("btnAdd", QStringLiteral("追加"), rows);
    btnDel_ = button("btnDel", QStringLiteral("削除"), rows);
    lstDwnFile_ = new QListWidget(rows);
    lstDwnFile_->setObjectName("lstDwnFile");
    lstDwnFile_->setSelectionMode(QAbstractItemView::SingleSelection);
    lstDwnFile_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    lstDwnFile_->setMinimumWidth(kListWidth);
    chkSkip_ = new QCheckBox(QStringLiteral("ﾌｧｲﾙ無し時STOP処理"), rows);
    chkSkip_->setObjectName("chkSkip");

    connect(btnFileOpen_, &QPushButton::clicked, this, &F_SetD::btnFileOpen_Click);
    connect(btnAdd_, &QPushButton::clicked, this, &F_SetD::btnAdd_Click);
    connect(btnDel_, &QPushButton::clicked, this, &F_SetD::btnDel_Click);
    txtFileName_->installEventFilter(this);

    auto* grid = new QGridLayout(rows);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙ名"), rows), 0, 0, 1, 4);
    grid->addWidget(txtFileName_, 1, 0);
    grid->addWidget(btnFileOpen_, 1, 1);
    grid->addWidget(btnAdd_, 1, 2);
    grid->addWidget(btnDel_, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙ一覧"), rows), 2, 0, 1, 4);
    grid->addWidget(lstDwnFile_, 3, 0, 1, 4);
    grid->addWidget(chkSkip_, 4, 0, 1, 4);
    grid->setColumnStretch(0, 1);
    return rows;
}

QStringList F_SetD::listLines() const {
    QStringList lines;
    for (int i = 0; i < lstDwnFile_->count(); ++i) lines << lstDwnFile_->item(i)->text();
    return lines;
}

int F_SetD::stopFlag() const {
    return chkSkip_->isChecked() ? 1 : 0;
}

void F_SetD::btnFileOpen_Click() {
    // A cancelled dialog leaves what was typed.
    QString path = choosePath(downloadFileToAdd(), this);
    if (!path.isEmpty()) txtFileName_->setText(path);
}

void F_SetD::btnAdd_Click() {
    if (!txtFileName_->text().isEmpty()) lstDwnFile_->addItem(txtFileName_->text());
}

// A line edit passes Enter on to the dialog, which would press its default
// button; here Enter means the button beside the box.
bool F_SetD::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtFileName_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            btnAdd_Click();
            return true;
        }
    }
    return JobEditor::eventFilter(watched, event);
}

void F_SetD::btnDel_Click() {
    if (lstDwnFile_->selectedItems().isEmpty()) return;
    delete lstDwnFile_->takeItem(lstDwnFile_->currentRow());
}

void F_SetD::btnDwnStart_Click() {
    startJob();
}

QString F_SetD::jobProblem() const {
    if (lstDwnFile_->count() == 0) return QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙ名の選択がありません");
    return {};
}

bool F_SetD::writeJob(ClsSetFile& file) const {
    bool ok = file.SetHTNO(1, txtHTID()->text());
    ok = file.SetPollingTout(1, txtPolling()->text()) && ok;
    ok = file.SetSkipMode(stopFlag()) && ok;
    ok = file.SetResMode(1, historyMode()) && ok;
    ok = file.SetResFile(1, txtHis()->text()) && ok;
    // Entries past the list are emptied, which removes those of an earlier
    // save; the file has room for 128.
    const QStringList lines = listLines();
    for (int index = 1; index <= kMaxEntries; ++index) {
        QString entry = index <= lines.size() ? lines[index - 1] : QString();
        ok = file.SetDownloadFile(index, entry).toBool() && ok;
    }
    return ok;
}

QString F_SetD::confirmationTitle() const {
    return confirmationHeading(1);
}

QStringList F_SetD::confirmationLines() const {
    DownloadSummary s;
    s.htid = txtHTID()->text();
    s.polling = txtPolling()->text();
    s.skip = QString::number(stopFlag());
    s.files = listLines();
    s.logType = QString::number(historyMode());
    s.logFile = txtHis()->text();
    return downloadConfirmation(s);
}

// The name box counts: a name typed and not yet added is work too.
QStringList F_SetD::jobState() const {
    return QStringList{txtFileName_->text(), QString::number(stopFlag())} << listLines();
}

void F_SetD::setUpRun(F_Auto& window) const {
    window.setHtno(htMaskFor(txtHTID()->text()));
    window.setPollingTout(txtPolling()->text());
    window.setSkipMode(stopFlag());
    window.setResFileName(txtHis()->text());
    window.setResMode(historyMode());
    window.FileTblClr();
    for (const QString& line : listLines())
        if (window.FileTblAdd(line) < 0) break;
    window.setLineFromStore();
    window.setProtype(1);
}

}  // namespace vsk::ui
