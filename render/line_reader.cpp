#include "render/line_reader.h"

#include "common/safe_text.h"
#include "render/epl2_commands.h"
#include "render/label_types.h"
#include "render/message_words.h"
#include "render/soft_fonts.h"

#include <algorithm>
#include <optional>

void LineReader::feed(QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        if (m_dataLeft > 0) {
            // Binary data of GW or GM: taken by count, whatever bytes it holds.
            const qsizetype n = std::min<qsizetype>(m_dataLeft, bytes.size());
            if (!m_dataSkipped)
                m_data.append(bytes.first(n));
            m_dataLeft -= n;
            bytes = bytes.sliced(n);
            if (m_dataLeft == 0 && m_softFont)
                m_dataLeft = softFontBytesWanted(m_data);
            if (m_dataLeft == 0)
                endData();
            continue;
        }
        if (m_afterData != 0) {
            // The line end after binary data belongs to it; a command may also follow at once.
            const char c = bytes.front();
            if (c == '\n' || (c == '\r' && m_afterData == 1))
                bytes = bytes.sliced(1);
            m_afterData = c == '\r' && m_afterData == 1 ? 2 : 0;
            continue;
        }
        if (mayBeGraphicHeader() || mayBeSoftFontHeader()) {
            // Byte by byte up to the fourth comma of a GW line or the closing quote of ES"name", after which
            // its data follows.
            const char c = bytes.front();
            bytes = bytes.sliced(1);
            if (c == '\n') {
                endLine();
                continue;
            }
            m_partial.append(c);
            if (c == ',' && m_partial.count(',') == 4 && m_partial.startsWith("GW"))
                startGraphicWrite();
            else if (m_partial.size() == 5 && m_partial.startsWith("ES\""))
                startSoftFont();
            continue;
        }
        const qsizetype end = bytes.indexOf('\n');
        const QByteArrayView part = end < 0 ? bytes : bytes.first(end);
        if (m_overlong) {
            m_overlongBytes += part.size();
        } else if (m_partial.size() + part.size() > kMaxLineBytes) {
            m_overlong = true;
            m_overlongBytes = m_partial.size() + part.size();
            m_overlongStart = m_partial.left(40) + part.first(std::min<qsizetype>(part.size(), 40)).toByteArray();
            m_partial.clear();
        } else {
            m_partial.append(part);
        }
        if (end < 0)
            return;
        endLine();
        bytes = bytes.sliced(end + 1);
    }
}

void LineReader::finish()
{
    if (m_dataLeft > 0 && m_softFont) {
        m_client.note(m_dataLine, QStringLiteral("the stream ends within the data of ES, after %1 of it; no font "
                                                 "is stored")
                                      .arg(counted(m_data.size(), "byte")));
    } else if (m_dataLeft > 0) {
        m_client.note(m_dataLine, QStringLiteral("the stream ends %1 before the end of the data of %2")
                                      .arg(counted(m_dataLeft, "byte"))
                                      .arg(QLatin1String(m_dataOf)));
    }
    if (m_dataLeft > 0) {
        m_dataLeft = 0;
        m_softFont = false;
        m_data.clear();
        m_partial.clear();
    }
    m_afterData = 0;
    if (!m_partial.isEmpty() || m_overlong)
        endLine();
}

void LineReader::expectData(qsizetype bytes, int number, bool skip, const char* what)
{
    m_dataIsGraphicWrite = false;
    m_softFont = false;
    m_dataOf = what;
    m_dataLine = number;
    m_dataSkipped = skip;
    m_dataLeft = bytes;
    m_data.clear();
}

bool LineReader::mayBeGraphicHeader() const
{
    if (!m_client.takesGraphicHeaders() || m_overlong || m_notHeader || m_partial.size() >= 48)
        return false;
    return m_partial.size() >= 2 ? m_partial.startsWith("GW") : QByteArrayView("GW").startsWith(m_partial);
}

bool LineReader::mayBeSoftFontHeader() const
{
    if (!m_client.takesGraphicHeaders() || m_overlong || m_notHeader || m_partial.size() >= 5)
        return false;
    return m_partial.size() >= 3 ? m_partial.startsWith("ES\"") : QByteArrayView("ES\"").startsWith(m_partial);
}

// ES"name" has arrived, a line of its own: the font's data follows, whatever the name (which the client judges),
// so that the stream stays in step. One byte between the quotes; anything else is read as a line.
void LineReader::startSoftFont()
{
    if (m_partial[3] == '"' || m_partial[4] != '"') {
        m_notHeader = true;
        return;
    }
    m_dataLine = ++m_line;
    m_dataIsGraphicWrite = false;
    m_softFont = true;
    m_dataOf = "ES";
    m_dataSkipped = false;
    m_dataLeft = softFontBytesWanted(QByteArrayView());
    m_data.clear();
    const QByteArray header = std::exchange(m_partial, QByteArray());
    m_client.line(header, m_dataLine, false);
}

// The header of a GW line has arrived: its data follows.
void LineReader::startGraphicWrite()
{
    const std::optional<qsizetype> size = graphicDataSize(m_partial);
    if (!size) {
        m_notHeader = true; // read as a line, and noted as one that is not understood
        return;
    }
    m_dataLine = ++m_line;
    m_dataIsGraphicWrite = true;
    m_dataOf = "GW";
    m_dataSkipped = m_client.graphicHeader(m_partial, m_dataLine);
    m_dataLeft = *size;
    m_data.clear();
}

void LineReader::endData()
{
    m_afterData = 1;
    m_softFont = false;
    QByteArray data = std::exchange(m_data, QByteArray());
    if (m_dataIsGraphicWrite) {
        const QByteArray line = std::exchange(m_partial, QByteArray()) + data;
        m_notHeader = false;
        if (!m_dataSkipped)
            m_client.line(line, m_dataLine, true);
        return;
    }
    if (!m_dataSkipped)
        m_client.data(std::move(data), m_dataLine);
}

void LineReader::endLine()
{
    ++m_line;
    if (m_overlong) {
        m_client.note(m_line, QStringLiteral("%1: the line is %2 bytes long; a command line has at most %3")
                                  .arg(printableExcerpt(m_overlongStart))
                                  .arg(m_overlongBytes)
                                  .arg(kMaxLineBytes));
        m_overlong = false;
        m_overlongStart.clear();
        m_overlongBytes = 0;
        return;
    }
    QByteArrayView text(m_partial);
    if (text.endsWith('\r'))
        text.chop(1);
    m_client.line(text, m_line, false);
    m_partial.clear();
    m_notHeader = false;
}
