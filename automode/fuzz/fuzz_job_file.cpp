// The job settings file: every read of a file with arbitrary contents, the
// reading of a whole job, and one write on top of that file.
//
// Input: the file's contents, optionally followed by a zero byte, a SETTER
// byte and the value to write (UTF-8). Without a zero byte the write is a
// fixed one; a real job file is a valid input as it is.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <functional>

#include "cls_reg.h"
#include "cls_setfile.h"
#include "cp932.h"
#include "fuzz_assert.h"
#include "job_start.h"
#include "profile_file.h"

namespace {

using namespace vsk::ui;

// $TMPDIR, else memory where there is a file system there: every write
// replaces the file, which a disk makes slow.
QString scratchBase() {
    if (qEnvironmentVariableIsEmpty("TMPDIR") && QDir(QStringLiteral("/dev/shm")).exists()) {
        return QStringLiteral("/dev/shm");
    }
    return QDir::tempPath();
}

const QString& jobPath() {
    static QTemporaryDir dir(scratchBase() + QStringLiteral("/veska-fuzz-job-XXXXXX"));
    static const QString path = dir.filePath(QStringLiteral("JOB.SIF"));
    return path;
}

void writeFile(const QByteArray& bytes) {
    QFile f(jobPath());
    FUZZ_ASSERT(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_ASSERT(f.write(bytes) == bytes.size());
}

QByteArray fileBytes() {
    QFile f(jobPath());
    FUZZ_ASSERT(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

// The file's lines as the reader splits them: at LF, a CR before it dropped.
QList<QByteArray> linesOf(const QByteArray& bytes) {
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);
    return lines;
}

bool isMask(const QString& mask) {
    if (mask.size() != 128) return false;
    for (QChar c : mask)
        if (c != u'0' && c != u'1') return false;
    return true;
}

bool within(const QString& text, double low, double high) {
    double v = leadingNumber(text);
    return v >= low && v <= high;
}

// Range-checked reads always give a value in range: the stored one or the fallback.
void readEverything() {
    ClsSetFile file;
    FUZZ_ASSERT(file.setfilename(jobPath()));
    for (int32_t protype : {1, 2}) {
        FUZZ_ASSERT(within(file.GetPollingTout(protype), 50, 300));
        FUZZ_ASSERT(within(file.GetResMode(protype), 0, 2));
        FUZZ_ASSERT(isMask(file.GetHTNOArrange(protype)));
        FUZZ_ASSERT(file.GetResFile(protype).toUtf8().size() <= 127);
    }
    FUZZ_ASSERT(within(file.GetSkipMode(), 0, 1));
    FUZZ_ASSERT(within(file.GetSaveMode(), 0, 2));
    FUZZ_ASSERT(file.GetUpFolder().toUtf8().size() <= 127);
    FUZZ_ASSERT(file.GetDownloadFile(0).isEmpty() && file.GetDownloadFile(129).isEmpty());

    // A job read whole is either refused or has every value in range, and
    // the confirmation the tools show before a run refuses the same jobs.
    for (int16_t protype : {1, 2}) {
        AutoJob job;
        // Without the transfer list: its 128 reads are the reads above again.
        const bool read = readJobFile(jobPath(), protype, &job, nullptr);
        FUZZ_ASSERT(read == confirmationOfFile(jobPath(), protype).has_value());
        if (!read) continue;
        FUZZ_ASSERT(job.protype == protype && isMask(job.htno));
        FUZZ_ASSERT(job.PollingTout >= 50 && job.PollingTout <= 300);
        FUZZ_ASSERT(job.ResMode >= 0 && job.ResMode <= 2);
        FUZZ_ASSERT(job.SkipMode >= 0 && job.SkipMode <= 1);
        FUZZ_ASSERT(job.SaveMode >= 0 && job.SaveMode <= 2);
        FUZZ_ASSERT(job.ResFileName.size() == 128);
    }
}

struct Setting {
    QString section, key;
    std::function<bool(ClsSetFile&, const QString&)> set;
};

const QList<Setting>& settings() {
    using F = ClsSetFile;
    static const QList<Setting> all = {
        {"DOWNLOAD", "HTID", [](F& f, const QString& v) { return f.SetHTNO(1, v); }},
        {"UPLOAD", "HTID", [](F& f, const QString& v) { return f.SetHTNO(2, v); }},
        {"DOWNLOAD", "POLLING", [](F& f, const QString& v) { return f.SetPollingTout(1, v); }},
        {"UPLOAD", "POLLING", [](F& f, const QString& v) { return f.SetPollingTout(2, v); }},
        {"DOWNLOAD", "LOGFILE", [](F& f, const QString& v) { return f.SetResFile(1, v); }},
        {"UPLOAD", "LOGFILE", [](F& f, const QString& v) { return f.SetResFile(2, v); }},
        {"DOWNLOAD", "LOGTYPE", [](F& f, const QString& v) { return f.SetResMode(1, v); }},
        {"UPLOAD", "LOGTYPE", [](F& f, const QString& v) { return f.SetResMode(2, v); }},
        {"DOWNLOAD", "SKIP", [](F& f, const QString& v) { return f.SetSkipMode(v); }},
        {"UPLOAD", "UPLOAD", [](F& f, const QString& v) { return f.SetUpFolder(v); }},
        {"UPLOAD", "SAVE", [](F& f, const QString& v) { return f.SetSaveMode(v); }},
        {"DOWNLOAD", "001DOWNFILE",
         [](F& f, const QString& v) { return f.SetDownloadFile(1, v).toBool(); }},
        {"DOWNLOAD", "002DOWNFILE",
         [](F& f, const QString& v) { return f.SetDownloadFile(2, v).toBool(); }},
        {"DOWNLOAD", "128DOWNFILE",
         [](F& f, const QString& v) { return f.SetDownloadFile(128, v).toBool(); }},
    };
    return all;
}

QStringList valuesNow() {
    QStringList values;
    for (const Setting& s : settings()) values << readProfileString(jobPath(), s.section, s.key);
    return values;
}

bool isUtf8(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// One write changes the one key and nothing else: every other line of the
// file stays byte for byte, and every other setting reads as before. A file
// that is not UTF-8 is a CP932 file: the line is written in CP932, and a
// value CP932 cannot express is refused like one holding a line break.
void writeOne(const Setting& s, const QString& value) {
    const QByteArray before = fileBytes();
    const QStringList valuesBefore = valuesNow();
    const bool cp932 = !isUtf8(before);
    const Encoded encoded = encodeCp932(value);
    ClsSetFile file;
    file.setfilename(jobPath());
    const bool ok = s.set(file, value);
    const QByteArray after = fileBytes();
    if (value.contains(u'\n') || value.contains(u'\r') || (cp932 && !encoded.complete) ||
        before.size() > kMaxProfileBytes) {
        FUZZ_ASSERT(!ok && after == before);
        return;
    }
    FUZZ_ASSERT(ok);

    const QList<QByteArray> a = linesOf(before), b = linesOf(after);
    qsizetype head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    qsizetype tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) {
        ++tail;
    }
    const QByteArray keyLine =
        cp932 ? encodeCp932(s.key + u'=' + value).bytes : (s.key + u'=' + value).toUtf8();
    const QByteArray header = (u'[' + s.section + u']').toUtf8();
    const qsizetype removed = a.size() - head - tail, added = b.size() - head - tail;
    FUZZ_ASSERT(removed <= 1 && added <= 2);
    for (qsizetype i = head; i < head + added; ++i) FUZZ_ASSERT(b[i] == keyLine || b[i] == header);

    // A write that took the last line that was not UTF-8 leaves a UTF-8
    // file, whose other lines then read as UTF-8: compare only when the
    // file's encoding stayed.
    if (isUtf8(after) != !cp932) return;
    const QStringList valuesAfter = valuesNow();
    // What CP932 gives back for the value (a few characters share a code).
    const QString stored = cp932 ? decodeCp932(encoded.bytes) : value;
    for (qsizetype i = 0; i < settings().size(); ++i) {
        const Setting& other = settings()[i];
        if (other.key == s.key && other.section == s.section) {
            // A value that needs no cutting or trimming reads back as written.
            if (!value.isEmpty() && value == value.trimmed() && value.toUtf8().size() <= 127 &&
                stored == stored.trimmed() && stored.toUtf8().size() <= 127) {
                FUZZ_ASSERT(valuesAfter[i] == stored);
            }
        } else {
            FUZZ_ASSERT(valuesAfter[i] == valuesBefore[i]);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype split = input.lastIndexOf('\0');
    writeFile(split < 0 ? input : input.left(split));
    readEverything();

    size_t setter = 0;
    QString value = QStringLiteral("1,3,5-10");
    if (split >= 0 && split + 1 < input.size()) {
        setter = static_cast<uint8_t>(input[split + 1]);
        value = QString::fromUtf8(input.mid(split + 2));
    }
    writeOne(settings()[static_cast<qsizetype>(setter % settings().size())], value);
    return 0;
}
