#include "render/message_words.h"

#include <algorithm>

QString printableExcerpt(QByteArrayView bytes, int limit)
{
    QString text;
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        if (text.size() >= limit) {
            text += QLatin1String("...");
            break;
        }
        const uchar c = uchar(bytes[at]);
        if (c >= 0x20 && c < 0x7F)
            text += QLatin1Char(char(c));
        else
            text += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
    }
    return text;
}

QString hexBytes(QByteArrayView bytes, int limit)
{
    const QString shown =
        QString::fromLatin1(bytes.first(std::min<qsizetype>(bytes.size(), limit)).toByteArray().toHex(' ').toUpper());
    return bytes.size() > limit ? shown + QStringLiteral("...") : shown;
}
