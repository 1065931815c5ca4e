#pragma once

#include "common/file_writing.h"
#include "common/folders.h"
#include "render/label_render.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>

// The printer's memory on disk (--memory DIR), so that it lasts across restarts:
//   DIR/forms/NAME.form     one file per stored form (FS): its lines as received, one per line, each after the
//                           number of the stream line that stored it and a blank
//   DIR/graphics/NAME.png   one picture per stored graphic (GM), black where it prints
//   DIR/fonts/NAME.font     one file per stored soft font (ES): its data as received after ES"NAME"
//   DIR/settings.epl        the settings as the EPL2 lines that set them (q, Q, D, S, I, R, Z, J, O)
// In NAME every byte of the name other than A-Z, a-z, 0-9, - and _ is written as %XX, so that any name is a
// safe file name. Files are replaced whole (written aside, then renamed), so a file is never left half
// written.
class MemoryFolder
{
public:
    explicit MemoryFolder(const QString& path);

    // Reads what the folder holds into `memory` (the folders are made when missing). Returns the cause when the
    // folder cannot be used; what a file holds that cannot be read is added to `problems` and left out.
    QString load(PrinterMemory& memory, QStringList& problems);
    // Writes what changed since the last load or save; the causes of what could not be written.
    QStringList save(const PrinterMemory& memory);

    static QByteArray fileNameOf(const QByteArray& name, const char* suffix);
    static QByteArray settingsText(const PrinterSettings& settings);

private:
    template <typename Value, typename Write>
    static void saveKind(const QHash<QByteArray, Value>& now, QHash<QByteArray, Value>& written, const QString& folder,
                         const char* suffix, const Write& write, QStringList& problems);

    QString m_path;
    QHash<QByteArray, QByteArray> m_forms; // form name to the file text last written or read
    QHash<QByteArray, QImage> m_graphics;  // graphic name to the picture last written or read
    QHash<QByteArray, QByteArray> m_fonts; // soft font name to the data last written or read
    QByteArray m_settings;
};
