// The PC side's folder chooser: a list that shows one folder path, its
// ancestors from the root down and, indented below it, its sub-folders.
// Activating an entry (double click, Enter) makes it the shown folder.
#pragma once

#include <QListWidget>
#include <QString>
#include <functional>

namespace vsk::ui {

class FolderList : public QListWidget {
  public:
    explicit FolderList(QWidget* parent = nullptr);

    // The folder shown, without a trailing "/" (except for the root).
    QString path() const { return path_; }
    // Shows `folder`; false (and nothing changes) when it is not a readable folder.
    bool setPath(const QString& folder);
    // The system's text for why the last setPath failed.
    QString errorText() const { return errorText_; }
    // Called after the shown folder has changed.
    void onChange(std::function<void()> handler) { onChange_ = std::move(handler); }

  private:
    void fill();
    void activate(QListWidgetItem* item);

    QString path_;
    QString errorText_;
    std::function<void()> onChange_;
};

// The mounted volumes, as the roots a user can choose between.
QStringList mountedVolumeRoots();
// The root of the mounted volume that holds `path`.
QString volumeRootOf(const QString& path);

}  // namespace vsk::ui
