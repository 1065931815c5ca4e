#include "printer/printer_status.h"

#include "quorlex_version.h"

#include <algorithm>

namespace {

// Kilobytes with one decimal, as the form memory line gives them: "012.5".
QByteArray kilobytes(qint64 bytes)
{
    const qint64 tenths = bytes * 10 / 1024;
    return QByteArray::number(tenths / 10).rightJustified(3, '0') + '.' + QByteArray::number(tenths % 10);
}

} // namespace

QByteArray configurationReport(const ConfigurationFacts& facts)
{
    const PrinterSettings& s = facts.settings;
    QByteArray text;
    const auto line = [&text](const QByteArray& each) { text += each + "\r\n"; };
    line("QUORLEX-LP      V" + QByteArray::number(QUORLEX_VERSION_MAJOR) + '.' +
         QByteArray::number(QUORLEX_VERSION_MINOR) + '.' + QByteArray::number(QUORLEX_VERSION_PATCH));
    line("Serial port:96,N,8,1");
    line("Image buffer size:0512K");
    line("Fmem:" + kilobytes(facts.formBytes) + "K," +
         kilobytes(std::max<qint64>(0, facts.formCapacity - facts.formBytes)) + "K avl");
    // Graphics at one bit per dot, as the printer keeps them.
    const qint64 graphicKb = (facts.graphicDots / 8 + 1023) / 1024;
    const qint64 freeKb = std::max<qint64>(0, facts.graphicCapacity - facts.graphicDots) / 8 / 1024;
    line("Gmem:" + QByteArray::number(graphicKb).rightJustified(3, '0') + "K," +
         QByteArray::number(freeKb).rightJustified(4, '0') + "K avl");
    // Soft fonts by the bytes of their data, as they were sent.
    const qint64 fontKb = (facts.fontBytes + 1023) / 1024;
    const qint64 fontFreeKb = std::max<qint64>(0, facts.fontCapacity - facts.fontBytes) / 1024;
    line("Emem:" + QByteArray::number(fontKb).rightJustified(3, '0') + "K," +
         QByteArray::number(fontFreeKb).rightJustified(4, '0') + "K avl");
    line(characterSetLine(s.codePage) + ",001 rY J" + s.formBackup + " WY");
    line("S" + QByteArray::number(s.speed) + " D" + QByteArray::number(s.density) + " R" +
         QByteArray::number(s.reference.x()).rightJustified(3, '0') + ',' +
         QByteArray::number(s.reference.y()).rightJustified(3, '0') + (s.bottomFirst ? " ZB " : " ZT ") +
         (facts.reporting ? "US" : "UN"));
    QByteArray media = "q" + QByteArray::number(s.width.value_or(kHeadWidthDots)) + " Q" +
                       QByteArray::number(s.length.value_or(0)) + ',' + s.gap;
    if (s.offset != 0)
        media += ',' + QByteArray::number(s.offset);
    line(media);
    line("Option:" + s.options);
    return text;
}
