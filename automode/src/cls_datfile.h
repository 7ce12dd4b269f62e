// A download job's file list: up to 128 names, each a PC path or a path whose
// last part holds the wildcards "*" and "?". Each time a terminal answers,
// the list is expanded afresh into the files to send, so a file that appears
// between two terminals goes to the later one.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace vsk::ui {

class ClsDatFile {
  public:
    static constexpr int kMaxFiles = 128;

    // Stores `name` without surrounding blanks (an empty name too): 0, or -1
    // when 128 names are held already.
    int32_t FileTblAdd(const QString& name);
    void FileTblClr();
    // Expands the names, up to the first empty one and at most 128 files;
    // returns how many there are.
    int32_t GetDownFileArrange();
    // Expanded file `i`; empty out of range.
    QString filename(int32_t i) const;
    // Its length now; 0 out of range or when it cannot be read.
    int32_t filesize(int32_t i) const;

  private:
    QStringList names_;
    QStringList expanded_;
};

}  // namespace vsk::ui
