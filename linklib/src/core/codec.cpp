#include "codec.h"

#include <algorithm>
#include <cstring>

#include "veska.h"

namespace vsk::frame {

uint8_t blockCheck(const uint8_t* begin, const uint8_t* end) {
    uint8_t x = 0;
    for (const uint8_t* p = begin; p < end; ++p) x ^= *p;
    return x;
}

size_t build(uint8_t* out, char type, const char* ht, const char* block, uint8_t control,
             const uint8_t* data, size_t count) {
    std::memset(out, 0, kSendBufferSize);
    uint8_t area[kDataAreaSize] = {};
    size_t n = 0;
    if (data == nullptr || count == 0) {
        area[0] = control;
        n = 1;
    } else if (control != 0) {
        area[0] = control;
        n = 1 + std::min(count, kDataAreaSize - 1);
        std::memcpy(area + 1, data, n - 1);
    } else {
        n = std::min(count, kDataAreaSize);
        std::memcpy(area, data, n);
    }

    out[0] = STX;
    out[kOffType] = static_cast<uint8_t>(type);
    // Three HT characters: a short text is right-aligned and zero-filled.
    size_t len = ht ? strnlen(ht, kHtWidth) : 0;
    for (size_t i = 0; i < kHtWidth; ++i) {
        size_t pad = kHtWidth - len;
        out[kOffHt + i] = i < pad ? '0' : static_cast<uint8_t>(ht[i - pad]);
    }
    out[kOffBlock] = block && block[0] ? static_cast<uint8_t>(block[0]) : '0';
    field::digits(reinterpret_cast<char*>(out + kOffLength), 4, static_cast<int64_t>(n));
    std::memcpy(out + kOffData, area, n);
    out[kOffData + n] = ETX;
    out[kOffData + n + 1] = blockCheck(out + 1, out + kOffData + n + 1);
    return n + kOverhead;
}

size_t lengthLeading(const uint8_t* frame) {
    size_t n = 0;
    for (size_t i = 0; i < 4; ++i) {
        uint8_t c = frame[kOffLength + i];
        if (c < '0' || c > '9') break;
        n = n * 10 + (c - '0');
    }
    return n;
}

size_t lengthStrict(const uint8_t* frame) {
    size_t n = 0;
    for (size_t i = 0; i < 4; ++i) {
        uint8_t c = frame[kOffLength + i];
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

int check(const uint8_t* frame) {
    size_t n = lengthStrict(frame);
    if (n > kMaxReceiveData) return VSK_E_RECEIVE;
    uint8_t x = blockCheck(frame + 1, frame + kOffData + n + 1);
    return x == frame[kOffData + n + 1] ? 0 : VSK_E_RECEIVE;
}

int classify(const uint8_t* frame) {
    uint8_t c = controlOf(frame);
    switch (typeOf(frame)) {
        case kAnswer:
            return c == ACK ? kind::kAck : c == NAK ? kind::kNak : kind::kUnknown;
        case kData:
            return kind::kData;
        case kEnd:
            return c == EOT ? kind::kEot : c == CAN ? kind::kCancel : kind::kUnknown;
        case kResult:
            switch (c) {
                case res::kMode:
                    return kind::kMode;
                case res::kA:
                    return kind::kResultA;
                case res::kFailure:
                    return kind::kFailure;
                case res::kSuccess:
                    return kind::kSuccess;
                case res::kRandom:
                    return kind::kRandomRename;
                default:
                    return kind::kUnknown;
            }
        default:
            return VSK_E_RECEIVE;
    }
}

size_t data(const uint8_t* frame, uint8_t* out, size_t cap) {
    size_t n = std::min({lengthStrict(frame), kMaxReceiveData, cap});
    std::memcpy(out, frame + kOffData, n);
    return n;
}

bool sameHt(const uint8_t* f, const char* ht) {
    return std::memcmp(f + kOffHt, ht, kHtWidth) == 0;
}

bool htValid(const char* field) {
    if (field == nullptr || field[0] == '\0') return false;
    int value = 0;
    size_t i = 0;
    for (; i < kHtWidth && field[i] != '\0'; ++i) {
        if (field[i] < '0' || field[i] > '9') return false;
        value = value * 10 + (field[i] - '0');
    }
    return value >= 1 && value <= 128;
}

FrameReader::Status FrameReader::push(uint8_t byte) {
    if (size_ == 0) {
        if (byte != STX) return Status::kNeedMore;  // noise before a frame
        buf_[size_++] = byte;
        need_ = 0;
        return Status::kNeedMore;
    }
    return pushSome(&byte, 1);
}

size_t FrameReader::wanted() const {
    if (size_ == 0) return 0;
    return size_ < kHeaderSize ? kHeaderSize - size_ : need_ - size_;
}

FrameReader::Status FrameReader::pushSome(const uint8_t* bytes, size_t n) {
    n = std::min(n, wanted());
    std::memcpy(buf_ + size_, bytes, n);
    size_ += n;
    if (size_ == kHeaderSize && need_ == 0) {
        size_t announced = lengthLeading(buf_);
        if (announced > kMaxReceiveData) {
            size_ = 0;
            return Status::kTooLong;
        }
        need_ = kHeaderSize + announced + 2;
    }
    if (size_ < kHeaderSize || size_ < need_) return Status::kNeedMore;
    // Complete: the check uses the strict reading of the length field.
    size_t total = size_;
    size_ = 0;
    size_t strict = lengthStrict(buf_);
    if (strict + kOverhead > total) return Status::kBadCheck;
    return check(buf_) == 0 ? Status::kComplete : Status::kBadCheck;
}

}  // namespace vsk::frame

namespace vsk::field {

void blankFill(char* out, size_t w, const char* src) {
    if (w == 0) return;
    std::memset(out, ' ', w - 1);
    out[w - 1] = '\0';
    if (src == nullptr) return;
    for (size_t i = 0; i + 1 < w && src[i] != '\0'; ++i) out[i] = src[i];
}

void trimTrailingBlanks(char* field, size_t w, size_t stop) {
    if (w < 2) return;
    for (size_t i = w - 1; i-- > stop;) {
        if (field[i] != ' ') {
            field[i + 1] = '\0';
            return;
        }
    }
}

void upperName(char* name) {
    for (size_t i = 0; i < frame::kNameWidth && name[i] != '\0'; ++i) {
        if (name[i] >= 'a' && name[i] <= 'z') name[i] = static_cast<char>(name[i] - 'a' + 'A');
    }
}

int32_t decimal(const char* p, size_t n) {
    size_t i = 0;
    while (i < n && p[i] == ' ') ++i;
    int64_t v = 0;
    for (; i < n && p[i] >= '0' && p[i] <= '9'; ++i) {
        v = v * 10 + (p[i] - '0');
        if (v > INT32_MAX) return INT32_MAX;
    }
    return static_cast<int32_t>(v);
}

void digits(char* out, size_t width, int64_t value) {
    if (value < 0) value = 0;
    for (size_t i = width; i-- > 0;) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

}  // namespace vsk::field
