#pragma once

#include <QString>

// Makes the folder and any missing parents; the cause when it cannot ("it is not a folder", the system's
// reason).
QString makeFolder(const QString& path);
