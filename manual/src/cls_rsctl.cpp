#include "cls_rsctl.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <optional>

#include "f_con.h"
#include "f_prog.h"
#include "f_ren.h"
#include "line_codes.h"
#include "message_box.h"
#include "veska01.h"

namespace vsk::ui {

namespace {

QByteArray ascii(const QString& ht) {
    return ht.toLatin1();
}

}  // namespace

void ClsRSCtl::setBaudRate(const QVariant& v) {
    if (auto n = numberOf(v)) settings_.BaudRate = *n;
}

void ClsRSCtl::setParity(const QVariant& v) {
    if (auto n = parityCode(v)) settings_.Parity = *n;
}

void ClsRSCtl::setBiteSize(const QVariant& v) {
    if (auto n = dataBitsCode(v)) settings_.BiteSize = *n;
}

void ClsRSCtl::setStopBits(const QVariant& v) {
    if (auto n = stopBitsCode(v)) settings_.StopBits = *n;
}

void ClsRSCtl::setFlow(const QVariant& v) {
    if (auto n = numberOf(v)) settings_.Flow = *n;
}

void ClsRSCtl::setTimeout(const QVariant& v) {
    if (auto n = numberOf(v)) settings_.timeout = *n;
}

void ClsRSCtl::setRetry(const QVariant& v) {
    if (auto n = numberOf(v)) settings_.Retry = *n;
}

int16_t ClsRSCtl::FileTblAdd(const QByteArray& name, int32_t size) {
    if (!table_.add(name, size)) return -1;
    return static_cast<int16_t>(table_.count());
}

int16_t ClsRSCtl::FileTblGet(QByteArray& name, int32_t& size) {
    int16_t before = static_cast<int16_t>(table_.count());
    table_.take(&name, &size);
    return before;
}

void ClsRSCtl::FileTblClr() {
    table_.clear();
}

int32_t ClsRSCtl::VskComOpen(int32_t port) {
    return Vsk_ComOpen(&handle_, port, 0, &settings_);
}

int32_t ClsRSCtl::VskComClose() {
    return Vsk_ComClose(handle_);
}

int32_t ClsRSCtl::VskSuspend() {
    return Vsk_Suspend(handle_);
}

int32_t ClsRSCtl::VskPolling(const QString& ht, int32_t pollingTout) {
    return Vsk_Polling(handle_, ascii(ht).constData(), pollingTout);
}

QString ClsRSCtl::VskGetSysErrorMsg() const {
    return lastSystemErrorText();
}

int32_t ClsRSCtl::VskDispInit(const QString& ht) {
    return Vsk_DispInit(handle_, ascii(ht).constData());
}

int32_t ClsRSCtl::VskDIR(const QString& ht) {
    int32_t result = Vsk_DIR(handle_, ascii(ht).constData(), &listing_);
    if (result != 0) return result;
    table_.clear();
    // A terminal may announce more files than a listing holds.
    int count = std::clamp<int32_t>(listing_.FileCount, 0, FileTable::kCapacity);
    for (int i = 0; i < count; ++i) {
        const DirEntry& e = listing_.Entries[i];
        table_.addUntrimmed(QByteArray(e.Name, sizeof e.Name), e.Size);
    }
    freeSize_ = listing_.FreeSize;
    return 0;
}

int32_t ClsRSCtl::VskFDelete(const QString& ht) {
    F_CON question(parent_);
    bool all = false;
    int32_t result = 0;
    for (int i = 0; i < table_.count(); ++i) {
        const QByteArray& name = table_.at(i).Name;
        if (!all) {
            question.setWindowTitle(QStringLiteral("ファイル削除"));
            question.btn(0)->setText(QStringLiteral("削除"));
            question.btn(1)->setText(QStringLiteral("すべて削除"));
            question.btn(2)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
            question.txtMsg()->setPlainText(fromCp932(trimmedBlanks(name)) + QLatin1Char('\n') +
                                            QStringLiteral("削除してもよろしいですか？"));
            question.exec();
            if (question.BtnIndex() == 2) break;
            if (question.BtnIndex() == 1) all = true;
        }
        result = Vsk_FDelete(handle_, ascii(ht).constData(), name.constData());
        if (result != 0) break;
    }
    return result;
}

int32_t ClsRSCtl::VskFRename(const QString& ht) {
    F_Ren dialog(parent_);
    int32_t result = 0;
    for (int i = 0; i < table_.count(); ++i) {
        const QByteArray& oldName = table_.at(i).Name;
        const QString oldText = fromCp932(oldName);
        dialog.lblRename()->setText(QStringLiteral("ＨＴ側のファイル名を変更します"));
        dialog.txtRename()->setText(oldText);
        dialog.exec();
        if (dialog.BtnIndex() == 1) break;
        const QString newName = dialog.NewFileName();
        if (newName == oldText) continue;
        if (!CheckHtFileName(newName)) {
            showError(invalidHtNameMessage(newName), parent_);
            continue;
        }
        // The name check ignores surrounding blanks, so they are not sent:
        // the terminal would keep them as part of the name.
        result = Vsk_FRename(handle_, ascii(ht).constData(), oldName.constData(),
                             trimmedBlanks(toCp932(newName)).constData());
        if (result != 0) break;
    }
    return result;
}

int32_t ClsRSCtl::runInProgressWindow(int16_t kind, const QString& ht, bool copyTable,
                                      SizeGiven sizes, const std::function<void(F_Prog&)>& setUp) {
    F_Prog window(parent_);
    window.setProtype(kind);
    window.setHtno(ht);
    window.ProgClr(handle_);
    if (setUp) setUp(window);
    if (copyTable) {
        window.FileTblClr();
        for (int i = 0; i < table_.count(); ++i) {
            const FileEntry& e = table_.at(i);
            int32_t size = 0;
            if (sizes == SizeGiven::kListed) size = e.Size;
            if (sizes == SizeGiven::kPcFileLength)
                size = static_cast<int32_t>(QFileInfo(QString::fromUtf8(e.Name)).size());
            if (window.FileTblAdd(e.Name, size) < 0) break;
        }
    }
    window.TimerStart()->start();
    window.exec();
    return window.Result();
}

int32_t ClsRSCtl::VskAPInstall(const QString& ht) {
    return runInProgressWindow(F_Prog::kInstall, ht, true, SizeGiven::kNone, {});
}

int32_t ClsRSCtl::VskFDownload(const QString& ht) {
    return runInProgressWindow(F_Prog::kDownload, ht, true, SizeGiven::kNone, {});
}

int32_t ClsRSCtl::VskFUpload(const QString& ht, const QString& upFolder) {
    return runInProgressWindow(F_Prog::kUpload, ht, true, SizeGiven::kListed,
                               [&](F_Prog& w) { w.setUpfolder(upFolder); });
}

int32_t ClsRSCtl::VskPollingAllDownload(const QString& ht, int32_t pollingTout,
                                        const QString& resFileName, int32_t resMode,
                                        int32_t skipMode) {
    return runInProgressWindow(F_Prog::kPollingDownload, ht, true, SizeGiven::kPcFileLength,
                               [&](F_Prog& w) {
                                   w.setPollingTout(pollingTout);
                                   w.setSkipMode(skipMode);
                                   w.setResFileName(resFileName);
                                   w.setResMode(resMode);
                               });
}

int32_t ClsRSCtl::VskPollingAllUpload(const QString& ht, const QString& upFolder, int32_t saveMode,
                                      int32_t pollingTout, const QString& resFileName,
                                      int32_t resMode) {
    return runInProgressWindow(F_Prog::kPollingUpload, ht, false, SizeGiven::kNone, [&](F_Prog& w) {
        w.setPollingTout(pollingTout);
        w.setUpfolder(upFolder);
        w.setSaveMode(saveMode);
        w.setResFileName(resFileName);
        w.setResMode(resMode);
    });
}

}  // namespace vsk::ui
