// What the auto tools' tests write and compare: terminal masks and job files.
#pragma once

#include <QString>
#include <initializer_list>
#include <string>

namespace vsk::testing {

// The HT mask selecting exactly `terminals`.
inline QString maskOf(std::initializer_list<int> terminals) {
    QString mask(128, QLatin1Char('0'));
    for (int t : terminals) mask[t - 1] = QLatin1Char('1');
    return mask;
}

// Lines ended by CR LF, as the job files are written.
inline std::string fileText(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) text += std::string(line) + "\r\n";
    return text;
}

}  // namespace vsk::testing
