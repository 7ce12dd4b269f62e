#include "control.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <sstream>

namespace vsk::htsim {

namespace {

// Longest command line taken; a client sending more is cut off.
constexpr size_t kMaxLine = 4096;

std::string sysError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t w = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += static_cast<size_t>(w);
    }
    return true;
}

Terminal* findTerminal(const std::string& number,
                       std::vector<std::unique_ptr<Terminal>>& terminals) {
    int n = 0;
    auto [p, ec] = std::from_chars(number.data(), number.data() + number.size(), n);
    if (ec != std::errc() || p != number.data() + number.size()) return nullptr;
    for (auto& t : terminals)
        if (t->number() == n) return t.get();
    return nullptr;
}

}  // namespace

ControlChannel::~ControlChannel() {
    dropClient();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(path_.c_str());
    }
}

bool ControlChannel::open(const std::string& path, std::string* error) {
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) return *error = "control path too long", false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) return *error = path + " exists and is not a socket", false;
        ::unlink(path.c_str());
    }
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0) return *error = sysError("socket"), false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 4) != 0) {
        *error = sysError("control socket " + path);
        ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    path_ = path;
    return true;
}

void ControlChannel::pollFds(pollfd* listener, pollfd* client) const {
    *listener = {clientFd_ < 0 ? listenFd_ : -1, POLLIN, 0};
    *client = {clientFd_, POLLIN, 0};
}

void ControlChannel::dropClient() {
    if (clientFd_ >= 0) ::close(clientFd_);
    clientFd_ = -1;
    pending_.clear();
}

void ControlChannel::serve(short listenerEvents, short clientEvents,
                           std::vector<std::unique_ptr<Terminal>>& terminals) {
    if (clientFd_ < 0 && (listenerEvents & POLLIN)) {
        clientFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        return;
    }
    if (clientFd_ < 0 || !(clientEvents & (POLLIN | POLLHUP | POLLERR))) return;
    char buf[512];
    ssize_t n = ::read(clientFd_, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) return dropClient();
    pending_.append(buf, static_cast<size_t>(n));
    for (size_t nl; (nl = pending_.find('\n')) != std::string::npos;) {
        std::string line = pending_.substr(0, nl);
        pending_.erase(0, nl + 1);
        if (!writeAll(clientFd_, run(line, terminals) + "\n")) return dropClient();
    }
    if (pending_.size() > kMaxLine) dropClient();
}

std::string ControlChannel::run(const std::string& line,
                                std::vector<std::unique_ptr<Terminal>>& terminals) {
    std::istringstream in(line);
    std::string verb, number;
    in >> verb >> number;
    if (verb != "fault") return "error unknown command \"" + verb + "\"";
    Terminal* t = findTerminal(number, terminals);
    if (!t) return "error no terminal \"" + number + "\"";
    std::vector<Fault> faults;
    for (std::string spec; in >> spec;) {
        std::string why;
        auto f = parseFault(spec, &why);
        if (!f) return "error " + why;
        faults.push_back(*f);
    }
    t->faults().replaceControlled(std::move(faults));
    return "ok";
}

}  // namespace vsk::htsim
