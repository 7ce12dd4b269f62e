#include "history.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <map>

#include "cp932.h"
#include "result_line.h"

namespace vsk::ui {

namespace {

const std::map<int32_t, const char*>& resultTexts() {
    static const std::map<int32_t, const char*> texts = {
        {0, "正常終了"},
        {1001, "パラメータエラー"},
        {1002, "中断終了（ＨＴ側）"},
        {1003, "中断終了（ＰＣ側）"},
        {1004, "ハンドルエラー"},
        {2002, "受信エラー（ＢＣＣエラー）"},
        {2003, "ＮＡＫ再送エラー"},
        {2004, "ＨＴモードエラー"},
        {2005, "タイムアウト"},
        {2007, "シリアルポート使用中"},
        {2008, "シリアルポートオープンエラー"},
        {3001, "アップロードファイルサイズエラー"},
        {3002, "ＰＣ空き容量不足エラー"},
        {3003, "ＰＣファイル無しエラー"},
        {3004, "ＰＣフォルダ無し"},
        {3010, "同名ファイル有りエラー"},
        {3011, "ＰＣファイル名エラー"},
        {4001, "ＨＴファイル無しエラー"},
        {4002, "ＨＴファイルＩ/Ｏエラー"},
        {6001, "システムエラー Createfile"},
        {6002, "システムエラー GetCommState"},
        {6003, "システムエラー SetCommState"},
        {6004, "システムエラー SetCommTimeouts"},
        {6005, "システムエラー WriteFile"},
        {6006, "システムエラー ReadFile"},
        {6007, "システムエラー EscapeCommFunction"},
    };
    return texts;
}

QString fourDigits(int32_t n) {
    return QString::fromStdString(result_line::number(n));
}

// Padded as the library's result file pads it.
QString nameColumn(const QString& name) {
    const QByteArray utf8 = name.toUtf8();
    return QString::fromStdString(result_line::nameColumn(
        std::string_view(utf8.constData(), size_t(utf8.size())), size_t(toCp932(name).size())));
}

QString blankTrimmed(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin] == u' ') ++begin;
    while (end > begin && text[end - 1] == u' ') --end;
    return text.sliced(begin, end - begin);
}

QString word(bool upload) {
    return QString::fromUtf8(upload ? result_line::kUploadWord : result_line::kDownloadWord);
}

HistoryBlock::Row startRow(bool upload) {
    return {QChar(result_line::kHead), word(upload), fourDigits(0),
            QString::fromUtf8(result_line::kStartText)};
}

}  // namespace

QString printableName(const QString& name) {
    QString out;
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            out += QStringLiteral("\\x") +
                   QString::number(c.unicode(), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString historyResultText(int32_t code) {
    auto it = resultTexts().find(code);
    return it == resultTexts().end() ? QString() : QString::fromUtf8(it->second);
}

QString historyOutcomeText(int32_t outcome, bool upload) {
    return QString::fromUtf8(result_line::outcomeWord(outcome, upload));
}

PathParts splitJobPath(const QString& path) {
    if (path.endsWith(QLatin1Char('/'))) return {path, {}};
    QString p = path;
    while (!p.isEmpty() && (p.back() == u' ' || p.back() == QChar(0))) p.chop(1);
    qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
    return {p.left(slash + 1), p.mid(slash + 1)};
}

HistoryFile::HistoryFile(const QString& path, int32_t mode, Clock clock)
    : path_(blankTrimmed(path)), mode_(mode), clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return QDateTime::currentDateTime(); };
}

QString HistoryBlock::signature() const {
    QStringList parts;
    for (const Row& r : rows)
        if (r.kind != QChar(result_line::kHead)) parts << r.field5 + QLatin1Char(',') + r.number;
    return parts.join(QLatin1Char('\n'));
}

