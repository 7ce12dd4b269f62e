#include "file_table.h"

namespace vsk::ui {

QByteArray trimmedBlanks(const QByteArray& bytes) {
    qsizetype from = 0, to = bytes.size();
    while (from < to && bytes[from] == ' ') ++from;
    while (to > from && bytes[to - 1] == ' ') --to;
    return bytes.mid(from, to - from);
}

bool FileTable::add(const QByteArray& name, int32_t size) {
    return addUntrimmed(trimmedBlanks(name), size);
}

bool FileTable::addUntrimmed(const QByteArray& name, int32_t size) {
    if (count_ >= kCapacity) return false;
    entries_[static_cast<size_t>(count_)] = FileEntry{name, size};
    ++count_;
    return true;
}

bool FileTable::take(QByteArray* name, int32_t* size) {
    if (count_ == 0) return false;
    *name = entries_[0].Name;
    *size = entries_[0].Size;
    for (size_t i = 1; i < static_cast<size_t>(count_); ++i)
        entries_[i - 1] = std::move(entries_[i]);
    --count_;
    entries_[static_cast<size_t>(count_)] = FileEntry{};
    return true;
}

void FileTable::clear() {
    for (FileEntry& e : entries_) e = FileEntry{};
    count_ = 0;
}

}  // namespace vsk::ui
