// File helpers the soak programs share: contents that differ per name and
// version, writing a terminal's file in one step, and listing a folder.
#pragma once

#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vsk::bench {

// Printable lines, as terminals' data files are, different per name and version.
inline std::string contentOf(const std::string& name, int version, size_t base) {
    uint32_t x = 2166136261u;
    for (char c : name) x = (x ^ static_cast<unsigned char>(c)) * 16777619u;
    x ^= static_cast<uint32_t>(version) * 2654435761u;
    std::string s(base + static_cast<size_t>(version % 50), '\0');
    for (size_t i = 0; i < s.size(); ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = i % 64 == 63 ? '\n' : static_cast<char>('A' + x % 26);
    }
    return s;
}

inline void writeAtomically(const std::string& folder, const std::string& name,
                            const std::string& content) {
    // The temporary name is too long to be a terminal file, so the simulator never lists it.
    const std::string temp = folder + "/.soak-writing-" + name;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    std::filesystem::rename(temp, folder + "/" + name);
}

inline std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        ::closedir(d);
    }
    return names;
}

}  // namespace vsk::bench
