#include "wire.h"

#include <algorithm>
#include <cstdio>

#include "codec.h"

namespace vsk::htsim {

namespace fr = vsk::frame;

std::span<const uint8_t> Frame::params() const {
    if (data.size() <= 1) return {};
    return std::span<const uint8_t>(data).subspan(1);
}

Frame splitFrame(const uint8_t* raw, size_t size, bool checkOk) {
    Frame f;
    f.checkOk = checkOk;
    if (size < fr::kHeaderSize) return f;
    f.type = static_cast<char>(raw[fr::kOffType]);
    f.ht.assign(raw + fr::kOffHt, raw + fr::kOffHt + fr::kHtWidth);
    f.block = static_cast<char>(raw[fr::kOffBlock]);
    f.length.assign(raw + fr::kOffLength, raw + fr::kOffData);
    size_t n = fr::lengthStrict(raw);
    size_t avail = size >= fr::kOverhead ? size - fr::kOverhead : 0;
    if (n > avail) n = avail;
    f.data.assign(raw + fr::kOffData, raw + fr::kOffData + n);
    return f;
}

bool checkMatches(const uint8_t* raw, size_t size) {
    if (size < fr::kOverhead) return false;
    size_t n = fr::lengthStrict(raw);
    if (n + fr::kOverhead > size) return false;
    return fr::blockCheck(raw + 1, raw + fr::kOffData + n + 1) == raw[fr::kOffData + n + 1];
}

std::string htField(int number) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03d", number < 0 ? 0 : number % 1000);
    return buf;
}

Bytes makeFrame(char type, int ht, char block, uint8_t control, std::span<const uint8_t> data) {
    uint8_t buf[fr::kSendBufferSize];
    std::string field = htField(ht);
    const char blk[2] = {block, '\0'};
    size_t n = fr::build(buf, type, field.c_str(), blk, control,
                         data.empty() ? nullptr : data.data(), data.size());
    return Bytes(buf, buf + n);
}

Bytes answerFrame(int ht, char block, uint8_t control) {
    return makeFrame(fr::kAnswer, ht, block, control);
}

Bytes resultFrame(int ht, char letter) {
    return makeFrame(fr::kResult, ht, '0', static_cast<uint8_t>(letter));
}

Bytes endFrame(int ht, uint8_t control) {
    return makeFrame(fr::kEnd, ht, '0', control);
}

Bytes dataFrame(int ht, char block, std::span<const uint8_t> data) {
    if (data.size() <= fr::kDataAreaSize) return makeFrame(fr::kData, ht, block, 0, data);
    Bytes out(fr::kOverhead + data.size());
    out[0] = fr::STX;
    out[fr::kOffType] = static_cast<uint8_t>(fr::kData);
    std::string field = htField(ht);
    std::copy(field.begin(), field.end(), out.begin() + fr::kOffHt);
    out[fr::kOffBlock] = static_cast<uint8_t>(block);
    vsk::field::digits(reinterpret_cast<char*>(out.data() + fr::kOffLength), 4,
                       static_cast<int64_t>(data.size()));
    std::copy(data.begin(), data.end(), out.begin() + fr::kOffData);
    out[fr::kOffData + data.size()] = fr::ETX;
    out.back() = fr::blockCheck(out.data() + 1, out.data() + out.size() - 1);
    return out;
}

Bytes dataFrame(int ht, char block, const std::string& text) {
    return dataFrame(
        ht, block,
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::vector<Bytes> Emission::frames() const {
    std::vector<Bytes> out;
    for (const Segment& s : segments)
        if (s.isFrame) out.push_back(s.bytes);
    return out;
}

std::string controlName(uint8_t c) {
    switch (c) {
        case fr::ACK:
            return "ACK";
        case fr::NAK:
            return "NAK";
        case fr::EOT:
            return "EOT";
        case fr::CAN:
            return "CAN";
        default:
            break;
    }
    if (c > 0x20 && c < 0x7f) return std::string(1, static_cast<char>(c));
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", c);
    return buf;
}

std::string hex(std::span<const uint8_t> bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    }
    return out;
}

namespace {

// Record fields are blank-separated, so every field is made of graphic characters.
std::string token(const std::string& s) {
    std::string out = s.empty() ? "?" : s;
    for (char& c : out) {
        if (c == ' ')
            c = '_';
        else if (c <= 0x20 || c >= 0x7f)
            c = '?';
    }
    return out;
}

std::string controlField(const Frame& f) {
    if (f.data.empty()) return "-";
    if (f.type == fr::kData) return "-";
    return controlName(f.control());
}

bool printable(std::span<const uint8_t> d) {
    for (uint8_t b : d)
        if (b < 0x20 || b >= 0x7f) return false;
    return true;
}

}  // namespace

std::string recordLine(bool rx, const Frame& f, const char* mark, double ms) {
    char t[32];
    std::snprintf(t, sizeof t, "%.3f", ms);
    std::string line = rx ? "RX " : "TX ";
    line += token(std::string(1, f.type)) + ' ' + token(f.ht) + ' ' +
            token(std::string(1, f.block)) + ' ' + token(f.length) + ' ' + controlField(f) + ' ';
    line += f.data.empty() ? "-" : hex(f.data);
    line += ' ';
    line += mark;
    line += ' ';
    line += t;
    return line;
}

std::string traceLine(bool rx, const Frame& f, const char* mark, double ms) {
    char head[96];
    std::snprintf(head, sizeof head, "[%10.3f] %s %c ht=%s blk=%c len=%s ctl=%s", ms / 1000.0,
                  rx ? "RX" : "TX", f.type > 0x20 && f.type < 0x7f ? f.type : '?',
                  token(f.ht).c_str(), f.block > 0x20 && f.block < 0x7f ? f.block : '?',
                  token(f.length).c_str(), controlField(f).c_str());
    std::string line = head;
    // Command, answer, end and result frames start with their control byte; the
    // rest is parameters. Data frames are payload throughout.
    std::span<const uint8_t> rest(f.data);
    if (f.type != fr::kData && !rest.empty()) rest = rest.subspan(1);
    if (!rest.empty()) {
        if (printable(rest))
            line += " data=\"" + std::string(rest.begin(), rest.end()) + "\"";
        else
            line += " hex=" + hex(rest);
    }
    if (std::string(mark) != "ok") line += std::string(" [") + mark + "]";
    return line;
}

}  // namespace vsk::htsim
