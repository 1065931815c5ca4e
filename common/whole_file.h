#pragma once

#include <QByteArrayView>
#include <QString>

// Files that appear under their own name only when every byte of them is on disk: they are written under a
// hidden name beside it (".NAME.part"), then renamed. A failure is given in the system's own words ("No
// space left on device"), and the hidden file is removed.

// Writes `bytes` into `path` whole or not at all; the cause when it cannot.
QString writeWholeFile(const QString& path, QByteArrayView bytes);

// A file written as its bytes arrive and renamed to its name when it is finished whole.
class GrowingFile
{
public:
    GrowingFile() = default;
    ~GrowingFile();
    GrowingFile(const GrowingFile&) = delete;
    GrowingFile& operator=(const GrowingFile&) = delete;

    // The cause when the hidden file cannot be made.
    QString open(const QString& path);
    // The cause when the bytes cannot all be written; the file is then given up (removed).
    QString append(QByteArrayView bytes);
    // Renames the file to its name; the cause when it cannot (the file is then removed).
    QString finish();
    // Removes what was written.
    void abandon();
    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return m_path; }

private:
    QString m_path;
    QString m_hidden;
    int m_fd = -1;
};

// For tests: from now on every write of these files fails with the errno value `error`, as it would on a full
// file system (ENOSPC); 0 lets writes through again.
void setInjectedWriteError(int error);
