// Readable failures: GoogleTest finds these beside the Qt types and prints
// the texts, not their code units.
#pragma once

#include <QString>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
