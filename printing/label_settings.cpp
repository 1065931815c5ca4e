#include "printing/label_settings.h"

#include <cmath>
#include <utility>

QString plainDecimal(qint64 value)
{
    return QString::number(value);
}

QString trimBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

std::optional<qint16> checkedAdd16(qint16 a, int b)
{
    const qint64 sum = qint64(a) + qint64(b);
    if (sum < -32768 || sum > 32767)
        return std::nullopt;
    return qint16(sum);
}

std::optional<qint16> textToInt16(const QString& text)
{
    bool ok = false;
    const double value = trimBlanks(text).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // default rounding mode: halves to even
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return qint16(rounded);
}

QString& LabelSettings::text(LabelField field)
{
    return const_cast<QString&>(std::as_const(*this).text(field));
}

const QString& LabelSettings::text(LabelField field) const
{
    switch (field) {
    case LabelField::Item:
        return item;
    case LabelField::Version:
        return version;
    case LabelField::Data:
        return data;
    case LabelField::Checksum:
        break;
    }
    return checksum;
}
