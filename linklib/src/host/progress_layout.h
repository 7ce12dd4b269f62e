// The library's progress window as every host lays it out: its size and
// controls in dialog units, their ids, and its texts (UTF-8). The Qt window
// and the Win32 dialog are both built from this one description.
#pragma once

#include <cstdint>

namespace vsk::host::layout {

inline constexpr const char* kCaption = "Veskafile";
// The face the window asks for; a system without it uses a similar one.
inline constexpr const char* kFontFace = "ＭＳ Ｐゴシック";
inline constexpr int kFontPoints = 9;
inline constexpr int kWidth = 274;
inline constexpr int kHeight = 135;

// Control ids.
enum : int {
    kBar = 1000,  // the progress bar, made in the place of kBarFrame
    kAbortButton = 1001,
    kHtNo = 1002,
    kOperation = 1003,
    kFileName = 1004,
    kBytesDone = 1005,
    kBytesTotal = 1006,
    kBarFrame = 1007,
    kSeparator = 1009,
    kPollingText = 1010,
    // The template gives these two no id; they are never looked up by one.
    kHtNoLabel = -1,
    kGroupBox = -2,
};

enum class Kind { kGroupBox, kText, kFrame, kButton };

struct Control {
    int id;
    Kind kind;
    int x, y, w, h;
    const char* text;  // placeholders are replaced before the window is drawn
};

inline constexpr Control kControls[] = {
    {kGroupBox, Kind::kGroupBox, 12, 9, 250, 95, ""},
    {kHtNoLabel, Kind::kText, 35, 43, 22, 8, "ＨＴ ＮＯ"},
    {kHtNo, Kind::kText, 61, 43, 14, 10, "000"},
    {kOperation, Kind::kText, 33, 23, 206, 11, ""},
    {kFileName, Kind::kText, 35, 63, 64, 11, ""},
    {kBytesDone, Kind::kText, 155, 65, 30, 10, ""},
    {kSeparator, Kind::kText, 190, 65, 8, 8, "/"},
    {kBytesTotal, Kind::kText, 203, 65, 31, 10, ""},
    {kBarFrame, Kind::kFrame, 33, 83, 206, 13, ""},
    {kAbortButton, Kind::kButton, 92, 113, 90, 14, "中断"},
    {kPollingText, Kind::kText, 90, 43, 105, 10, "ポーリング中・・・"},
};

// The control with id `id` (one of the above).
constexpr const Control& control(int id) {
    for (const Control& c : kControls)
        if (c.id == id) return c;
    return kControls[0];
}

// The controls shown for a transfer and hidden while polling.
inline constexpr int kTransferFields[] = {kFileName, kBytesDone, kSeparator, kBytesTotal, kBar};

// The operation text of window type `type` (0-7); empty for any other.
inline const char* operationText(int type) {
    static constexpr const char* kTexts[] = {
        "ファイルのアップロードを行っています。",
        "ファイルのダウンロードを行っています。",
        "ＡＰのインストールを行っています。",
        "ＯＳのインストールを行っています。",
        "複数ファイルのアップロードを行っています。",
        "複数ファイルのダウンロードを行っています。",
        "複合コマンド複数ファイルアップロードを行っています。",
        "複合コマンド複数ファイルダウンロードを行っています。",
    };
    return type >= 0 && type < 8 ? kTexts[type] : "";
}

// The polling window types show the polling text instead of the transfer fields.
inline bool showsTransferFields(int type) {
    return type != 6 && type != 7;
}

// Bytes done of bytes total as a bar position 0-100; 0 when there is no total.
inline int barPosition(int32_t done, int32_t total) {
    if (total <= 0) return 0;
    const int64_t percent = static_cast<int64_t>(done) * 100 / total;
    return static_cast<int>(percent < 0 ? 0 : percent > 100 ? 100 : percent);
}

}  // namespace vsk::host::layout
