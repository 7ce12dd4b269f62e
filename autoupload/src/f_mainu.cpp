#include "f_mainu.h"

#include "cls_setfile.h"
#include "f_auto.h"
#include "f_msg.h"
#include "f_setu.h"
#include "job_start.h"
#include "message_box.h"

namespace vsk::ui {

F_MainU::F_MainU(QWidget* parent)
    : AutoMainWindow(QStringLiteral("オートモード・アップロード"), parent) {
    setObjectName("F_MainU");
}

F_MainU::~F_MainU() = default;

void F_MainU::btnSetData_Click() {
    F_SetU editor(this);
    edit(editor);
}

void F_MainU::btnFileRead_Click() {
    const QString path = chooseJobFile();
    if (path.isEmpty()) return;
    ClsSetFile file;
    file.setfilename(path);

    const std::optional<UploadSummary> s = readUploadSummary(file);
    if (!s) {
        showError(kJobReadFailed, this);
        return;
    }
    if (!confirmJob(this, confirmationHeading(2), uploadConfirmation(*s, false))) return;

    F_Auto window(this);
    window.setHtno(file.GetHTNOArrange(2));
    window.setPollingTout(s->polling);
    window.setUpfolder(s->folder);
    window.setSaveMode(s->save);
    window.setResFileName(s->logFile);
    window.setResMode(s->logType);
    window.setLineFromStore();
    window.setProtype(2);
    run(window);
}

}  // namespace vsk::ui
