#include "fault.h"

#include <charconv>
#include <cstdint>

#include "codec.h"

namespace vsk::htsim {

namespace fr = vsk::frame;

namespace {

enum class Arg { kNone, kOptional, kRequired };

// What the ARG of a kind is.
enum class ArgType {
    kNumber,      // a number from minArg to maxArg
    kLetter,      // result: a result letter, optionally ",POS"
    kPosition,    // [FILE ":"] FRAME, FRAME a number or "h"
    kFile,        // a file index of a batch
    kName,        // a terminal file name of 1 to 12 bytes
    kPositionMs,  // [FILE ":"] FRAME "," MS, MS a number from minArg to maxArg; with
                  // minArg 0 the "," MS may be left out
};

struct KindInfo {
    std::string_view name;
    FaultKind kind;
    Arg arg;
    ArgType type;
    bool argIsCount;  // the ARG is how many times the fault fires
    bool counted;     // "*COUNT" is allowed
    int defaultArg;
    int defaultCount;
    int minArg;
    int maxArg;
};

// Entries per listing frame are bounded by the 550-byte data area of one frame.
constexpr int kMaxSplit = static_cast<int>(fr::kDataAreaSize / fr::kDirEntryWidth);
// Frames of one file: a 7-digit size sent one byte a frame.
constexpr int kMaxFrame = VSK_MAX_FILE_SIZE;
constexpr int kMaxFile = 999;

constexpr KindInfo kKinds[] = {
    {"silent", FaultKind::kSilent, Arg::kOptional, ArgType::kNumber, true, false, 0, -1, 1,
     1000000},
    {"nak", FaultKind::kNak, Arg::kOptional, ArgType::kNumber, true, false, 0, 1, 1, 1000000},
    {"badbcc", FaultKind::kBadCheck, Arg::kOptional, ArgType::kNumber, true, false, 0, 1, 1,
     1000000},
    {"otherht", FaultKind::kOtherHt, Arg::kOptional, ArgType::kNumber, false, true, 0, -1, 1, 128},
    {"foreign", FaultKind::kForeignOnly, Arg::kOptional, ArgType::kNumber, false, true, 0, -1, 1,
     128},
    {"noise", FaultKind::kNoise, Arg::kOptional, ArgType::kNumber, false, true, 8, -1, 1, 1000},
    {"repeat", FaultKind::kRepeat, Arg::kOptional, ArgType::kPosition, false, true, 0, 1, 0, 0},
    {"result", FaultKind::kResult, Arg::kRequired, ArgType::kLetter, false, true, 0, -1, 0, 0},
    {"cancel", FaultKind::kCancel, Arg::kOptional, ArgType::kPosition, false, true, 0, 1, 0, 0},
    {"split", FaultKind::kSplit, Arg::kRequired, ArgType::kNumber, false, false, 0, -1, 1,
     kMaxSplit},
    {"extra", FaultKind::kExtra, Arg::kRequired, ArgType::kNumber, false, false, 0, -1, 1, 999},
    {"longlen", FaultKind::kLongLength, Arg::kOptional, ArgType::kNumber, false, true, 2000, 1, 1,
     9999},
    {"slow", FaultKind::kSlow, Arg::kRequired, ArgType::kNumber, false, false, 0, -1, 1, 10000},
    {"delay", FaultKind::kDelay, Arg::kRequired, ArgType::kNumber, false, true, 0, -1, 1, 60000},
    {"eot", FaultKind::kEndReply, Arg::kNone, ArgType::kNumber, false, true, 0, 1, 0, 0},
    {"blknak", FaultKind::kBlockNak, Arg::kRequired, ArgType::kPosition, false, true, 0, 1, 0, 0},
    {"blksilent", FaultKind::kBlockSilent, Arg::kRequired, ArgType::kPosition, false, true, 0, 1, 0,
     0},
    {"prevack", FaultKind::kPrevAck, Arg::kRequired, ArgType::kPosition, false, true, 0, 1, 0, 0},
    {"twice", FaultKind::kTwice, Arg::kRequired, ArgType::kPosition, false, true, 0, 1, 0, 0},
    {"hangup", FaultKind::kHangUp, Arg::kOptional, ArgType::kPosition, false, false, 0, 1, 0, 0},
    {"rehead", FaultKind::kRepeatHeader, Arg::kOptional, ArgType::kFile, false, true, 0, 1, 0,
     kMaxFile},
    {"short", FaultKind::kShort, Arg::kRequired, ArgType::kNumber, false, true, 0, 1, 1, kMaxFrame},
    {"badname", FaultKind::kBadName, Arg::kOptional, ArgType::kName, false, false, 0, -1, 0, 0},
    {"overlong", FaultKind::kOverlong, Arg::kOptional, ArgType::kNumber, false, true, 2000000, 1, 1,
     100000000},
    {"manyfiles", FaultKind::kManyFiles, Arg::kRequired, ArgType::kNumber, false, false, 0, -1, 0,
     INT32_MAX},
    {"babble", FaultKind::kBabble, Arg::kOptional, ArgType::kNumber, false, false, 1000, -1, 1,
     100000},
    {"endless", FaultKind::kEndless, Arg::kNone, ArgType::kNumber, false, false, 0, -1, 0, 0},
    {"lateack", FaultKind::kLateAck, Arg::kRequired, ArgType::kPositionMs, false, true, 0, 1, 1,
     60000},
    {"canafter", FaultKind::kCancelAfter, Arg::kRequired, ArgType::kPositionMs, false, true, 0, 1,
     0, 60000},
};

constexpr std::string_view kDefaultBadName = "../EVIL.TXT";

bool parseInt(std::string_view s, int* out) {
    if (s.empty()) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
    return ec == std::errc() && p == s.data() + s.size();
}

bool fail(std::string* error, std::string_view text, std::string_view why) {
    if (error) *error = "fault \"" + std::string(text) + "\": " + std::string(why);
    return false;
}

// [FILE ":"] FRAME, FRAME a frame index or "h" for a header.
bool parsePosition(std::string_view pos, Fault* f) {
    int file = kAnyFile;
    if (auto colon = pos.find(':'); colon != std::string_view::npos) {
        if (!parseInt(pos.substr(0, colon), &file) || file < 0 || file > kMaxFile) return false;
        pos = pos.substr(colon + 1);
    }
    int frame = 0;
    if (pos == "h")
        frame = kHeaderFrame;
    else if (!parseInt(pos, &frame) || frame < 0 || frame > kMaxFrame)
        return false;
    f->file = file;
    f->frame = frame;
    return true;
}

// POS "," MS into the fault's position and ARG; the "," MS part may be left
// out (ARG 0) where 0 is allowed.
bool parsePositionMs(const KindInfo& k, std::string_view arg, Fault* f) {
    const size_t comma = arg.find(',');
    if (comma == std::string_view::npos) {
        f->arg = 0;
        return k.minArg == 0 && parsePosition(arg, f);
    }
    int ms = 0;
    if (!parsePosition(arg.substr(0, comma), f) || !parseInt(arg.substr(comma + 1), &ms))
        return false;
    f->arg = ms;
    return ms >= k.minArg && ms <= k.maxArg;
}

bool parseNumber(const KindInfo& k, std::string_view arg, Fault* f, std::string* error,
                 std::string_view whole) {
    int v = 0;
    if (!parseInt(arg, &v) || v < k.minArg || v > k.maxArg)
        return fail(error, whole,
                    "argument must be a number from " + std::to_string(k.minArg) + " to " +
                        std::to_string(k.maxArg));
    if (k.argIsCount)
        f->count = v;
    else
        f->arg = v;
    return true;
}

bool parseArg(const KindInfo& k, std::string_view arg, Fault* f, std::string* error,
              std::string_view whole) {
    switch (k.type) {
        case ArgType::kNumber:
            return parseNumber(k, arg, f, error, whole);
        case ArgType::kLetter: {
            std::string_view letter = arg.substr(0, arg.find(','));
            if (letter.size() != 1 ||
                std::string_view("MFRAS").find(letter[0]) == std::string_view::npos)
                return fail(error, whole, "result needs one of the letters M, F, R, A, S");
            f->arg = static_cast<unsigned char>(letter[0]);
            if (letter.size() == arg.size()) return true;
            if (!parsePosition(arg.substr(2), f))
                return fail(error, whole, "position must be [FILE:]FRAME or [FILE:]h");
            f->kind = FaultKind::kResultAt;
            f->count = 1;
            return true;
        }
        case ArgType::kPosition:
            if (!parsePosition(arg, f))
                return fail(error, whole, "position must be [FILE:]FRAME or [FILE:]h");
            if (k.kind == FaultKind::kCancel) f->kind = FaultKind::kCancelAt;
            return true;
        case ArgType::kFile:
            if (!parseInt(arg, &f->file) || f->file < 0 || f->file > kMaxFile)
                return fail(error, whole, "file index must be a number from 0 to 999");
            return true;
        case ArgType::kPositionMs: {
            const bool optional = k.minArg == 0;
            if (!parsePositionMs(k, arg, f))
                return fail(error, whole,
                            std::string("argument must be [FILE:]FRAME") +
                                (optional ? "[,MS]" : ",MS") + " with MS from " +
                                std::to_string(k.minArg) + " to " + std::to_string(k.maxArg));
            return true;
        }
        case ArgType::kName:
            if (arg.empty() || arg.size() > fr::kNameWidth || arg.find('\0') != arg.npos)
                return fail(error, whole, "name must be 1 to 12 bytes");
            f->text = std::string(arg);
            return true;
    }
    return false;
}

// "silent, nak, ...": told with an unknown kind, so that a typo shows the choices.
std::string kindNames() {
    std::string names;
    for (const KindInfo& k : kKinds) {
        if (!names.empty()) names += ", ";
        names += k.name;
    }
    return names;
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
        fail(error, text,
             "unknown kind \"" + std::string(rest) + "\" (kinds: " + kindNames() + ")");
        return std::nullopt;
    }

