#include <cstring>

#include "arguments.h"
#include "cp932_rules.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "session.h"
#include "transfer.h"

namespace vsk::xfer {

void startFile(const char* name, const char* ht, int32_t total) {
    char trimmed[13];
    field::blankFill(trimmed, sizeof trimmed, name);
    field::trimTrailingBlanks(trimmed, sizeof trimmed);
    state().progress.start(trimmed, ht, total);
}

void addDone(int32_t bytes) {
    state().progress.add(bytes);
}
int32_t bytesDone() {
    return state().progress.done();
}

InTransfer::InTransfer() {
    state().inTransfer = true;
}
InTransfer::~InTransfer() {
    state().inTransfer = false;
}

Window::Window(int32_t show, host::WindowType type, bool owned)
    : show_(show), type_(type), owned_(owned) {}

Window::~Window() {
    if (owned_) host::closeWindow();
}

void Window::open(const char* name) {
    if (owned_) host::openWindow(state().handle.load(), state().currentHt, name, show_, type_);
}

void Window::show(const char* name, int32_t total) {
    if (!host::windowOpen()) return;
    char trimmed[13];
    field::blankFill(trimmed, sizeof trimmed, name);
    field::trimTrailingBlanks(trimmed, sizeof trimmed);
    host::setupWindow(state().currentHt, trimmed, type_);
    // The previous file's figures must not stand under the new name.
    host::showProgress(0, total);
}

void Window::progress(int32_t done, int32_t total) {
    if (host::windowOpen()) host::showProgress(done, total);
}

int32_t refusal(int kind) {
    switch (kind) {
        case frame::kind::kFailure:
            return VSK_E_HT_FILE_IO;
        case frame::kind::kMode:
            return VSK_E_HT_MODE;
        case frame::kind::kCancel:
            return VSK_E_ABORT_HT;
        default:
            return 0;
    }
}

namespace {

// Names with control characters are refused in both directions: they cannot
// be typed, shown or put in a result line safely.
bool hasControlCharacter(const std::string& name) {
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
}

}  // namespace

void refuseFile(char block) {
    buildFrame(frame::kResult, state().currentHt, block, 0, reinterpret_cast<const uint8_t*>("F"),
               1);
    writeFrame();
}

bool terminalNameFor(const std::string& path, bool removeBlanks, std::string* name) {
    std::string last = lastComponent(path);
    if (hasControlCharacter(last)) return false;
    if (removeBlanks) std::erase(last, ' ');
    std::string cp932;
    if (!platform::pcToCp932(last, &cp932)) return false;
    *name = std::string(cp932::wholeCharPrefix(cp932, frame::kNameWidth));
    return true;
}

std::string upperCased(const std::string& name) {
    char f[13];
    field::blankFill(f, sizeof f, name.c_str());
    field::upperName(f);
    field::trimTrailingBlanks(f, sizeof f);
    return f;
}

bool pcNameFor(const std::string& terminalName, std::string* pcName) {
    std::string trimmed = terminalName;
    while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
    if (hasControlCharacter(trimmed) || !platform::cp932ToPc(trimmed, pcName)) return false;
    // Checked as the PC spells it: a CP932 trail byte may read as a separator.
    return platform::isPlainFileName(*pcName);
}

}  // namespace vsk::xfer
