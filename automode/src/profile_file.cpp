#include "profile_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <optional>

#include "cp932.h"

namespace vsk::ui {

namespace {

// The lines are kept as their bytes: a write puts back every line it does not
// change exactly as it was, even one that is not UTF-8 (a comment typed in
// another encoding), which decoding and encoding again would garble.
using Lines = QList<QByteArray>;

// Text from the file's bytes and back, in the file's encoding.
struct Encoding {
    bool cp932 = false;

    QString text(const QByteArray& line) const {
        if (!cp932) return QString::fromUtf8(line);
        // The codec stands in SUB (1Ah) for a byte it cannot decode; a
        // control character in a path would be taken for part of a name.
        QString text = decodeCp932(line);
        if (!line.contains('\x1a')) text.replace(QChar(0x1A), QChar::ReplacementCharacter);
        return text;
    }
    std::optional<QByteArray> bytes(const QString& text) const {
        if (!cp932) return text.toUtf8();
        Encoded e = encodeCp932(text);
        if (!e.complete) return std::nullopt;
        return e.bytes;
    }
};

// Invalid sequences decode to U+FFFD, which encodes to other bytes.
bool validUtf8(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// The file's lines; `exists` is false when it cannot be read or is too
// large to be a job file. Reading stops past the limit, whatever the file
// says its size is.
Lines readLines(const QString& file, bool* exists, Encoding* encoding) {
    QFile f(file);
    *exists = f.open(QIODevice::ReadOnly);
    if (!*exists) return {};
    QByteArray all = f.read(kMaxProfileBytes + 1);
    if (all.size() > kMaxProfileBytes) {
        *exists = false;
        return {};
    }
    encoding->cp932 = !validUtf8(all);
    Lines lines = all.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);
    return lines;
}

// The section a line opens, if it is a section line.
std::optional<QString> sectionOf(const QString& line) {
    QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('['))) return std::nullopt;
    qsizetype close = t.indexOf(QLatin1Char(']'));
    if (close < 0) return std::nullopt;
    return t.mid(1, close - 1).trimmed();
}

// The key a line sets, if it is a key line.
std::optional<QString> keyOf(const QString& line) {
    QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';'))) return std::nullopt;
    qsizetype eq = t.indexOf(QLatin1Char('='));
    if (eq <= 0) return std::nullopt;
    return t.left(eq).trimmed();
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a section's lines lie: [begin, end) after its header; begin -1 when absent.
struct Span {
    qsizetype header = -1;
    qsizetype end = -1;
};

Span findSection(const Lines& lines, const Encoding& enc, const QString& section) {
    Span s;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        std::optional<QString> name = sectionOf(enc.text(lines[i]));
        if (!name) continue;
        if (s.header >= 0) {
            s.end = i;
            return s;
        }
        if (sameName(*name, section)) s.header = i;
    }
    if (s.header >= 0) s.end = lines.size();
    return s;
}

qsizetype findKey(const Lines& lines, const Encoding& enc, const Span& s, const QString& key) {
    for (qsizetype i = s.header + 1; i < s.end; ++i) {
        std::optional<QString> k = keyOf(enc.text(lines[i]));
        if (k && sameName(*k, key)) return i;
    }
    return -1;
}

// The longest prefix of `text` that fits `maxBytes` bytes of UTF-8.
QString cutToBytes(const QString& text, int maxBytes) {
    QString out;
    int bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        int size = static_cast<int>(text.mid(i, n).toUtf8().size());
        if (bytes + size > maxBytes) break;
        out += text.mid(i, n);
        bytes += size;
        i += n - 1;
    }
    return out;
}

bool writeLines(const QString& file, const Lines& lines) {
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) return false;
    QByteArray bytes;
    for (const QByteArray& line : lines) bytes += line + "\r\n";
    if (out.write(bytes) != bytes.size()) return false;
    // Flushed first: commit() alone can put an empty file in place when the
    // last buffer does not fit on the disk.
    return out.flush() && out.commit();
}

}  // namespace

bool profileTooLarge(const QString& file) {
    return QFileInfo(file).size() > kMaxProfileBytes;
}

QString readProfileString(const QString& file, const QString& section, const QString& key,
                          int maxBytes) {
    bool exists = false;
    Encoding enc;
    Lines lines = readLines(file, &exists, &enc);
    Span s = findSection(lines, enc, section);
    if (s.header < 0) return {};
    qsizetype at = findKey(lines, enc, s, key);
    if (at < 0) return {};
    const QString text = enc.text(lines[at]);
    QString value = text.mid(text.indexOf(QLatin1Char('=')) + 1).trimmed();
    // A cut value may end in blanks that were inside it.
    QString cut = cutToBytes(value, maxBytes);
    while (cut.endsWith(QLatin1Char(' '))) cut.chop(1);
    return cut;
}

bool writeProfileString(const QString& file, const QString& section, const QString& key,
                        const QString& value) {
    // A line break would start a line of its own: a key or section the
    // value was never meant to write.
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r'))) return false;
    bool exists = false;
    Encoding enc;
    Lines lines = readLines(file, &exists, &enc);
    if (!exists && QFile::exists(file)) return false;  // there, but unreadable: leave it alone
    const std::optional<QByteArray> encodedLine = enc.bytes(key + QLatin1Char('=') + value);
    if (!encodedLine) return false;
    const QByteArray& line = *encodedLine;
    Span s = findSection(lines, enc, section);
    if (s.header < 0) {
        if (value.isEmpty()) return true;
        lines << *enc.bytes(QLatin1Char('[') + section + QLatin1Char(']')) << line;
        return writeLines(file, lines);
    }
    qsizetype at = findKey(lines, enc, s, key);
    if (value.isEmpty()) {
        if (at < 0) return true;
        lines.removeAt(at);
    } else if (at >= 0) {
        lines[at] = line;
    } else {
        // After the section's last line that is not blank.
        qsizetype insert = s.end;
        while (insert > s.header + 1 && enc.text(lines[insert - 1]).trimmed().isEmpty()) --insert;
        lines.insert(insert, line);
    }
    return writeLines(file, lines);
}

}  // namespace vsk::ui
