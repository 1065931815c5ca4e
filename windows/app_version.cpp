#include "windows/app_version.h"

#include "printing/label_settings.h"
#include "quorlex_version.h"

QString versionText(int major, int minor, int revision)
{
    return QStringLiteral("Ver%1.%2.%3").arg(plainDecimal(major), plainDecimal(minor), plainDecimal(revision));
}

QString applicationVersionText()
{
    return versionText(QUORLEX_VERSION_MAJOR, QUORLEX_VERSION_MINOR, QUORLEX_VERSION_PATCH);
}
