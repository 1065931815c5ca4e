#include "protocol/epl2_status.h"

#include "common/safe_text.h"

#include <algorithm>

namespace {

// The error and status codes of the EPL2 programmer's manual, in its words.
struct CodeMeaning
{
    int code;
    const char* words;
};
constexpr CodeMeaning kCodeMeanings[] = {
    {0, "no error"},
    {1, "syntax error"},
    {2, "object exceeded label border"},
    {3, "bar code data length error"},
    {4, "insufficient memory to store data"},
    {5, "memory configuration error"},
    {6, "RS-232 interface error"},
    {7, "paper or ribbon empty"},
    {8, "duplicate name: form, graphic or soft font"},
    {9, "name not found: form, graphic or soft font"},
    {10, "not in data entry mode"},
    {11, "print head up"},
    {12, "pause key selected"},
    {50, "printer busy, processing a print job"},
};

QByteArray twoDigits(int code)
{
    return QByteArray::number(code).rightJustified(2, '0');
}

} // namespace

PrinterStatus statusOf(PrinterStatus::State state, const QString& text)
{
    PrinterStatus result;
    result.state = state;
    result.text = text;
    return result;
}

PrinterStatus notAStatus(const QByteArray& answer)
{
    return statusOf(PrinterStatus::State::Unknown,
                    QStringLiteral("the printer answered %1, which is not a status")
                        .arg(quotedForMessage(QString::fromLatin1(answer), kShownValueLength)));
}

QString statusCodeMeaning(int code)
{
    for (const CodeMeaning& each : kCodeMeanings) {
        if (each.code == code)
            return QString::fromLatin1(each.words);
    }
    return QStringLiteral("an error the manual does not list");
}

QString statusCodeText(int code)
{
    return QStringLiteral("%1: %2").arg(code, 2, 10, QLatin1Char('0')).arg(statusCodeMeaning(code));
}

QString silentPrinterReason()
{
    return QStringLiteral("the printer did not answer: it may not report status on this connection");
}

QString unknownMeaning()
{
    return QStringLiteral("\"unknown\" means the printer could not tell, not that it failed: the job may "
                          "well have printed");
}

QString statusStateName(PrinterStatus::State state)
{
    switch (state) {
    case PrinterStatus::State::Ready:
        return QStringLiteral("ready");
    case PrinterStatus::State::Fault:
        return QStringLiteral("fault");
    case PrinterStatus::State::Unknown:
        return QStringLiteral("unknown");
    case PrinterStatus::State::Failed:
        break;
    }
    return QStringLiteral("could not be asked");
}

QString statusLine(const QString& name, const PrinterStatus& status)
{
    QString line = QStringLiteral("%1: %2: %3").arg(name, statusStateName(status.state), status.text);
    if (status.state == PrinterStatus::State::Unknown)
        line += QStringLiteral(" (%1)").arg(unknownMeaning());
    return line;
}

bool statusAnswerComplete(const QByteArray& bytes)
{
    // A line end after something other than line ends and flow-control bytes.
    bool content = false;
    for (char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (content)
                return true;
        } else if (c != kXon && c != kXoff) {
            content = true;
        }
    }
    return false;
}

namespace {

// The codes of the notices (NAK and two digits) in `bytes`, which are taken out of it.
QList<int> takeNotices(QByteArray* bytes)
{
    QList<int> noticed;
    for (qsizetype nak; (nak = bytes->indexOf(kNak)) >= 0 && nak + 2 < bytes->size() &&
                        std::isdigit(uchar(bytes->at(nak + 1))) && std::isdigit(uchar(bytes->at(nak + 2)));) {
        noticed << bytes->mid(nak + 1, 2).toInt();
        bytes->remove(nak, 3);
    }
    return noticed;
}

} // namespace

bool hasErrorNotice(const QByteArray& bytes)
{
    QByteArray rest = bytes;
    return !takeNotices(&rest).isEmpty();
}

PrinterStatus statusFromAnswer(const QByteArray& answer)
{
    // A printer whose error reporting (US) is on may put a notice (NAK and a code) and ACKs before the answer,
    // or a notice in place of it.
    QByteArray rest = answer;
    const QList<int> noticed = takeNotices(&rest);
    rest.replace(kAck, QByteArray());
    QByteArray line;
    for (char c : std::as_const(rest)) {
        if (c == kXon || c == kXoff)
            continue;
        if ((c == '\r' || c == '\n')) {
            if (!line.isEmpty())
                break;
            continue;
        }
        line += c;
    }
    if (line.isEmpty() && std::all_of(noticed.begin(), noticed.end(), [](int code) { return code == 0; }))
        return statusOf(PrinterStatus::State::Unknown, silentPrinterReason());
    const QList<QByteArray> parts = line.isEmpty() ? QList<QByteArray>() : line.split(',');
    QList<int> codes;
    for (const QByteArray& part : parts) {
        if (part.size() != 2 || !std::isdigit(uchar(part[0])) || !std::isdigit(uchar(part[1]))) {
            return notAStatus(line);
        }
        codes << part.toInt();
    }
    codes += noticed;
    codes.removeAll(0);
    PrinterStatus result;
    if (codes.isEmpty()) {
        result.state = PrinterStatus::State::Ready;
        result.text = statusCodeText(0);
        return result;
    }
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    QStringList words;
    for (int code : codes)
        words << statusCodeText(code);
    result.state = PrinterStatus::State::Fault;
    result.codes = codes;
    result.text = words.join(QLatin1String("; "));
    return result;
}

QByteArray errorReport(QList<int> codes)
{
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    codes.removeAll(kNoError);
    if (codes.isEmpty())
        return "00\r\n";
    QByteArray text;
    for (int code : std::as_const(codes))
        text += (text.isEmpty() ? "" : ",") + twoDigits(code);
    return text + "\r\n";
}

QByteArray errorNotice(int code, bool stops)
{
    QByteArray notice = kNak + twoDigits(code);
    if (stops)
        notice += kXoff;
    return notice;
}
