#include "sim_control.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace vsk::htsim::testing {

namespace {

// A simulator busy writing a long frame answers within this.
constexpr int kReplyTimeoutMs = 10000;

}  // namespace

SimControl::SimControl(const std::string& path) {
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) throw std::runtime_error("control path too long");
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::string why = std::strerror(errno);
        ::close(fd_);
        fd_ = -1;
        throw std::runtime_error("cannot connect to " + path + ": " + why);
    }
}

SimControl::~SimControl() {
    if (fd_ >= 0) ::close(fd_);
}

std::string SimControl::command(const std::string& line) {
    if (fd_ < 0) return {};
    std::string out = line + "\n";
    for (size_t done = 0; done < out.size();) {
        ssize_t w = ::send(fd_, out.data() + done, out.size() - done, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return {};
        done += static_cast<size_t>(w);
    }
    for (;;) {
        if (auto nl = pending_.find('\n'); nl != std::string::npos) {
            std::string reply = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return reply;
        }
        pollfd pfd{fd_, POLLIN, 0};
        int r = ::poll(&pfd, 1, kReplyTimeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return {};
        char buf[256];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return {};
        pending_.append(buf, static_cast<size_t>(n));
    }
}

bool SimControl::setFaults(int ht, const std::vector<std::string>& faults, std::string* error) {
    std::string line = "fault " + std::to_string(ht);
    for (const std::string& f : faults) line += " " + f;
    std::string reply = command(line);
    if (reply == "ok") return true;
    if (error) *error = reply.empty() ? "no reply from the simulator" : reply;
    return false;
}

}  // namespace vsk::htsim::testing
