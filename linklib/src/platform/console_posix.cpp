#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/console.h"

namespace vsk::platform {

bool beginStatusLine() {
    return isatty(STDERR_FILENO) == 1;
}

void endStatusLine() {}

size_t statusLineColumns() {
    struct winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0) return size.ws_col;
    return 0;
}

void writeStatusLine(const std::string& text) {
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t written = write(STDERR_FILENO, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        data += written;
        left -= static_cast<size_t>(written);
    }
}

}  // namespace vsk::platform
