#include "raw_line.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "codec.h"

namespace vsk::htsim::testing {

namespace fr = vsk::frame;

std::string RawFrame::ht() const {
    return bytes.size() >= 5 ? std::string(bytes.begin() + 2, bytes.begin() + 5) : std::string();
}

std::string RawFrame::data() const {
    if (bytes.size() < fr::kOverhead) return {};
    return std::string(bytes.begin() + fr::kOffData, bytes.end() - 2);
}

RawLine::RawLine(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("open " + path + ": " + std::strerror(errno));
    termios t{};
    if (::tcgetattr(fd_, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ::tcflush(fd_, TCIFLUSH);
}

RawLine::~RawLine() {
    if (fd_ >= 0) ::close(fd_);
}

void RawLine::write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            throw std::runtime_error(std::string("write: ") + std::strerror(errno));
        }
    }
}

void RawLine::sendCommand(int ht, char code, std::string_view params) {
    uint8_t buf[fr::kSendBufferSize];
    std::string h = std::to_string(ht);
    size_t n = fr::build(buf, fr::kCommand, h.c_str(), "0", static_cast<uint8_t>(code),
                         reinterpret_cast<const uint8_t*>(params.data()), params.size());
    write(std::vector<uint8_t>(buf, buf + n));
}

void RawLine::sendAnswer(int ht, char block, uint8_t control) {
    uint8_t buf[fr::kSendBufferSize];
    std::string h = std::to_string(ht);
    const char blk[2] = {block, '\0'};
    size_t n = fr::build(buf, fr::kAnswer, h.c_str(), blk, control, nullptr, 0);
    write(std::vector<uint8_t>(buf, buf + n));
}

void RawLine::sendData(int ht, char block, std::string_view data) {
    uint8_t buf[fr::kSendBufferSize];
    std::string h = std::to_string(ht);
    const char blk[2] = {block, '\0'};
    size_t n = fr::build(buf, fr::kData, h.c_str(), blk, 0,
                         reinterpret_cast<const uint8_t*>(data.data()), data.size());
    write(std::vector<uint8_t>(buf, buf + n));
}

void RawLine::sendEnd(int ht, uint8_t control) {
    uint8_t buf[fr::kSendBufferSize];
    std::string h = std::to_string(ht);
    size_t n = fr::build(buf, fr::kEnd, h.c_str(), "0", control, nullptr, 0);
    write(std::vector<uint8_t>(buf, buf + n));
}

void RawLine::sendResult(int ht, char block, char letter) {
    uint8_t buf[fr::kSendBufferSize];
    std::string h = std::to_string(ht);
    const char blk[2] = {block, '\0'};
    size_t n =
        fr::build(buf, fr::kResult, h.c_str(), blk, static_cast<uint8_t>(letter), nullptr, 0);
    write(std::vector<uint8_t>(buf, buf + n));
}

std::optional<RawFrame> RawLine::readFrame(std::chrono::milliseconds timeout) {
    fr::FrameReader reader;
    size_t got = 0;
    while (true) {
        if (pendingAt_ == pending_.size() && !fill(timeout)) return std::nullopt;
        auto status = reader.push(pending_[pendingAt_++]);
        if (reader.inFrame()) got = reader.size();
        if (status == fr::FrameReader::Status::kNeedMore) continue;
        RawFrame f;
        const uint8_t* raw = reader.frame();
        if (status == fr::FrameReader::Status::kTooLong) {
            f.status = RawFrame::Status::kTooLong;
            f.bytes.assign(raw, raw + fr::kHeaderSize);
        } else {
            f.status = status == fr::FrameReader::Status::kComplete ? RawFrame::Status::kOk
                                                                    : RawFrame::Status::kBadCheck;
            f.bytes.assign(raw, raw + got + 1);
        }
        return f;
    }
}

bool RawLine::fill(std::chrono::milliseconds timeout) {
    pending_.resize(4096);
    pendingAt_ = 0;
    while (true) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) break;
        ssize_t n = ::read(fd_, pending_.data(), pending_.size());
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) break;
        pending_.resize(static_cast<size_t>(n));
        return true;
    }
    pending_.clear();
    return false;
}

std::vector<uint8_t> RawLine::drain(std::chrono::milliseconds quiet) {
    std::vector<uint8_t> out(pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_),
                             pending_.end());
    pending_.clear();
    pendingAt_ = 0;
    while (true) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0) return out;
        uint8_t buf[1024];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0)
            out.insert(out.end(), buf, buf + n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            return out;
    }
}

std::string nameField(std::string_view name) {
    std::string s(name.substr(0, fr::kNameWidth));
    s.resize(fr::kNameWidth, ' ');
    return s;
}

}  // namespace vsk::htsim::testing
