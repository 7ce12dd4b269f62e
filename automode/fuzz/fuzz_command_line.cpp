// The tools' command-line start ("JOB.SIF /ICON") and the number properties
// of the run window ("75ms" is 75).
#include <QByteArray>
#include <QRegularExpression>
#include <QVariant>
#include <cmath>
#include <cstring>

#include "fuzz_assert.h"
#include "fuzz_text.h"
#include "job_start.h"

namespace {

using vsk::ui::parseCommandLine;
using vsk::ui::propertyNumber;

// "/ICON" is the switch only as a word of its own; in a path
// ("/home/u/ICONS/DAY.SIF") it is part of the path.
bool hasIconWord(const QString& joined) {
    static const QRegularExpression word(QStringLiteral("(\\A| )/ICON( |\\z)"));
    return word.match(joined).hasMatch();
}

void commandLine(const QString& joined) {
    const vsk::ui::CommandLineStart start = parseCommandLine(joined);
    FUZZ_ASSERT(start.icon == hasIconWord(joined));
    FUZZ_ASSERT(start.path.size() <= joined.size());
    // The path is where the text starts, with its surrounding quotes gone.
    const QString quoted = u'"' + start.path + u'"';
    FUZZ_ASSERT(joined.startsWith(start.path) || joined.startsWith(quoted));
    if (!start.icon) FUZZ_ASSERT(joined == start.path || joined == quoted);
}

bool inRange(std::optional<int32_t> n) {
    return !n || (*n > -2000000000 && *n < 2000000000);
}

// A plain ASCII decimal of at most nine digits, or -1.
long plainNumber(const QString& s) {
    if (s.isEmpty() || s.size() > 9) return -1;
    long n = 0;
    for (QChar c : s) {
        if (c < u'0' || c > u'9') return -1;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n;
}

void numbers(const uint8_t* data, size_t size, const QString& text) {
    const std::optional<int32_t> fromText = propertyNumber(text);
    FUZZ_ASSERT(inRange(fromText));
    if (long n = plainNumber(text); n >= 0) FUZZ_ASSERT(fromText == n);
    if (text.trimmed().isEmpty()) FUZZ_ASSERT(!fromText);

    FUZZ_ASSERT(inRange(propertyNumber(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)))));
    if (size >= sizeof(double)) {
        double d;
        std::memcpy(&d, data, sizeof d);
        const std::optional<int32_t> n = propertyNumber(d);
        FUZZ_ASSERT(inRange(n));
        if (std::fabs(d) < 1e9) FUZZ_ASSERT(n == static_cast<int32_t>(std::trunc(d)));
        if (std::isnan(d)) FUZZ_ASSERT(!n);
        int64_t i;
        std::memcpy(&i, data, sizeof i);
        FUZZ_ASSERT(inRange(propertyNumber(static_cast<qlonglong>(i))));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = vsk::fuzz::fuzzText(data, size);
    commandLine(text);
    numbers(data, size, text);
    return 0;
}
