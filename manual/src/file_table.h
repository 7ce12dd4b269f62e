// The queue of files that carries the user's selection into an operation: at
// most 128 entries, taken from the front in the order they were added. Names
// are the bytes the library is given: a PC path in UTF-8 or a terminal file
// name in CP932.
#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>

#include "veska.h"

namespace vsk::ui {

struct FileEntry {
    QByteArray Name;
    int32_t Size = 0;
};

class FileTable {
  public:
    static constexpr int kCapacity = VSK_MAX_FILES;

    // Stores `name` without its surrounding blanks; false when the table is full.
    bool add(const QByteArray& name, int32_t size);
    // Stores `name` as it is (a listing's blank-filled name).
    bool addUntrimmed(const QByteArray& name, int32_t size);
    // Moves the first entry out; false when the table is empty (outputs untouched).
    bool take(QByteArray* name, int32_t* size);
    void clear();

    int count() const { return count_; }
    const FileEntry& at(int i) const { return entries_[static_cast<size_t>(i)]; }

  private:
    std::array<FileEntry, kCapacity> entries_;
    int count_ = 0;
};

// `bytes` without leading and trailing blanks.
QByteArray trimmedBlanks(const QByteArray& bytes);

}  // namespace vsk::ui
