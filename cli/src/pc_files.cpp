#include "pc_files.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "command_line.h"
#include "platform/file_status.h"
#include "platform/paths.h"
#include "terminal_text.h"

namespace veskactl {
namespace {

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

using vsk::platform::FileStatus;

// What is at `path`; throws with `failure` and the system's reason when
// nothing can be found there.
FileStatus statusOf(const std::string& path, const std::string& failure) {
    FileStatus status;
    if (!vsk::platform::fileStatus(path, &status))
        throw std::runtime_error(failure + ": " + std::strerror(errno));
    return status;
}

}  // namespace

std::string libraryPath(std::string_view typed, std::string_view what) {
    if (typed.empty()) throw UsageError(std::string(what) + " cannot be empty");
    std::string path;
    if (!vsk::platform::absolutePath(std::string(typed), &path))
        throw std::runtime_error(std::string("cannot find the working folder: ") +
                                 std::strerror(errno));
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
    const std::string name = vsk::platform::lastPathComponent(file.path);
    if (sending == Sending::kInBatch && name.find(' ') != std::string_view::npos)
        throw UsageError("the PC file name " + quoted(name) +
                         " holds a blank, which is dropped when several files are sent; "
                         "send it on its own or rename it");
    file.terminalName = terminalNameFromUtf8(name);

    const FileStatus status = statusOf(file.path, "cannot send " + file.typed);
    if (status.kind != FileStatus::Kind::kFile)
        throw std::runtime_error("cannot send " + file.typed + ": not a regular file");
    if (!vsk::platform::isReadable(file.path))
        throw std::runtime_error("cannot send " + file.typed + ": " + std::strerror(errno));
    if (status.size > VSK_MAX_FILE_SIZE)
        throw std::runtime_error("cannot send " + file.typed + ": it is " +
                                 std::to_string(status.size) + " bytes; at most " +
                                 std::to_string(VSK_MAX_FILE_SIZE) + " fit a transfer");
    file.size = static_cast<int32_t>(status.size);
    return file;
}

std::string pcFolder(std::string_view typed, std::string_view what) {
    std::string path = libraryPath(typed, what);
    const FileStatus status = statusOf(path, std::string(what) + " " + path);
    if (status.kind != FileStatus::Kind::kFolder)
        throw std::runtime_error(std::string(what) + " " + path + " is not a folder");
    return path;
}

}  // namespace veskactl
