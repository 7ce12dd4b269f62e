// A terminal's file store: one flat folder on the PC standing in for the
// terminal's memory. Only regular files directly in the folder are terminal
// files; names come off the line as raw bytes and are checked so that nothing
// outside the folder is ever touched.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vsk::htsim {

struct StoreEntry {
    std::string name;  // the file's name as bytes, at most 12
    int64_t size = 0;
};

struct StoreInfo {
    int64_t size = 0;
    std::string date;  // modification date, yymmdd (local time)
    std::string time;  // modification time, hhmmss
};

class Store {
  public:
    // An empty `dir` gives a terminal without files that refuses every change.
    explicit Store(std::string dir = {}) : dir_(std::move(dir)) {}

    // Creates the folder (and its parents) when missing. False with a reason on failure.
    bool prepare(std::string* error) const;

    // A 12-byte name field from a command, trailing blanks removed.
    static std::string nameFromField(std::span<const uint8_t> field);
    // True for names that address a file inside the folder and nothing else.
    static bool safeName(std::string_view name);

    // The terminal files, sorted by name. Files whose names cannot travel in a
    // 12-byte field are left out.
    std::vector<StoreEntry> list() const;
    std::optional<StoreInfo> info(std::string_view name) const;
    bool remove(std::string_view name) const;
    // Fails when `from` is missing or `to` exists.
    bool rename(std::string_view from, std::string_view to) const;

    const std::string& dir() const { return dir_; }

  private:
    int openDir() const;
    bool isRegular(int dirFd, const std::string& name) const;

    std::string dir_;
};

}  // namespace vsk::htsim
