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

// A file name as a field of a line or a message: a control character (a line
// break in a file name) would split or garble it, so it is written as \xNN.
QString printableName(const QString& name);

// A path split at its last "/": a path ending in "/" is all folder; otherwise
// trailing blanks and zero characters are dropped first.
struct PathParts {
    QString folder;  // up to and including the last "/"
    QString name;
};
PathParts splitJobPath(const QString& path);

using Clock = std::function<QDateTime()>;

// One transfer's lines before they are dated: fields 1 and 4 to 7 of each.
struct HistoryBlock {
    struct Row {
        QChar kind;
        QString field5, number, text;
    };
    QString ht;
    bool upload = false;
    int32_t result = 0;
    QList<Row> rows;

    // Equal for two transfers that ended alike: the same result and the same
    // files with the same outcomes.
    QString signature() const;
};
HistoryBlock downloadBlock(const QString& ht, int32_t count, const DownloadList& list,
                           int32_t result);
HistoryBlock uploadBlock(const QString& ht, const UploadList& list, int32_t result);
// The F line that stands for `repeats` transfers left out of the history
// because they ended exactly as `block` did.
HistoryBlock::Row repeatsRow(const HistoryBlock& block, int repeats);

class HistoryFile {
  public:
    // `mode` 0 rewrites the file for every transfer, 1 appends, 2 writes
    // nothing. The path is used without its surrounding blanks.
    HistoryFile(const QString& path, int32_t mode, Clock clock = {});

    // False for mode 2 or an empty path.
    bool enabled() const { return mode_ != 2 && !path_.isEmpty(); }
    const QString& path() const { return path_; }

    // Writes `rows` of terminal `ht` ("001".."128") whole or not at all: an
    // appended block that does not fit is cut off again, a rewritten file
    // keeps its old lines. False, with the reason in `error()`, when nothing
    // was written; true when written or when nothing is to be written.
    bool write(const QString& ht, const QList<HistoryBlock::Row>& rows);
    bool write(const HistoryBlock& block) { return write(block.ht, block.rows); }
    bool writeDownload(const QString& ht, int32_t count, const DownloadList& list, int32_t result) {
        return write(downloadBlock(ht, count, list, result));
    }
    bool writeUpload(const QString& ht, const UploadList& list, int32_t result) {
        return write(uploadBlock(ht, list, result));
    }
    const QString& error() const { return error_; }

  private:
    QString line(const QString& ht, const HistoryBlock::Row& row) const;
    bool append(const QByteArray& bytes);
    bool rewrite(const QByteArray& bytes);

    QString path_;
    int32_t mode_;
    Clock clock_;
    QString error_;
};

}  // namespace vsk::ui
