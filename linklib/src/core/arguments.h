// The caller's texts as the fixed-width fields the operations work on.
#pragma once

#include <cstdint>
#include <string>

#include "codec.h"

namespace vsk {

// The HT number as the three-character field the frames carry.
struct HtField {
    char text[4];
    explicit HtField(const char* arg) { field::blankFill(text, sizeof text, arg); }
    bool valid() const { return frame::htValid(text); }
};

// A terminal file name as the 12 blank-filled characters the frames carry.
struct NameField {
    char text[13];
    explicit NameField(const char* arg) { field::blankFill(text, sizeof text, arg); }
    const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(text); }
    // The name without its trailing blanks.
    std::string trimmed() const;
};

// A PC path or folder: trailing blanks removed; at most VSK_MAX_PATH bytes are used.
// A longer text is not cut (that could name another file): it is refused.
struct PathField {
    std::string text;
    bool tooLong = false;
    explicit PathField(const char* arg) : PathField(arg, 4096, VSK_MAX_PATH) {}
    // From a fixed field of `cap` bytes that need not end in a zero byte.
    PathField(const char* arg, size_t cap, size_t maxLength);
    bool valid() const { return !tooLong; }
};

// Handle and HT checks every operation starts with; 0 when both pass.
int32_t checkCall(int32_t handle, const HtField& ht);

// The steps before a command goes out: abort cleared, HT made current, input purged.
void prepareCommand(const HtField& ht);

// The folder with the system's separator added unless it ends with one.
std::string folderPrefix(const std::string& folder);

// The last component of a PC path ("" for a path ending in a separator).
std::string lastComponent(const std::string& path);

}  // namespace vsk
