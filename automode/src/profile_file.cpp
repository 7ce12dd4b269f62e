#include "profile_file.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>
#include <optional>

namespace vsk::ui {

namespace {

// The lines are kept as their bytes: a write puts back every line it does not
// change exactly as it was, even one that is not UTF-8 (a comment typed in
// another encoding), which decoding and encoding again would garble.
using Lines = QList<QByteArray>;

Lines readLines(const QString& file, bool* exists) {
    QFile f(file);
    *exists = f.open(QIODevice::ReadOnly);
    if (!*exists) return {};
    Lines lines = f.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);
    return lines;
}

QString textOf(const QByteArray& line) {
    return QString::fromUtf8(line);
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

Span findSection(const Lines& lines, const QString& section) {
    Span s;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        std::optional<QString> name = sectionOf(textOf(lines[i]));
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

qsizetype findKey(const Lines& lines, const Span& s, const QString& key) {
    for (qsizetype i = s.header + 1; i < s.end; ++i) {
        std::optional<QString> k = keyOf(textOf(lines[i]));
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

QString readProfileString(const QString& file, const QString& section, const QString& key,
                          int maxBytes) {
    bool exists = false;
    Lines lines = readLines(file, &exists);
    Span s = findSection(lines, section);
    if (s.header < 0) return {};
    qsizetype at = findKey(lines, s, key);
    if (at < 0) return {};
    const QString text = textOf(lines[at]);
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
    Lines lines = readLines(file, &exists);
    if (!exists && QFile::exists(file)) return false;  // there, but unreadable: leave it alone
    const QByteArray line = (key + QLatin1Char('=') + value).toUtf8();
    Span s = findSection(lines, section);
    if (s.header < 0) {
        if (value.isEmpty()) return true;
        lines << (QLatin1Char('[') + section + QLatin1Char(']')).toUtf8() << line;
        return writeLines(file, lines);
    }
    qsizetype at = findKey(lines, s, key);
    if (value.isEmpty()) {
        if (at < 0) return true;
        lines.removeAt(at);
    } else if (at >= 0) {
        lines[at] = line;
    } else {
        // After the section's last line that is not blank.
        qsizetype insert = s.end;
        while (insert > s.header + 1 && textOf(lines[insert - 1]).trimmed().isEmpty()) --insert;
        lines.insert(insert, line);
    }
    return writeLines(file, lines);
}

}  // namespace vsk::ui
