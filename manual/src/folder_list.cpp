#include "folder_list.h"

#include <dirent.h>

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QStyle>
#include <cerrno>
#include <cstring>

namespace vsk::ui {

namespace {

constexpr int kPathRole = Qt::UserRole;

}  // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { activate(item); });
}

bool FolderList::setPath(const QString& folder) {
    // Opening it tells whether it can be shown, and if not, why.
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) {
        errorText_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    ::closedir(dir);
    QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty()) return false;
    bool changed = canonical != path_;
    path_ = canonical;
    fill();
    if (changed && onChange_) onChange_();
    return true;
}

void FolderList::fill() {
    clear();
    // The chain of folders from the root down to the shown one.
    QStringList chain;
    for (QDir d(path_);;) {
        chain.prepend(d.absolutePath());
        if (d.isRoot() || !d.cdUp()) break;
    }
    int depth = 0;
    for (const QString& p : chain) {
        QString name = p == QLatin1String("/") ? p : QFileInfo(p).fileName();
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + name, this);
        item->setData(kPathRole, p);
        item->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
        ++depth;
    }
    setCurrentRow(count() - 1);
    const QStringList subfolders =
        QDir(path_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& sub : subfolders) {
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + sub, this);
        item->setData(kPathRole, QDir(path_).filePath(sub));
        item->setIcon(style()->standardIcon(QStyle::SP_DirClosedIcon));
    }
}

void FolderList::activate(QListWidgetItem* item) {
    if (item != nullptr) setPath(item->data(kPathRole).toString());
}

QStringList mountedVolumeRoots() {
    QStringList roots;
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        // Containers mount single files too; only folders can be shown.
        if (v.isValid() && v.isReady() && QFileInfo(v.rootPath()).isDir() &&
            !roots.contains(v.rootPath()))
            roots << v.rootPath();
    }
    roots.sort();
    return roots;
}

QString volumeRootOf(const QString& path) {
    QStorageInfo v(path);
    return v.isValid() ? v.rootPath() : QStringLiteral("/");
}

}  // namespace vsk::ui
