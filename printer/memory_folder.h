#pragma once

#include "render/label_render.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// The printer's memory on disk (--memory DIR), so that it lasts across restarts:
//   DIR/forms/NAME.form   one file per stored form; NAME is the form's name with every byte other than
//                         A-Z, a-z, 0-9, - and _ written as %XX, so that any name is a safe file name
//   DIR/settings.epl      the settings as the EPL2 lines that set them (q, Q, D, S, ...)
// Kinds of stored things a printer may add later (graphics, fonts) get folders of their own beside forms/.
// A form file holds the form's lines as received, one per line, each after the number of the stream line
// that stored it and a blank. Files are replaced whole (written aside, then renamed), so a file is never
// left half written.
class MemoryFolder
{
public:
    explicit MemoryFolder(const QString& path);

    // Reads what the folder holds into `memory` (the folder is made when missing). Returns the cause when the
    // folder cannot be used; what a file holds that cannot be read is added to `problems` and left out.
    QString load(PrinterMemory& memory, QStringList& problems);
    // Writes what changed since the last load or save; the causes of what could not be written.
    QStringList save(const PrinterMemory& memory);

    static QByteArray fileNameOf(const QByteArray& formName);
    static QByteArray settingsText(const PrinterSettings& settings);

private:
    QString m_path;
    QHash<QByteArray, QByteArray> m_forms; // form name to the file text last written or read
    QByteArray m_settings;
};
