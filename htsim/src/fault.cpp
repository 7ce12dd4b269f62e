#include "fault.h"

#include <charconv>

#include "codec.h"

namespace vsk::htsim {

namespace fr = vsk::frame;

namespace {

enum class Arg { kNone, kOptional, kRequired };

struct KindInfo {
    std::string_view name;
    FaultKind kind;
    Arg arg;
    bool argIsCount;  // the ARG is how many times the fault fires
    bool counted;     // "*COUNT" is allowed
    int defaultArg;
    int defaultCount;
    int minArg;
    int maxArg;
};

// Entries per listing frame are bounded by the 550-byte data area of one frame.
constexpr int kMaxSplit = static_cast<int>(fr::kDataAreaSize / fr::kDirEntryWidth);

constexpr KindInfo kKinds[] = {
    {"silent", FaultKind::kSilent, Arg::kOptional, true, false, 0, -1, 1, 1000000},
    {"nak", FaultKind::kNak, Arg::kOptional, true, false, 0, 1, 1, 1000000},
    {"badbcc", FaultKind::kBadCheck, Arg::kOptional, true, false, 0, 1, 1, 1000000},
    {"otherht", FaultKind::kOtherHt, Arg::kOptional, false, true, 0, -1, 1, 128},
    {"foreign", FaultKind::kForeignOnly, Arg::kOptional, false, true, 0, -1, 1, 128},
    {"noise", FaultKind::kNoise, Arg::kOptional, false, true, 8, -1, 1, 1000},
    {"repeat", FaultKind::kRepeat, Arg::kOptional, false, true, 0, 1, 0, 9999},
    {"result", FaultKind::kResult, Arg::kRequired, false, true, 0, -1, 0, 0},
    {"cancel", FaultKind::kCancel, Arg::kOptional, false, true, 0, 1, 0, 9999},
    {"split", FaultKind::kSplit, Arg::kRequired, false, false, 0, -1, 1, kMaxSplit},
    {"extra", FaultKind::kExtra, Arg::kRequired, false, false, 0, -1, 1, 999},
    {"longlen", FaultKind::kLongLength, Arg::kOptional, false, true, 2000, 1, 1, 9999},
    {"slow", FaultKind::kSlow, Arg::kRequired, false, false, 0, -1, 1, 10000},
    {"delay", FaultKind::kDelay, Arg::kRequired, false, true, 0, -1, 1, 60000},
};

bool parseInt(std::string_view s, int* out) {
    if (s.empty()) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
    return ec == std::errc() && p == s.data() + s.size();
}

bool fail(std::string* error, std::string_view text, std::string_view why) {
    if (error) *error = "fault \"" + std::string(text) + "\": " + std::string(why);
    return false;
}

bool parseArg(const KindInfo& k, std::string_view arg, Fault* f, std::string* error,
              std::string_view whole) {
    if (k.kind == FaultKind::kResult) {
        if (arg.size() != 1 || std::string_view("MFRAS").find(arg[0]) == std::string_view::npos)
            return fail(error, whole, "result needs one of the letters M, F, R, A, S");
        f->arg = arg[0];
        return true;
    }
    int v = 0;
    if (!parseInt(arg, &v) || v < k.minArg || v > k.maxArg)
        return fail(error, whole,
                    "argument must be a number from " + std::to_string(k.minArg) + " to " +
                        std::to_string(k.maxArg));
    if (k.argIsCount)
        f->count = v;
    else
        f->arg = v;
    if (k.kind == FaultKind::kCancel) f->kind = FaultKind::kCancelAt;
    return true;
}

}  // namespace

std::optional<Fault> parseFault(std::string_view text, std::string* error) {
    std::string_view rest = text;
    std::string_view letters, count, arg;
    bool hasLetters = false, hasCount = false, hasArg = false;
    if (auto at = rest.find('@'); at != std::string_view::npos) {
        letters = rest.substr(at + 1);
        rest = rest.substr(0, at);
        hasLetters = true;
    }
    if (auto star = rest.find('*'); star != std::string_view::npos) {
        count = rest.substr(star + 1);
        rest = rest.substr(0, star);
        hasCount = true;
    }
    if (auto eq = rest.find('='); eq != std::string_view::npos) {
        arg = rest.substr(eq + 1);
        rest = rest.substr(0, eq);
        hasArg = true;
    }

    const KindInfo* info = nullptr;
    for (const KindInfo& k : kKinds)
        if (k.name == rest) info = &k;
    if (!info) {
        fail(error, text, "unknown kind \"" + std::string(rest) + "\"");
        return std::nullopt;
    }

    Fault f;
    f.kind = info->kind;
    f.arg = info->defaultArg;
    f.count = info->defaultCount;
    if (hasArg) {
        if (info->arg == Arg::kNone) {
            fail(error, text, "takes no argument");
            return std::nullopt;
        }
        if (!parseArg(*info, arg, &f, error, text)) return std::nullopt;
    } else if (info->arg == Arg::kRequired) {
        fail(error, text, "needs an argument");
        return std::nullopt;
    }
    if (hasCount) {
        int c = 0;
        if (!info->counted) {
            fail(error, text, info->argIsCount ? "give the count as =N" : "takes no count");
            return std::nullopt;
        }
        if (!parseInt(count, &c) || c < 1) {
            fail(error, text, "count must be a number of at least 1");
            return std::nullopt;
        }
        f.count = c;
    }
    if (hasLetters) {
        if (letters.empty()) {
            fail(error, text, "no command letters after @");
            return std::nullopt;
        }
        for (char c : letters) {
            if (c < 'A' || c > 'Z') {
                fail(error, text, "command letters are capitals A to Z");
                return std::nullopt;
            }
        }
        f.letters = std::string(letters);
    }
    return f;
}

const Fault* FaultSet::fire(FaultKind kind, char command) {
    for (Fault& f : faults_) {
        if (f.kind != kind || f.count == 0 || !f.appliesTo(command)) continue;
        if (f.count > 0) --f.count;
        return &f;
    }
    return nullptr;
}

const Fault* FaultSet::fireAt(FaultKind kind, char command, int index) {
    for (Fault& f : faults_) {
        if (f.kind != kind || f.arg != index || f.count == 0 || !f.appliesTo(command)) continue;
        if (f.count > 0) --f.count;
        return &f;
    }
    return nullptr;
}

const Fault* FaultSet::find(FaultKind kind, char command) const {
    for (const Fault& f : faults_)
        if (f.kind == kind && f.appliesTo(command)) return &f;
    return nullptr;
}

Emission FaultSet::shape(Bytes frame, char command, int ownHt) {
    Emission e;
    if (const Fault* d = fire(FaultKind::kDelay, command))
        e.delay = std::chrono::milliseconds(d->arg);
    if (const Fault* s = find(FaultKind::kSlow, command))
        e.perByte = std::chrono::milliseconds(s->arg);
    if (const Fault* n = fire(FaultKind::kNoise, command))
        e.segments.push_back({noiseBytes(n->arg), false});

    auto otherNumber = [ownHt](const Fault* f) { return f->arg != 0 ? f->arg : ownHt % 128 + 1; };
    if (const Fault* o = fire(FaultKind::kForeignOnly, command)) {
        e.segments.push_back({withHt(std::move(frame), otherNumber(o)), true});
        return e;
    }
    if (const Fault* o = fire(FaultKind::kOtherHt, command))
        e.segments.push_back({withHt(frame, otherNumber(o)), true});
    if (const Fault* l = fire(FaultKind::kLongLength, command)) frame = withLength(frame, l->arg);
    if (fire(FaultKind::kBadCheck, command)) frame.back() ^= 0xFF;
    e.segments.push_back({std::move(frame), true});
    return e;
}

Bytes withHt(Bytes frame, int ht) {
    if (frame.size() < fr::kOverhead) return frame;
    std::string field = htField(ht);
    for (size_t i = 0; i < fr::kHtWidth; ++i)
        frame[fr::kOffHt + i] = static_cast<uint8_t>(field[i]);
    frame.back() = fr::blockCheck(frame.data() + 1, frame.data() + frame.size() - 1);
    return frame;
}

Bytes withLength(const Bytes& frame, int length) {
    if (frame.size() < fr::kOverhead) return frame;
    size_t n = fr::lengthStrict(frame.data());
    Bytes out(frame.begin(), frame.begin() + fr::kOffData);
    vsk::field::digits(reinterpret_cast<char*>(out.data() + fr::kOffLength), 4, length);
    size_t len = static_cast<size_t>(length);
    for (size_t i = 0; i < len; ++i) out.push_back(i < n ? frame[fr::kOffData + i] : ' ');
    out.push_back(fr::ETX);
    out.push_back(fr::blockCheck(out.data() + 1, out.data() + out.size()));
    return out;
}

Bytes noiseBytes(int n) {
    // Bytes a disturbed line might carry, control characters included; never an STX.
    static const uint8_t kPattern[] = {0x00, 0xFF, 0x55, fr::ETX, fr::CAN, fr::ACK, 0x7E, fr::NAK};
    Bytes out;
    for (int i = 0; i < n; ++i) out.push_back(kPattern[i % sizeof kPattern]);
    return out;
}

}  // namespace vsk::htsim
