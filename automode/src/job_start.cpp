#include "job_start.h"

#include <QFileInfo>
#include <cmath>

#include "cls_reg.h"
#include "line_codes.h"
#include "profile_file.h"
#include "veska.h"

namespace vsk::ui {

namespace {

constexpr int kResFileWidth = sizeof ResultFileRecord::Path;
constexpr int kEntries = VSK_MAX_FILES;

const QString kFileLabel = QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙ :");
const QString kMoreFilesLabel = QStringLiteral("             :");

bool startsWithNumber(const QString& text) {
    for (QChar c : text) {
        if (c == u' ' || c == u'\t') continue;
        return c.isDigit() || c == u'-' || c == u'+' || c == u'.';
    }
    return false;
}

int32_t numberOr(const QString& text, int32_t absent) {
    return propertyNumber(text).value_or(absent);
}

// Where the switch "/ICON" stands as a word of its own (at the start or after
// a blank, at the end or before one), or -1. Paths here are written with "/",
// so "/ICON" inside a word is part of a path ("/home/u/ICONS/DAY.SIF").
qsizetype iconSwitch(const QString& text) {
    const QLatin1String icon("/ICON");
    for (qsizetype at = text.indexOf(icon); at >= 0; at = text.indexOf(icon, at + 1)) {
        const qsizetype end = at + icon.size();
        if ((at == 0 || text[at - 1] == u' ') && (end == text.size() || text[end] == u' '))
            return at;
    }
    return -1;
}

}  // namespace

CommandLineStart parseCommandLine(const QString& joined) {
    CommandLineStart start;
    QString text = joined;
    qsizetype icon = iconSwitch(text);
    if (icon >= 0) {
        start.icon = true;
        text = text.left(std::max<qsizetype>(icon - 1, 0));
    }
    if (text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"'))
        text = text.sliced(1, text.size() - 2);
    start.path = text;
    return start;
}

std::optional<int32_t> propertyNumber(const QVariant& value) {
    if (value.typeId() != QMetaType::QString) {
        bool ok = false;
        double d = value.toDouble(&ok);
        if (!ok || !(std::fabs(d) < 2e9)) return std::nullopt;
        return static_cast<int32_t>(d);
    }
    const QString text = value.toString();
    if (!startsWithNumber(text)) return std::nullopt;
    double d = leadingNumber(text);
    if (!(std::fabs(d) < 2e9)) return std::nullopt;
    return static_cast<int32_t>(d);
}

QString fixedText(const QString& text, int width) {
    return text.left(width).leftJustified(width, QLatin1Char(' '));
}

QString jobRefusalDetail(JobRefusal why) {
    switch (why) {
        case JobRefusal::kNone:
            break;
        case JobRefusal::kUnreadable:
            return QStringLiteral("the file cannot be read");
        case JobRefusal::kTooLarge:
            return QStringLiteral("the file is larger than %1 bytes; no job file is")
                .arg(kMaxProfileBytes);
        case JobRefusal::kValueOutOfRange:
            return QStringLiteral("a value is out of its range");
        case JobRefusal::kNoTerminal:
            return QStringLiteral("HTID selects no terminal");
    }
    return {};
}

bool readJobFile(const QString& path, int16_t protype, AutoJob* job, ClsDatFile* files,
                 JobRefusal* why) {
    JobRefusal unused;
    JobRefusal& refusal = why ? *why : unused;
    refusal = JobRefusal::kNone;
    ClsSetFile file;
    if (!file.setfilename(path)) {
        refusal = JobRefusal::kUnreadable;
        return false;
    }
    if (profileTooLarge(path)) {
        refusal = JobRefusal::kTooLarge;
        return false;
    }
    job->htno = file.GetHTNOArrange(protype);
    job->PollingTout = numberOr(file.GetPollingTout(protype), 0);
    if (protype == 1) {
        job->SkipMode = numberOr(file.GetSkipMode(), 0);
    } else {
        job->upfolder = file.GetUpFolder();
        job->SaveMode = numberOr(file.GetSaveMode(), 0);
    }
    job->ResFileName = fixedText(file.GetResFile(protype), kResFileWidth);
    job->ResMode = numberOr(file.GetResMode(protype), 0);
    job->stopFolder = splitJobPath(path).folder;
    if (protype == 1 && files != nullptr) {
        files->FileTblClr();
        for (int i = 1; i <= kEntries; ++i)
            if (files->FileTblAdd(file.GetDownloadFile(i)) < 0) break;
    }
    if (file.Err()) {
        refusal = JobRefusal::kValueOutOfRange;
        return false;
    }
    if (!selectsATerminal(job->htno)) {
        refusal = JobRefusal::kNoTerminal;
        return false;
    }
    job->protype = protype;
    return true;
}

void takeStoredLine(AutoJob* job) {
    job->line = storedLineSettings();
    job->ComPort = storedPort();
}

QString confirmationHeading(int16_t protype) {
    return protype == 2 ? QStringLiteral("以下の設定でオートモード・アップロードを行います。")
                        : QStringLiteral("以下の設定でオートモード・ダウンロードを行います。");
}

QStringList downloadConfirmation(const DownloadSummary& s) {
    QStringList lines{QStringLiteral("対象HTのID   :") + s.htid,
                      QStringLiteral("ﾎﾟｰﾘﾝｸﾞ間隔  :") + s.polling,
                      QStringLiteral("STOP処理     :") + s.skip, kFileLabel + s.files.value(0)};
    for (qsizetype i = 1; i < s.files.size(); ++i) lines << kMoreFilesLabel + s.files[i];
    lines << QStringLiteral("履歴処理     :") + s.logType
          << QStringLiteral("履歴ﾌｧｲﾙ名   :") + s.logFile;
    return lines;
}

QStringList uploadConfirmation(const UploadSummary& s, bool saveModeFirst) {
    const QString folder = QStringLiteral("ｱｯﾌﾟﾛｰﾄﾞﾌｫﾙﾀﾞ :") + s.folder;
    const QString save = QStringLiteral("上書き処理    :") + s.save;
    QStringList lines{QStringLiteral("対象HTのID    :") + s.htid,
                      QStringLiteral("ﾎﾟｰﾘﾝｸﾞ間隔   :") + s.polling};
    lines << (saveModeFirst ? save : folder) << (saveModeFirst ? folder : save);
    lines << QStringLiteral("履歴処理      :") + s.logType
          << QStringLiteral("履歴ﾌｧｲﾙ名    :") + s.logFile;
    return lines;
}

std::optional<DownloadSummary> readDownloadSummary(ClsSetFile& file) {
    DownloadSummary s;
    s.htid = file.GetHTNO(1);
    s.polling = file.GetPollingTout(1);
    s.skip = file.GetSkipMode();
    s.logFile = file.GetResFile(1);
    s.logType = file.GetResMode(1);
    s.files << file.GetDownloadFile(1);
    if (file.Err() || !selectsATerminal(htMaskFor(s.htid))) return std::nullopt;
    for (int i = 2; i <= kEntries; ++i) {
        QString entry = file.GetDownloadFile(i);
        if (entry.isEmpty()) break;
        s.files << entry;
    }
    return s;
}

std::optional<UploadSummary> readUploadSummary(ClsSetFile& file) {
    UploadSummary s;
    s.htid = file.GetHTNO(2);
    s.polling = file.GetPollingTout(2);
    s.folder = file.GetUpFolder();
    s.save = file.GetSaveMode();
    s.logFile = file.GetResFile(2);
    s.logType = file.GetResMode(2);
    if (file.Err() || !selectsATerminal(htMaskFor(s.htid))) return std::nullopt;
    return s;
}

std::optional<QStringList> confirmationOfFile(const QString& path, int16_t protype) {
    ClsSetFile file;
    file.setfilename(path);
    if (protype == 1) {
        auto s = readDownloadSummary(file);
        if (!s) return std::nullopt;
        return downloadConfirmation(*s);
    }
    auto s = readUploadSummary(file);
    if (!s) return std::nullopt;
    return uploadConfirmation(*s, false);
}

}  // namespace vsk::ui
