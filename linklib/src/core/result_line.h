// The lines of the polling loops' result file and of the auto tools' history
// file: seven comma-separated fields,
//   kind,yy/MM/dd,HH:mm:ss,HT,name or word,number,text
// ending in CR LF. One formatter for both, so that a program reading either
// file reads the same layout.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vsk::result_line {

inline constexpr char kHead = 'H';  // a terminal's turn begins
inline constexpr char kFile = 'D';  // one file of it
inline constexpr char kEnd = 'F';   // how the turn ended
inline constexpr const char* kDownloadWord = "ダウンロード";
inline constexpr const char* kUploadWord = "アップロード";
inline constexpr const char* kStartText = "処理開始";
inline constexpr const char* kSuccessText = "正常終了";
inline constexpr const char* kLineEnd = "\r\n";

struct When {
    int year, month, day, hour, minute, second;
};

// One line without its end.
std::string format(char kind, const When& when, std::string_view ht, std::string_view field5,
                   std::string_view number, std::string_view text);

// At least four digits, the sign in front of them ("0003", "-0005", "6001").
std::string number(int32_t n);

// A terminal name (UTF-8) blank-filled to the 12 columns it takes on the
// line, where a double-byte character takes two; `cp932Bytes` is its length
// in CP932. A longer name is written whole.
std::string nameColumn(std::string_view utf8, size_t cp932Bytes);

// What became of one file of a batch: 未処理, 成功, 失敗, and for uploads 同名.
const char* outcomeWord(int32_t outcome, bool upload);

}  // namespace vsk::result_line
