#include "result_line.h"

#include <cstdio>
#include <cstdlib>

#include "veska.h"

namespace vsk::result_line {

std::string format(char kind, const When& when, std::string_view ht, std::string_view field5,
                   std::string_view number, std::string_view text) {
    char date[32];
    std::snprintf(date, sizeof date, "%02d/%02d/%02d,%02d:%02d:%02d", when.year % 100, when.month,
                  when.day, when.hour, when.minute, when.second);
    std::string line(1, kind);
    for (std::string_view field : {std::string_view(date), ht, field5, number, text}) {
        line += ',';
        line += field;
    }
    return line;
}

std::string number(int32_t n) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04lld", std::llabs(static_cast<long long>(n)));
    return (n < 0 ? "-" : "") + std::string(digits);
}

std::string nameColumn(std::string_view utf8, size_t cp932Bytes) {
    std::string column(utf8);
    if (cp932Bytes < VSK_NAME_WIDTH) column.append(VSK_NAME_WIDTH - cp932Bytes, ' ');
    return column;
}

const char* outcomeWord(int32_t outcome, bool upload) {
    switch (outcome) {
        case VSK_OUTCOME_NOT_PROCESSED:
            return "未処理";
        case VSK_OUTCOME_DONE:
            return "成功";
        case VSK_OUTCOME_FAILED:
            return "失敗";
        case VSK_OUTCOME_SAME_NAME:
            return upload ? "同名" : "";
        default:
            return "";
    }
}

}  // namespace vsk::result_line
