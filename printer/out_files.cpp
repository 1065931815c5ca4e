#include "printer/out_files.h"

#include <QRegularExpression>

#include <algorithm>

QString numberedFileName(const char* kind, quint64 number, const char* suffix)
{
    return QStringLiteral("%1-%2.%3")
        .arg(QLatin1String(kind))
        .arg(number, 6, 10, QLatin1Char('0'))
        .arg(QLatin1String(suffix));
}

void highestFileNumbers(const QDir& folder, quint64* label, quint64* stream)
{
    static const QRegularExpression name(QStringLiteral("^(label|stream)-(\\d{6,19})\\.(png|pdf|epl)$"));
    const QStringList files = folder.entryList(QDir::Files);
    for (const QString& file : files) {
        const QRegularExpressionMatch match = name.match(file);
        if (!match.hasMatch())
            continue;
        const quint64 number = match.captured(2).toULongLong();
        quint64* highest = match.captured(1) == QLatin1String("label") ? label : stream;
        *highest = std::max(*highest, number);
    }
}
