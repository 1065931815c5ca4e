#include "printer/printer_window_library.h"

#include "common/optional_library.h"

namespace {

constexpr OptionalLibrary kWindowLibrary{kPrinterWindowFile,    kPrinterWindowVariable, kPrinterWindowEntryName,
                                         kPrinterWindowVersion, "the printer's window", "libQt6Widgets.so",
                                         "libqt6widgets6"};

// A label with more fields than this is described by its first ones and a count.
constexpr int kFieldsInWords = 20;

QString spanText(int first, int last)
{
    return first == last ? QString::number(first) : QStringLiteral("%1 to %2").arg(first).arg(last);
}

} // namespace

const PrinterWindowEntry* loadPrinterWindow(QString* failure)
{
    return loadOptionalEntry<PrinterWindowEntry>(kWindowLibrary, failure);
}

PrinterHost::~PrinterHost()
{
    m_printer.log().setListener(nullptr);
    m_printer.setLabelObserver(nullptr);
}

void PrinterHost::setEventListener(PrinterLog::Listener listener)
{
    m_printer.log().setListener(std::move(listener));
}

void PrinterHost::setLabelListener(LabelListener listener)
{
    if (!listener) {
        m_printer.setLabelObserver(nullptr);
        return;
    }
    m_printer.setLabelObserver([listener = std::move(listener)](quint64 number, const RenderedLabel& label) {
        QList<QRect> pastEdges;
        for (const EdgeOverrun& overrun : label.overruns) {
            const QRect ink = label.fields.at(overrun.field).ink;
            if (!pastEdges.contains(ink))
                pastEdges << ink;
        }
        listener(number, labelFieldsInWords(label), pastEdges);
    });
}

QString labelFieldsInWords(const RenderedLabel& label)
{
    QStringList words;
    const int shown = std::min(int(label.fields.size()), kFieldsInWords);
    for (int i = 0; i < shown; ++i) {
        const QRect& cells = label.fields.at(i).cells;
        words << QStringLiteral("%1 at x %2, y %3")
                     .arg(describeField(label, i), spanText(cells.left(), cells.right()),
                          spanText(cells.top(), cells.bottom()));
    }
    if (label.fields.size() > shown)
        words << QStringLiteral("%1 more fields").arg(label.fields.size() - shown);
    return words.isEmpty() ? QStringLiteral("no text fields") : words.join(QStringLiteral(", "));
}
