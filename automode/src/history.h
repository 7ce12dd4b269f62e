// The auto-mode history file: one block of lines per transfer, in the layout
// of the library's result file (seven comma-separated fields, CR LF), with
// the auto tools' own result texts and each line's own date and time.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

#include "veska.h"

namespace vsk::ui {

// Field 7 of an F line; empty for codes the tools have no text for.
QString historyResultText(int32_t code);
// Field 7 of a D line.
QString historyOutcomeText(int32_t outcome, bool upload);

// A path split at its last "/": a path ending in "/" is all folder; otherwise
// trailing blanks and zero characters are dropped first.
struct PathParts {
    QString folder;  // up to and including the last "/"
    QString name;
};
PathParts splitJobPath(const QString& path);

using Clock = std::function<QDateTime()>;

class HistoryFile {
  public:
    // `mode` 0 rewrites the file for every transfer, 1 appends, 2 writes
    // nothing. The path is used without its surrounding blanks.
    HistoryFile(const QString& path, int32_t mode, Clock clock = {});

    // The block for one transfer with terminal `ht` ("001".."128"). A file
    // that cannot be written is skipped without a word.
    void writeDownload(const QString& ht, int32_t count, const DownloadList& list, int32_t result);
    void writeUpload(const QString& ht, const UploadList& list, int32_t result);

  private:
    QString line(QChar kind, const QString& ht, const QString& field5, const QString& number,
                 const QString& text) const;
    void write(const QStringList& lines) const;

    QString path_;
    int32_t mode_;
    Clock clock_;
};

}  // namespace vsk::ui
