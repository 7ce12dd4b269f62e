#include "cls_setfile.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "cls_reg.h"
#include "profile_file.h"
#include "veska.h"

namespace vsk::ui {

namespace {

const QString kDownload = QStringLiteral("DOWNLOAD");
const QString kUpload = QStringLiteral("UPLOAD");
constexpr int kTerminals = VSK_MAX_HT;

QString sectionFor(int32_t protype) {
    return protype == 1 ? kDownload : kUpload;
}

QString downloadFileKey(int32_t index) {
    return QString::number(index).rightJustified(3, QLatin1Char('0')) + QStringLiteral("DOWNFILE");
}

// Marks the numbers from `low` to `high` that are terminal numbers; the
// bounds may be any size.
void select(QString& mask, double low, double high) {
    double from = std::max(low, 1.0), to = std::min(high, double(kTerminals));
    if (from > to) return;
    for (int n = static_cast<int>(std::ceil(from)); n <= to; ++n) mask[n - 1] = QLatin1Char('1');
}

}  // namespace

QString htMaskFor(const QString& list) {
    QString mask(kTerminals, QLatin1Char('0'));
    for (const QString& piece : list.split(QLatin1Char(','))) {
        if (piece.isEmpty()) continue;
        qsizetype dash = piece.indexOf(QLatin1Char('-'));
        if (dash < 0) {
            double n = leadingNumber(piece);
            select(mask, n, n);
        } else {
            select(mask, leadingNumber(piece.left(dash)), leadingNumber(piece.mid(dash + 1)));
        }
    }
    return mask;
}

bool selectsATerminal(const QString& mask) {
    return mask.contains(QLatin1Char('1'));
}

bool ClsSetFile::setfilename(const QString& path) {
    if (!path.startsWith(QLatin1Char('/'))) return false;
    path_ = path;
    return QFileInfo(path).isFile();
}

QString ClsSetFile::read(const QString& section, const QString& key) const {
    if (path_.isEmpty()) return {};
    return readProfileString(path_, section, key);
}

bool ClsSetFile::write(const QString& section, const QString& key, const QVariant& value) {
    if (path_.isEmpty()) return false;
    return writeProfileString(path_, section, key, storedText(value));
}

QString ClsSetFile::checked(const QString& section, const QString& key, double low, double high,
                            const QString& fallback) {
    QString text = read(section, key);
    double value = leadingNumber(text);
    if (value >= low && value <= high) return text;
    err_ = true;
    return fallback;
}

QString ClsSetFile::GetPollingTout(int32_t protype) {
    return checked(sectionFor(protype), QStringLiteral("POLLING"), VSK_MIN_POLLING_MS,
                   VSK_MAX_POLLING_MS, QString::number(VSK_DEFAULT_POLLING_MS));
}

QString ClsSetFile::GetHTNO(int32_t protype) {
    return read(sectionFor(protype), QStringLiteral("HTID"));
}

QString ClsSetFile::GetSkipMode() {
    return checked(kDownload, QStringLiteral("SKIP"), 0, 1, QStringLiteral("0"));
}

QString ClsSetFile::GetDownloadFile(int32_t index) {
    if (index < 1 || index > kTerminals) return {};
    return read(kDownload, downloadFileKey(index));
}

QString ClsSetFile::GetUpFolder() {
    return read(kUpload, QStringLiteral("UPLOAD"));
}

QString ClsSetFile::GetSaveMode() {
    return checked(kUpload, QStringLiteral("SAVE"), 0, 2, QStringLiteral("0"));
}

QString ClsSetFile::GetResFile(int32_t protype) {
    return read(sectionFor(protype), QStringLiteral("LOGFILE"));
}

QString ClsSetFile::GetResMode(int32_t protype) {
    return checked(sectionFor(protype), QStringLiteral("LOGTYPE"), 0, 2, QStringLiteral("0"));
}

QString ClsSetFile::GetHTNOArrange(int32_t protype) {
    return htMaskFor(GetHTNO(protype));
}

bool ClsSetFile::SetHTNO(int32_t protype, const QVariant& value) {
    return write(sectionFor(protype), QStringLiteral("HTID"), value);
}

bool ClsSetFile::SetPollingTout(int32_t protype, const QVariant& value) {
    return write(sectionFor(protype), QStringLiteral("POLLING"), value);
}

bool ClsSetFile::SetResFile(int32_t protype, const QVariant& value) {
    return write(sectionFor(protype), QStringLiteral("LOGFILE"), value);
}

bool ClsSetFile::SetResMode(int32_t protype, const QVariant& value) {
    return write(sectionFor(protype), QStringLiteral("LOGTYPE"), value);
}

bool ClsSetFile::SetSkipMode(const QVariant& value) {
    return write(kDownload, QStringLiteral("SKIP"), value);
}

QVariant ClsSetFile::SetDownloadFile(int32_t index, const QVariant& value) {
    if (index < 1 || index > kTerminals) return {};
    return write(kDownload, downloadFileKey(index), value);
}

bool ClsSetFile::SetUpFolder(const QVariant& value) {
    return write(kUpload, QStringLiteral("UPLOAD"), value);
}

bool ClsSetFile::SetSaveMode(const QVariant& value) {
    return write(kUpload, QStringLiteral("SAVE"), value);
}

}  // namespace vsk::ui
