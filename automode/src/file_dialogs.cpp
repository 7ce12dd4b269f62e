#include "file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "message_box.h"

namespace vsk::ui {

namespace {

// Name filters match case-sensitively here, and job files come from
// systems where "*.SIF" and "*.sif" are the same name.
const QString kJobFilter = QStringLiteral("設定ﾌｧｲﾙ (*.SIF *.sif)");
// "*.*" would leave out every name without a dot.
const QString kAnyFileFilter = QStringLiteral("すべてのﾌｧｲﾙ (*)");

PathChooser& chooser() {
    static PathChooser c;
    return c;
}

// A save dialog that refuses a name in a folder that does not exist, instead
// of handing back a path that no write can use. Asking before an existing
// file is replaced is the dialog's own behaviour.
class PathDialog : public QFileDialog {
  public:
    PathDialog(QWidget* parent, bool folderMustExist)
        : QFileDialog(parent), folderMustExist_(folderMustExist) {}

    void accept() override {
        const QString chosen = selectedFiles().value(0);
        if (folderMustExist_ && !chosen.isEmpty()) {
            QFileInfo info(chosen);
            if (!info.isDir() && !QFileInfo(info.absolutePath()).isDir()) {
                showError(missingFolderText(info.absolutePath()), this);
                return;
            }
        }
        QFileDialog::accept();
    }

  private:
    bool folderMustExist_;
};

QFileDialog::FileMode modeFor(PathRequest::Kind kind) {
    switch (kind) {
        case PathRequest::Kind::OpenFile:
            return QFileDialog::ExistingFile;
        case PathRequest::Kind::Folder:
            return QFileDialog::Directory;
        default:
            return QFileDialog::AnyFile;
    }
}

void setUp(QFileDialog& dialog, const PathRequest& request) {
    dialog.setWindowTitle(request.title);
    // The checks above and the filters must behave the same on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(modeFor(request.kind));
    dialog.setAcceptMode(request.kind == PathRequest::Kind::SaveFile ? QFileDialog::AcceptSave
                                                                     : QFileDialog::AcceptOpen);
    if (request.kind == PathRequest::Kind::Folder) {
        dialog.setOption(QFileDialog::ShowDirsOnly);
        return;
    }
    dialog.setNameFilters(request.filters);
    if (request.selectedFilter >= 0 && request.selectedFilter < request.filters.size())
        dialog.selectNameFilter(request.filters[request.selectedFilter]);
    dialog.setDefaultSuffix(request.defaultSuffix);
}

QString askUser(const PathRequest& request, QWidget* parent) {
    PathDialog dialog(parent, request.kind == PathRequest::Kind::SaveFile);
    setUp(dialog, request);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

}  // namespace

void setPathChooser(PathChooser c) {
    chooser() = std::move(c);
}

QString choosePath(const PathRequest& request, QWidget* parent) {
    if (chooser()) return chooser()(request);
    return askUser(request, parent);
}

PathRequest jobFileToRead() {
    return {PathRequest::Kind::OpenFile,
            QStringLiteral("設定ﾌｧｲﾙを開く"),
            {kJobFilter},
            0,
            QStringLiteral("SIF")};
}

PathRequest jobFileToSave() {
    // No suffix: the name is used as typed.
    return {PathRequest::Kind::SaveFile,
            QStringLiteral("名前を付けて設定ﾌｧｲﾙを保存"),
            {QStringLiteral("すべてのファイル (*)"), QStringLiteral("設定ファイル (*.SIF *.sif)")},
            1,
            {}};
}

PathRequest downloadFileToAdd() {
    return {
        PathRequest::Kind::OpenFile, QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙを選択"), {kAnyFileFilter}, 0, {}};
}

PathRequest historyFile() {
    // The history file is often one that the first run will create.
    return {
        PathRequest::Kind::OpenAnyFile, QStringLiteral("履歴ﾌｧｲﾙを開く"), {kAnyFileFilter}, 0, {}};
}

PathRequest uploadFolder() {
    return {PathRequest::Kind::Folder,
            QStringLiteral("アップロード先のフォルダを選択してください。"),
            {},
            0,
            {}};
}

QString missingFolderText(const QString& folder) {
    return QDir::toNativeSeparators(folder) + QStringLiteral("\nフォルダがありません。");
}

}  // namespace vsk::ui
