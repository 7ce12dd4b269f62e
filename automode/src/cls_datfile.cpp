#include "cls_datfile.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <limits>

#include "history.h"

namespace vsk::ui {

namespace {

bool isPattern(const QString& name) {
    return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
}

// The ordinary files in `folder` whose names are not UTF-8 and that match
// `pattern`, their names with U+FFFD for the bytes that do not decode. Qt's
// listing leaves them out; they are looked for so that leaving them out is
// said (no text names them, so no transfer can open them).
QStringList undecodableMatches(const QString& folder, const QString& pattern) {
    QStringList out;
    DIR* dir = opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) return out;
    const QRegularExpression match(QRegularExpression::wildcardToRegularExpression(pattern),
                                   QRegularExpression::CaseInsensitiveOption);
    while (const dirent* entry = readdir(dir)) {
        const QByteArray raw(entry->d_name);
        const QString name = QString::fromUtf8(raw);
        if (name.toUtf8() == raw || !match.match(name).hasMatch()) continue;
        struct stat info = {};
        if (fstatat(dirfd(dir), entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode)) out << name;
    }
    closedir(dir);
    return out;
}

// The ordinary files a pattern's last part matches in its folder (the
// current folder when it has none), as folder part + name. Names match
// without regard to letter case, as the job files were written for that.
QStringList matches(const QString& pattern) {
    qsizetype slash = pattern.lastIndexOf(QLatin1Char('/'));
    QString folderPart = slash < 0 ? QString() : pattern.left(slash + 1);
    QDir dir(folderPart.isEmpty() ? QStringLiteral(".") : folderPart);
    const QStringList names = dir.entryList({pattern.mid(slash + 1)}, QDir::Files, QDir::Name);
    QStringList out;
    for (const QString& n : names) out << folderPart + n;
    for (const QString& n : undecodableMatches(dir.path(), pattern.mid(slash + 1)))
        out << folderPart + n;
    return out;
}

}  // namespace

QString pcFileNameProblem(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    for (QChar c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("ファイル名に制御文字があります");
    // Undecodable bytes of a name read from a folder come back as U+FFFD.
    if (name.contains(QChar::ReplacementCharacter) && !QFileInfo::exists(path))
        return QStringLiteral("ファイル名がUTF-8ではありません");
    return {};
}

int32_t ClsDatFile::FileTblAdd(const QString& name) {
    if (names_.size() >= kMaxFiles) return -1;
    names_ << name.trimmed();
    return 0;
}

void ClsDatFile::FileTblClr() {
    names_.clear();
}

int32_t ClsDatFile::GetDownFileArrange() {
    expanded_.clear();
    leftOut_.clear();
    for (const QString& name : names_) {
        if (name.isEmpty()) break;
        const QStringList files = isPattern(name) ? matches(name) : QStringList{name};
        for (const QString& f : files) {
            if (expanded_.size() >= kMaxFiles) break;
            take(f);
        }
        if (expanded_.size() >= kMaxFiles) break;
    }
    return static_cast<int32_t>(expanded_.size());
}

void ClsDatFile::take(const QString& path) {
    const QString problem = pcFileNameProblem(path);
    if (problem.isEmpty())
        expanded_ << path;
    else
        leftOut_ << printableName(path) + QStringLiteral("（") + problem + QStringLiteral("）");
}

QString ClsDatFile::filename(int32_t i) const {
    return i >= 0 && i < expanded_.size() ? expanded_[i] : QString();
}

int32_t ClsDatFile::filesize(int32_t i) const {
    if (i < 0 || i >= expanded_.size()) return 0;
    QFileInfo info(expanded_[i]);
    if (!info.isFile()) return 0;
    return static_cast<int32_t>(qMin<qint64>(info.size(), std::numeric_limits<int32_t>::max()));
}

}  // namespace vsk::ui
