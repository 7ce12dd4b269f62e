#include "auto_run.h"

#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cp932.h"
#include "message_text.h"

namespace vsk::ui {

namespace {

static_assert(std::atomic<int32_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "abort() is called from signal handlers");

constexpr int32_t kWrongMode = 2004;
constexpr int32_t kAbortedHere = 1003;
constexpr int32_t kSystemCallsAbove = 6000;

QByteArray htBytes(const QString& ht) {
    return ht.toLatin1();
}

// Left-aligned in the record's blank-filled field; a longer path is cut.
void fillPath(char (&field)[128], const QString& path) {
    QByteArray bytes = path.toUtf8().left(sizeof field);
    std::memset(field, ' ', sizeof field);
    std::memcpy(field, bytes.constData(), static_cast<size_t>(bytes.size()));
}

// The files the terminal offered in the last call (none when it failed
// before announcing them).
int32_t offered(const UploadList& list) {
    int32_t n = 0;
    while (n < std::min(list.Count, VSK_MAX_FILES) && list.Entries[n].Name[0] != '\0') ++n;
    return n;
}

// "ＰＣフォルダ無し（3004）": the tools' text with the code, or the code alone.
QString resultWithText(int32_t result) {
    const QString text = historyResultText(result);
    return text.isEmpty()
               ? QString::number(result)
               : text + QStringLiteral("（") + QString::number(result) + QStringLiteral("）");
}

QString repeatingText(const QString& ht, int32_t result) {
    return QStringLiteral("HT%1：%2が続いています").arg(ht, resultWithText(result));
}

}  // namespace

void RunEvents::notice(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

AutoRunner::AutoRunner(RunEvents* events) : events_(events) {}

AutoRunner::~AutoRunner() {
    close();
}

void AutoRunner::reset() {
    aborted_ = false;
    index_ = 1;
    result_ = 0;
    endedBy_ = 0;
    openFailed_ = false;
    repeats_.fill(Repeats{});
    historyFailing_ = false;
    historyEverFailed_ = false;
    leftOut_.clear();
    leftOutSaid_.clear();
}

bool AutoRunner::open() {
    int32_t handle = 0;
    int32_t r = Vsk_ComOpen(&handle, job_.ComPort, 0, &job_.line);
    if (r != 0) {
        result_ = r;
        endedBy_ = r;
        openFailed_ = true;
        return false;
    }
    handle_ = handle;
    return true;
}

QString AutoRunner::close() {
    if (int32_t handle = handle_.exchange(0)) Vsk_ComClose(handle);
    writePendingRepeats();
    return closingMessage();
}

void AutoRunner::abort() {
    if (int32_t handle = handle_.load()) Vsk_Suspend(handle);
    aborted_ = true;
}

QString AutoRunner::currentHt() const {
    return QString::number(index_).rightJustified(3, QLatin1Char('0'));
}

bool AutoRunner::selected(int index) const {
    return index >= 1 && index <= job_.htno.size() && job_.htno[index - 1] == u'1';
}

// On to the next selected terminal. A mask that selects none comes back to
// where it started after one round, so a tick always ends.
void AutoRunner::advance() {
    for (int step = 0; step < kTerminals; ++step) {
        index_ = index_ % kTerminals + 1;
        if (selected(index_)) return;
        if (events_) events_->processEvents();
    }
}

bool AutoRunner::pollingTick() {
    if (aborted_) return false;
    if (!job_.stopFolder.isEmpty() && stopFileSays(job_.stopFolder)) return false;
    if (selected(index_)) {
        const QString ht = currentHt();
        // An abort that comes between two calls is not seen by the next one
        // (each call starts afresh), so it is looked for before each.
        const int32_t polled =
            Vsk_Polling(handle_.load(), htBytes(ht).constData(), job_.PollingTout);
        // A line that has gone (an adapter pulled out) fails every poll: the
        // run ends as a failed transfer would, instead of polling it for ever.
        if (polled > kSystemCallsAbove) {
            result_ = polled;
            endedBy_ = polled;
            return false;
        }
        if (polled == 0 && !aborted_) {
            int32_t count = -1;
            int32_t r = job_.protype == 1   ? download(ht, &count)
                        : job_.protype == 2 ? upload(ht, &count)
                                            : 0;
            // A failed system call may concern one PC file (one the terminal
            // offers under a name the PC refuses, a file that cannot be
            // created): then the others are served as before. Only a line
            // that fails too ends the run.
            if (count >= 0 && endsRun(r) && (r <= kSystemCallsAbove || !lineWorks(ht))) {
                endedBy_ = r;
                return false;
            }
        }
    }
    advance();
    return true;
}

// The counters start from nothing, so the first progress shown is this
// terminal's, not the last file of the terminal before.
void AutoRunner::startTransfer(const QString& ht) {
    Vsk_ClrProcess(handle_.load());
    if (events_) events_->transferStarting(ht);
}

// `count` stays -1 when there was nothing to send.
int32_t AutoRunner::download(const QString& ht, int32_t* count) {
    const int32_t n = files_.GetDownFileArrange();
    sayLeftOut();
    if (n < 1) return 0;
    for (int32_t i = 0; i < n; ++i) {
        DownloadEntry& e = downloads_.Entries[i];
        fillPath(e.Path, files_.filename(i));
        e.Size = files_.filesize(i);
        e.SkipMode = job_.SkipMode;
        e.Outcome = 0;
    }
    startTransfer(ht);
    result_ = Vsk_AllDownload(handle_.load(), htBytes(ht).constData(), n, &downloads_, 0);
    record(downloadBlock(ht, n, downloads_, result_));
    *count = n;
    if (events_) events_->transferEnded(ht, result_, n);
    return result_;
}

int32_t AutoRunner::upload(const QString& ht, int32_t* count) {
    // The list is this terminal's alone: a call that fails before the
    // terminal announces its files must not show the previous terminal's.
    std::memset(uploads_.Entries, 0, sizeof uploads_.Entries);
    uploads_.Count = 0;
    uploads_.SaveMode = job_.SaveMode;
    startTransfer(ht);
    result_ = Vsk_AllUpload(handle_.load(), htBytes(ht).constData(),
                            job_.upfolder.toUtf8().constData(), &uploads_, 0);
    record(uploadBlock(ht, uploads_, result_));
    *count = offered(uploads_);
    if (events_) events_->transferEnded(ht, result_, *count);
    return result_;
}

// Asks the terminal just served whether it is there: a line that has gone
// fails the poll with a system call's code.
bool AutoRunner::lineWorks(const QString& ht) {
    return Vsk_Polling(handle_.load(), htBytes(ht).constData(), job_.PollingTout) <=
           kSystemCallsAbove;
}

// Each file left out is said the first time it is left out in a run.
void AutoRunner::sayLeftOut() {
    leftOut_ = files_.leftOut();
    for (const QString& file : leftOut_) {
        if (leftOutSaid_.contains(file)) continue;
        leftOutSaid_.insert(file);
        notice(QStringLiteral("送らないファイル：") + file);
    }
}

// The history takes one block per terminal while its transfers keep ending
// alike in failure (a folder that has gone fails every cycle, for days): the
// repeats are counted, and one line with their number is written before the
// next block that differs, or when the run ends.
void AutoRunner::record(const HistoryBlock& block) {
    Repeats& last = repeats_[static_cast<size_t>(index_)];
    const QString signature = block.signature();
    if (block.result != 0 && !last.signature.isEmpty() && signature == last.signature) {
        if (++last.count == 1)
            notice(repeatingText(block.ht, block.result) +
                   QStringLiteral("。結果が変わるまで履歴には書きません。"));
        return;
    }
    QList<HistoryBlock::Row> rows;
    if (last.count > 0) rows << repeatsRow(last.block, last.count);
    rows << block.rows;
    if (!written(block.ht, rows)) return;  // tried again with the next transfer
    if (last.count > 0)
        notice(QStringLiteral("HT%1：結果が変わりました（同じ結果 %2 回の後）")
                   .arg(block.ht)
                   .arg(last.count));
    last = block.result != 0 ? Repeats{block, signature, 0} : Repeats{};
}

// Writes `rows`; says so when the history begins to fail or works again.
bool AutoRunner::written(const QString& ht, const QList<HistoryBlock::Row>& rows) {
    HistoryFile history(job_.ResFileName, job_.ResMode, clock_);
    const bool ok = history.write(ht, rows);
    if (ok == historyFailing_) {
        notice(ok ? QStringLiteral("履歴ファイルに書き込めるようになりました：") + history.path()
                  : QStringLiteral("履歴ファイルに書き込めません：") + history.path() +
                        QStringLiteral("（") + history.error() + QStringLiteral("）"));
    }
    historyFailing_ = !ok;
    if (!ok) historyEverFailed_ = true;
    return ok;
}

void AutoRunner::writePendingRepeats() {
    for (Repeats& last : repeats_) {
        if (last.count <= 0) continue;
        if (written(last.block.ht, {repeatsRow(last.block, last.count)})) last = Repeats{};
    }
}

void AutoRunner::notice(const QString& text) {
    if (events_)
        events_->notice(text);
    else
        RunEvents().notice(text);
}

QStringList AutoRunner::alerts() const {
    QStringList lines;
    for (const Repeats& last : repeats_)
        if (last.count > 0) lines << repeatingText(last.block.ht, last.block.result);
    if (historyFailing_) lines << QStringLiteral("履歴ファイルに書き込めません");
    for (const QString& file : leftOut_) lines << QStringLiteral("送らないファイル：") + file;
    return lines;
}

bool AutoRunner::progress(QString* text, int32_t* percent) const {
    ProgressRecord record{};
    if (Vsk_GetProcess(handle_.load(), &record) != 0 || record.Percent <= 0) return false;
    *text = QStringLiteral("HandyID：") + QString::fromLatin1(record.HtNo, sizeof record.HtNo) +
            QStringLiteral("\r\n") + fromCp932(QByteArray(record.FileName, sizeof record.FileName));
    *percent = std::min(record.Percent, 100);
    return true;
}

bool AutoRunner::endsRun(int32_t result) {
    return result == kWrongMode || result == kAbortedHere || result > kSystemCallsAbove;
}

QString AutoRunner::closingMessage(int16_t protype, int32_t result) {
    if (result != kWrongMode && result <= kSystemCallsAbove) return {};
    return withCode(protype == 2 ? QStringLiteral("アップロードに失敗しました。")
                                 : QStringLiteral("ダウンロードに失敗しました。"),
                    result);
}

bool AutoRunner::stopFileSays(const QString& folder) {
    QFile file(folder + QLatin1String(kStopFileName));
    if (!file.open(QIODevice::ReadOnly)) return false;
    return file.readLine(2).startsWith('2');
}

}  // namespace vsk::ui
