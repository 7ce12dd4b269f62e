// The serial-line settings and the last PC folder, shared by the three tools
// through the per-user store (~/.config/MORVA/VESKA2.conf). Nothing is kept in
// memory: every get reads the store at that moment and every set writes it at
// once, so a value changed by one tool is seen by the others on their next read.
#pragma once

#include <QString>
#include <QVariant>

namespace vsk::ui {

// The number a text starts with: leading blanks (space, tab, CR, LF) are
// skipped, then an optional sign, digits and an optional decimal point with
// more digits are read, and whatever follows is ignored ("800x" is 800). There
// is no exponent, so every number the store writes reads back the same. A text
// that does not start with a number, or whose number a double cannot hold,
// reads as 0.
double leadingNumber(const QString& text);

// The text under which a value is stored: numbers in plain decimal digits
// (115200, never 1.152e+05), texts unchanged.
QString storedText(const QVariant& value);

// Number properties return a double, Parity and DefFolder a QString. A setter
// stores its argument's text form without checking it; the ranges are the
// settings dialog's business. Port is the one value checked on reading: one
// that is no port number (1 to 2147483647) reads as 0, which no caller opens,
// and a warning on stderr names the key, the stored text and the file.
class ClsReg {
  public:
    QVariant Port() const;
    void setPort(const QVariant& value);
    QVariant BaudRate() const;
    void setBaudRate(const QVariant& value);
    QVariant BiteSize() const;
    void setBiteSize(const QVariant& value);
    QVariant Parity() const;
    void setParity(const QVariant& value);
    QVariant StopBits() const;
    void setStopBits(const QVariant& value);
    QVariant timeout() const;
    void setTimeout(const QVariant& value);
    QVariant Retry() const;
    void setRetry(const QVariant& value);
    QVariant PollingTout() const;
    void setPollingTout(const QVariant& value);
    QVariant DefFolder() const;
    void setDefFolder(const QVariant& value);
};

}  // namespace vsk::ui
