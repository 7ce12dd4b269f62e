// An auto-mode job settings file (*.SIF): the download job in section
// "DOWNLOAD", the upload job in section "UPLOAD". Every read and write goes
// to the file at once. Reads with a range check return a fallback and set
// Err when the stored value is out of range; Err is never cleared by the
// class, so a caller tests it once after a group of reads.
#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>

namespace vsk::ui {

class ClsSetFile {
  public:
    bool Err() const { return err_; }
    void setErr(bool err) { err_ = err; }

    // `protype` 1 is the download job, any other value the upload job.
    QString GetPollingTout(int32_t protype);
    QString GetHTNO(int32_t protype);
    QString GetSkipMode();
    // Entry `index` (1 to 128) of the download files; empty outside that range.
    QString GetDownloadFile(int32_t index);
    QString GetUpFolder();
    QString GetSaveMode();
    QString GetResFile(int32_t protype);
    QString GetResMode(int32_t protype);
    // The terminals "HTID" selects, as 128 characters "0"/"1".
    QString GetHTNOArrange(int32_t protype);

    // Takes an absolute path (the file need not exist yet: writing creates
    // it); true when the file exists. Any other path is refused and the
    // object keeps the path it had.
    bool setfilename(const QString& path);

    // Numbers are written as their decimal digits; an empty value deletes the key.
    bool SetHTNO(int32_t protype, const QVariant& value);
    bool SetPollingTout(int32_t protype, const QVariant& value);
    bool SetResFile(int32_t protype, const QVariant& value);
    bool SetResMode(int32_t protype, const QVariant& value);
    bool SetSkipMode(const QVariant& value);
    // An invalid QVariant (nothing written) when `index` is outside 1 to 128.
    QVariant SetDownloadFile(int32_t index, const QVariant& value);
    bool SetUpFolder(const QVariant& value);
    bool SetSaveMode(const QVariant& value);

    QString path() const { return path_; }

  private:
    QString read(const QString& section, const QString& key) const;
    bool write(const QString& section, const QString& key, const QVariant& value);
    QString checked(const QString& section, const QString& key, double low, double high,
                    const QString& fallback);

    QString path_;
    bool err_ = false;
};

// The HT mask for an "HTID" list such as "1,3,5-10": ranges and single
// numbers, anything outside 1 to 128 ignored.
QString htMaskFor(const QString& list);
// True when `mask` selects at least one terminal: a job that selects none
// would poll nothing, for ever.
bool selectsATerminal(const QString& mask);

}  // namespace vsk::ui
