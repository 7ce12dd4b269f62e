// A download job's file list: up to 128 names, each a PC path or a path whose
// last part holds the wildcards "*" and "?". Each time a terminal answers,
// the list is expanded afresh into the files to send, so a file that appears
// between two terminals goes to the later one.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

#include "veska.h"

namespace vsk::ui {

// Why a PC file cannot be sent under its name, or "" when it can: a control
// character (a line break) would reach the terminal and split history lines,
// and a name that is not UTF-8 has no text that opens the file again.
QString pcFileNameProblem(const QString& path);

class ClsDatFile {
  public:
    static constexpr int kMaxFiles = VSK_MAX_FILES;

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
    // The files the last expansion left out because no transfer can carry
    // their names, each as "name（why）", printable.
    const QStringList& leftOut() const { return leftOut_; }

  private:
    void take(const QString& path);

    QStringList names_;
    QStringList expanded_;
    QStringList leftOut_;
};

}  // namespace vsk::ui