HistoryBlock downloadBlock(const QString& ht, int32_t count, const DownloadList& list,
                           int32_t result) {
    HistoryBlock block{ht, false, result, {}};
    block.rows << startRow(false);
    const int32_t n = std::clamp(count, 0, VSK_MAX_FILES);
    for (int32_t i = 0; i < n; ++i) {
        const DownloadEntry& e = list.Entries[i];
        QString path =
            QString::fromUtf8(e.Path, static_cast<qsizetype>(qstrnlen(e.Path, sizeof e.Path)));
        PathParts parts = splitJobPath(blankTrimmed(path));
        if (parts.name.isEmpty()) break;
        block.rows << HistoryBlock::Row{
            QChar(result_line::kFile), nameColumn(printableName(parts.name)), fourDigits(e.Outcome),
            historyOutcomeText(e.Outcome, false)};
    }
    block.rows << HistoryBlock::Row{QChar(result_line::kEnd), word(false), fourDigits(result),
                                    historyResultText(result)};
    return block;
}

// A terminal's file name is no PC path: it is written as offered, so that a
// name the PC refused ("../EVIL.TXT") is seen for what it was.
HistoryBlock uploadBlock(const QString& ht, const UploadList& list, int32_t result) {
    HistoryBlock block{ht, true, result, {}};
    block.rows << startRow(true);
    const int32_t n = std::clamp(list.Count, 0, VSK_MAX_FILES);
    for (int32_t i = 0; i < n; ++i) {
        const UploadEntry& e = list.Entries[i];
        QByteArray raw(e.Name, static_cast<qsizetype>(qstrnlen(e.Name, sizeof e.Name)));
        const QString name = blankTrimmed(fromCp932(raw));
        if (name.isEmpty()) break;
        block.rows << HistoryBlock::Row{QChar(result_line::kFile), nameColumn(printableName(name)),
                                        fourDigits(e.Outcome), historyOutcomeText(e.Outcome, true)};
    }
    block.rows << HistoryBlock::Row{QChar(result_line::kEnd), word(true), fourDigits(result),
                                    historyResultText(result)};
    return block;
}

HistoryBlock::Row repeatsRow(const HistoryBlock& block, int repeats) {
    return {QChar(result_line::kEnd), word(block.upload), fourDigits(block.result),
            historyResultText(block.result) +
                QStringLiteral("（同じ結果 %1 回・記録省略）").arg(repeats)};
}

QString HistoryFile::line(const QString& ht, const HistoryBlock::Row& row) const {
    const QDateTime now = clock_();
    const QDate date = now.date();
    const QTime time = now.time();
    const result_line::When when{date.year(), date.month(),  date.day(),
                                 time.hour(), time.minute(), time.second()};
    return QString::fromStdString(result_line::format(
        static_cast<char>(row.kind.unicode()), when, ht.toStdString(), row.field5.toStdString(),
        row.number.toStdString(), row.text.toStdString()));
}

bool HistoryFile::write(const QString& ht, const QList<HistoryBlock::Row>& rows) {
    if (!enabled() || rows.isEmpty()) return true;
    QByteArray bytes;
    for (const HistoryBlock::Row& row : rows)
        bytes += line(ht, row).toUtf8() + result_line::kLineEnd;
    error_.clear();
    return mode_ == 0 ? rewrite(bytes) : append(bytes);
}

// Replaced in one step: a reader never meets half a block, and a file that
// cannot be replaced keeps the block before.
bool HistoryFile::rewrite(const QByteArray& bytes) {
    QSaveFile file(path_);
    // The flush is asked for: commit() alone has been seen to put an empty
    // file in place when the last buffer did not fit on the disk.
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
        file.commit())
        return true;
    error_ = file.errorString();
    file.cancelWriting();
    return false;
}

// One write of the whole block. When it does not all go in (a full disk),
// the file is cut back to where it was: a block cut off in mid-line would
// read as a different, complete one.
bool HistoryFile::append(const QByteArray& bytes) {
    QFile file(path_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        error_ = file.errorString();
        return false;
    }
    const qint64 before = file.size();
    if (file.write(bytes) == bytes.size()) return true;
    error_ = file.errorString();
    file.resize(before);
    return false;
}

}  // namespace vsk::ui
