#include "pc_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "command_line.h"
#include "terminal_text.h"

namespace veskactl {
namespace {

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

std::string workingFolder() {
    std::string buffer(4096, '\0');
    if (getcwd(buffer.data(), buffer.size()) == nullptr)
        throw std::runtime_error(std::string("cannot find the working folder: ") +
                                 std::strerror(errno));
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

std::string_view baseName(std::string_view path) {
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string libraryPath(std::string_view typed, std::string_view what) {
    if (typed.empty()) throw UsageError(std::string(what) + " cannot be empty");
    std::string path;
    if (typed.front() == '/') {
        path = typed;
    } else {
        while (typed.size() > 2 && typed.substr(0, 2) == "./") typed.remove_prefix(2);
        std::string folder = workingFolder();
        path = folder + (folder.back() == '/' ? "" : "/") + std::string(typed);
    }
    if (path.size() > VSK_MAX_PATH)
        throw UsageError(std::string(what) + " " + quoted(path) + " is " +
                         std::to_string(path.size()) + " bytes long; at most " +
                         std::to_string(VSK_MAX_PATH) + " are allowed");
    if (path.back() == ' ')
        throw UsageError(std::string(what) + " " + quoted(path) + " ends in a blank");
    return path;
}

PcFile pcFileToSend(std::string_view typed, Sending sending) {
    PcFile file;
    file.typed = typed;
    file.path = libraryPath(typed, "the PC file");
    std::string_view name = baseName(file.path);
    if (sending == Sending::kInBatch && name.find(' ') != std::string_view::npos)
        throw UsageError("the PC file name " + quoted(name) +
                         " holds a blank, which is dropped when several files are sent; "
                         "send it on its own or rename it");
    file.terminalName = terminalNameFromUtf8(name);

    struct stat info = {};
    if (stat(file.path.c_str(), &info) != 0)
        throw std::runtime_error("cannot send " + file.typed + ": " + std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        throw std::runtime_error("cannot send " + file.typed + ": not a regular file");
    if (access(file.path.c_str(), R_OK) != 0)
        throw std::runtime_error("cannot send " + file.typed + ": " + std::strerror(errno));
    if (info.st_size > VSK_MAX_FILE_SIZE)
        throw std::runtime_error("cannot send " + file.typed + ": it is " +
                                 std::to_string(info.st_size) + " bytes; at most " +
                                 std::to_string(VSK_MAX_FILE_SIZE) + " fit a transfer");
    file.size = static_cast<int32_t>(info.st_size);
    return file;
}

std::string pcFolder(std::string_view typed, std::string_view what) {
    std::string path = libraryPath(typed, what);
    struct stat info = {};
    if (stat(path.c_str(), &info) != 0)
        throw std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(errno));
    if (!S_ISDIR(info.st_mode))
        throw std::runtime_error(std::string(what) + " " + path + " is not a folder");
    return path;
}

}  // namespace veskactl