    Fault f;
    f.kind = info->kind;
    f.arg = info->defaultArg;
    f.count = info->defaultCount;
    if (info->kind == FaultKind::kRepeatHeader) f.frame = kHeaderFrame;
    if (info->kind == FaultKind::kBadName) f.text = kDefaultBadName;
    if (hasArg) {
        if (info->arg == Arg::kNone) {
            fail(error, text, "takes no argument");
            return std::nullopt;
        }
        if (!parseArg(*info, arg, &f, error, text)) return std::nullopt;
    } else if (info->arg == Arg::kRequired) {
        fail(error, text, "needs an argument");
        return std::nullopt;
    } else if (info->kind == FaultKind::kHangUp) {
        // Without a position the line goes dead at the command itself.
        f.kind = FaultKind::kHangUpNow;
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
    if (hasLetters && f.kind == FaultKind::kBabble) {
        fail(error, text, "babble is on the line, not on commands: no @LETTERS");
        return std::nullopt;
    }
    return f;
}

void FaultSet::replaceControlled(std::vector<Fault> faults) {
    std::erase_if(faults_, [](const Fault& f) { return f.controlled; });
    for (Fault& f : faults) {
        f.controlled = true;
        faults_.push_back(std::move(f));
    }
}

const Fault* FaultSet::fire(FaultKind kind, char command) {
    for (Fault& f : faults_) {
        if (f.kind != kind || f.count == 0 || !f.appliesTo(command)) continue;
        if (f.count > 0) --f.count;
        return &f;
    }
    return nullptr;
}

const Fault* FaultSet::fireAt(FaultKind kind, char command, Position at) {
    for (Fault& f : faults_) {
        if (f.kind != kind || f.frame != at.frame || (f.file != kAnyFile && f.file != at.file) ||
            f.count == 0 || !f.appliesTo(command))
            continue;
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

std::vector<const Fault*> FaultSet::findAll(FaultKind kind, char command) const {
    std::vector<const Fault*> out;
    for (const Fault& f : faults_)
        if (f.kind == kind && f.appliesTo(command)) out.push_back(&f);
    return out;
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

Bytes noiseBytes(int n, uint64_t from) {
    // Bytes a disturbed line might carry, control characters included; never an STX.
    static const uint8_t kPattern[] = {0x00, 0xFF, 0x55, fr::ETX, fr::CAN, fr::ACK, 0x7E, fr::NAK};
    Bytes out;
    for (int i = 0; i < n; ++i)
        out.push_back(kPattern[(from + static_cast<uint64_t>(i)) % sizeof kPattern]);
    return out;
}

}  // namespace vsk::htsim
