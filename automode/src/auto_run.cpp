#include "auto_run.h"

#include <QFile>
#include <algorithm>
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

// The files the terminal offered in the last call. Count keeps the terminal
// before's number when a call fails before the offer, but the entries are
// cleared then.
int32_t offered(const UploadList& list) {
    int32_t n = 0;
    while (n < std::min(list.Count, VSK_MAX_FILES) && list.Entries[n].Name[0] != '\0') ++n;
    return n;
}

}  // namespace

AutoRunner::AutoRunner(RunEvents* events) : events_(events) {}

AutoRunner::~AutoRunner() {
    close();
}

void AutoRunner::reset() {
    aborted_ = false;
    index_ = 1;
    result_ = 0;
}

bool AutoRunner::open() {
    int32_t handle = 0;
    int32_t r = Vsk_ComOpen(&handle, job_.ComPort, 0, &job_.line);
    if (r != 0) {
        result_ = r;
        return false;
    }
    handle_ = handle;
    return true;
}

QString AutoRunner::close() {
    if (int32_t handle = handle_.exchange(0)) Vsk_ComClose(handle);
    return closingMessage(job_.protype, result_);
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
            return false;
        }
        if (polled == 0 && !aborted_) {
            int32_t count = -1;
            int32_t r = job_.protype == 1   ? download(ht, &count)
                        : job_.protype == 2 ? upload(ht, &count)
                                            : 0;
            if (count >= 0 && endsRun(r)) return false;
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
    HistoryFile(job_.ResFileName, job_.ResMode, clock_).writeDownload(ht, n, downloads_, result_);
    *count = n;
    if (events_) events_->transferEnded(ht, result_, n);
    return result_;
}

int32_t AutoRunner::upload(const QString& ht, int32_t* count) {
    uploads_.SaveMode = job_.SaveMode;
    startTransfer(ht);
    result_ = Vsk_AllUpload(handle_.load(), htBytes(ht).constData(),
                            job_.upfolder.toUtf8().constData(), &uploads_, 0);
    HistoryFile(job_.ResFileName, job_.ResMode, clock_).writeUpload(ht, uploads_, result_);
    *count = offered(uploads_);
    if (events_) events_->transferEnded(ht, result_, *count);
    return result_;
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
