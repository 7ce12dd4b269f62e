// Starting an auto-mode job: the tools' command line, reading a job file into
// a run, the confirmation lines, and the conversions the run window's
// properties make. Shared by both tools and veskactl.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <optional>

#include "auto_run.h"
#include "cls_setfile.h"

namespace vsk::ui {

inline const QString kJobReadFailed = QStringLiteral("設定ファイルの読み込みに失敗しました");

// The job file a tool was started with, and whether it starts minimised.
struct CommandLineStart {
    QString path;
    bool icon = false;
};
// `joined`: the arguments joined with single blanks. "/ICON" (exactly that,
// as a word of its own) and the blank before it end the path; surrounding
// double quotes go.
CommandLineStart parseCommandLine(const QString& joined);

// A number property as the run window takes it: the text's leading number
// ("75ms" is 75); nothing for a text that does not start with one.
std::optional<int32_t> propertyNumber(const QVariant& value);
// `text` cut or blank-filled to `width` characters.
QString fixedText(const QString& text, int width);

// Why a job file cannot be run. Each is told to the user as kJobReadFailed;
// `jobRefusalDetail` says more where there is room (stderr).
enum class JobRefusal { kNone, kUnreadable, kTooLarge, kValueOutOfRange, kNoTerminal };
QString jobRefusalDetail(JobRefusal why);

// Reads the job of `protype` (1 download, 2 upload) from `path` into `job`
// and, for a download, the transfer list, as a start from the command line
// does; the stop file is looked for beside the job file. False, with the
// reason in `why`, when the job cannot be run (tell the user kJobReadFailed).
bool readJobFile(const QString& path, int16_t protype, AutoJob* job, ClsDatFile* files,
                 JobRefusal* why = nullptr);
// The line settings and port from the settings store.
void takeStoredLine(AutoJob* job);

// The confirmation dialog's heading and lines.
QString confirmationHeading(int16_t protype);
struct DownloadSummary {
    QString htid, polling, skip;
    QStringList files;  // up to the first empty one
    QString logType, logFile;
};
QStringList downloadConfirmation(const DownloadSummary& s);
struct UploadSummary {
    QString htid, polling, folder, save, logType, logFile;
};
// The loaded job lists the folder before the save mode; the editor lists
// the save mode first.
QStringList uploadConfirmation(const UploadSummary& s, bool saveModeFirst);
// A job as the main windows read it to confirm it: the texts as stored, the
// download files up to the first empty one. Nothing when a value fails its
// check or the job selects no terminal (tell the user kJobReadFailed).
std::optional<DownloadSummary> readDownloadSummary(ClsSetFile& file);
std::optional<UploadSummary> readUploadSummary(ClsSetFile& file);
// What a job file's section would show in the confirmation; nothing when the
// file cannot be read.
std::optional<QStringList> confirmationOfFile(const QString& path, int16_t protype);

}  // namespace vsk::ui
