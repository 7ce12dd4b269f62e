// The job file's terminal list ("HTID", e.g. "1,3,5-10") turned into the
// 128-character mask the runs poll by.
#include <QStringList>

#include "cls_setfile.h"
#include "fuzz_assert.h"
#include "fuzz_text.h"

namespace {

// A plain decimal number of at most three ASCII digits, or -1.
int plainNumber(const QString& s) {
    if (s.isEmpty() || s.size() > 3) return -1;
    int n = 0;
    for (QChar c : s) {
        if (c < u'0' || c > u'9') return -1;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n;
}

bool selectable(int n) {
    return n >= 1 && n <= 128;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString list = vsk::fuzz::fuzzText(data, size);
    const QString mask = vsk::ui::htMaskFor(list);
    FUZZ_ASSERT(mask.size() == 128);
    for (QChar c : mask) FUZZ_ASSERT(c == u'0' || c == u'1');

    // Plain numbers and ranges of plain numbers in 1 to 128 are always selected.
    for (const QString& piece : list.split(u',')) {
        const QStringList ends = piece.split(u'-');
        if (ends.size() == 1 && selectable(plainNumber(piece))) {
            FUZZ_ASSERT(mask[plainNumber(piece) - 1] == u'1');
        } else if (ends.size() == 2) {
            const int from = plainNumber(ends[0]), to = plainNumber(ends[1]);
            if (!selectable(from) || !selectable(to)) continue;
            for (int n = from; n <= to; ++n) FUZZ_ASSERT(mask[n - 1] == u'1');
        }
    }
    return 0;
}
