// The frame codec on arbitrary bytes: the incremental reader over a byte
// stream, the checks and the classification of what it accepts, frames
// built from arbitrary fields read back whole, and the fixed-width field
// helpers the reply parsers are made of.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec.h"
#include "fuzz_assert.h"
#include "veska.h"

namespace {

using namespace vsk;

bool isKind(int k) {
    return (k <= frame::kind::kUnknown && k >= frame::kind::kRepeatedBlock) || k == VSK_E_RECEIVE;
}

// What the engine relies on for every frame the reader accepts.
void checkAccepted(const uint8_t* f) {
    FUZZ_ASSERT(f[0] == frame::STX);
    FUZZ_ASSERT(frame::frameSize(f) <= frame::kReceiveBufferSize);
    FUZZ_ASSERT(frame::check(f) == 0);
    int kind = frame::classify(f);
    FUZZ_ASSERT(isKind(kind));
    if (frame::typeOf(f) == frame::kData) FUZZ_ASSERT(kind == frame::kind::kData);
    uint8_t out[frame::kReceiveBufferSize];
    FUZZ_ASSERT(frame::data(f, out, sizeof out) == frame::lengthStrict(f));
}

void readStream(const uint8_t* data, size_t size) {
    frame::FrameReader reader;
    for (size_t i = 0; i < size; ++i) {
        switch (reader.push(data[i])) {
            case frame::FrameReader::Status::kComplete:
                checkAccepted(reader.frame());
                FUZZ_ASSERT(!reader.inFrame());
                break;
            case frame::FrameReader::Status::kBadCheck:
            case frame::FrameReader::Status::kTooLong:
                FUZZ_ASSERT(!reader.inFrame());
                break;
            case frame::FrameReader::Status::kNeedMore:
                FUZZ_ASSERT(reader.size() < frame::kReceiveBufferSize);
                break;
        }
    }
}

// A frame built from any fields is read back as exactly that frame, after
// any noise that holds no STX.
void buildAndRead(FuzzedDataProvider& in) {
    const char type = in.ConsumeIntegral<char>();
    const std::string ht = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 4));
    const char block[2] = {in.ConsumeIntegral<char>(), '\0'};
    const uint8_t control = in.ConsumeIntegral<uint8_t>();
    std::vector<uint8_t> noise = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 8));
    std::erase(noise, frame::STX);
    const std::vector<uint8_t> payload =
        in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 600));

    uint8_t out[frame::kSendBufferSize];
    const size_t len =
        frame::build(out, type, ht.c_str(), block, control, payload.data(), payload.size());
    FUZZ_ASSERT(len >= frame::kOverhead && len <= frame::kDataAreaSize + frame::kOverhead);
    FUZZ_ASSERT(frame::frameSize(out) == len);
    FUZZ_ASSERT(out[len - 2] == frame::ETX);

    frame::FrameReader reader;
    for (uint8_t b : noise) FUZZ_ASSERT(reader.push(b) == frame::FrameReader::Status::kNeedMore);
    for (size_t i = 0; i + 1 < len; ++i) {
        FUZZ_ASSERT(reader.push(out[i]) == frame::FrameReader::Status::kNeedMore);
    }
    FUZZ_ASSERT(reader.push(out[len - 1]) == frame::FrameReader::Status::kComplete);
    FUZZ_ASSERT(std::memcmp(reader.frame(), out, len) == 0);
    checkAccepted(reader.frame());
}

void fields(FuzzedDataProvider& in) {
    const std::string text = in.ConsumeRandomLengthString(40);
    const int32_t n = field::decimal(text.data(), text.size());
    FUZZ_ASSERT(n >= 0);
    if (!text.empty() && text.size() <= 9 &&
        text.find_first_not_of("0123456789") == std::string::npos) {
        FUZZ_ASSERT(n == std::atoi(text.c_str()));
    }

    const size_t w = in.ConsumeIntegralInRange<size_t>(1, 16);
    std::vector<char> f(w);
    field::blankFill(f.data(), w, text.c_str());
    FUZZ_ASSERT(f[w - 1] == '\0' && std::strlen(f.data()) == w - 1);
    field::trimTrailingBlanks(f.data(), w);
    const size_t kept = std::strlen(f.data());
    FUZZ_ASSERT(kept == w - 1 || (kept > 0 && f[kept - 1] != ' '));

    if (frame::htValid(text.c_str())) {
        const int ht = std::atoi(text.substr(0, frame::kHtWidth).c_str());
        FUZZ_ASSERT(ht >= 1 && ht <= VSK_MAX_HT);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readStream(data, size);
    FuzzedDataProvider in(data, size);
    fields(in);
    buildAndRead(in);
    return 0;
}
