// The file and folder dialogs of the auto tools' windows. Every window asks
// through choosePath, so a test can answer with a path of its choice instead
// of a dialog that waits for a user.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace vsk::ui {

struct PathRequest {
    enum class Kind {
        OpenFile,     // an existing file
        OpenAnyFile,  // an existing file or a new name
        SaveFile,     // a name in an existing folder; an existing file only after asking
        Folder,       // an existing folder
    };
    Kind kind = Kind::OpenFile;
    QString title;        // the caption; for a folder, the prompt
    QStringList filters;  // name filters in the dialog's syntax, in the order offered
    int selectedFilter = 0;
    QString defaultSuffix;  // added to a typed name that has none ("SIF")
};

// The chosen path, absolute; empty when the user cancelled.
using PathChooser = std::function<QString(const PathRequest& request)>;

// While a chooser is set, every request is handed to it instead of a dialog.
void setPathChooser(PathChooser chooser);
QString choosePath(const PathRequest& request, QWidget* parent);

// The requests the windows make.
PathRequest jobFileToRead();
PathRequest jobFileToSave();
PathRequest downloadFileToAdd();
PathRequest historyFile();
PathRequest uploadFolder();

// Shown by the save dialog when the typed name's folder does not exist.
QString missingFolderText(const QString& folder);

}  // namespace vsk::ui
