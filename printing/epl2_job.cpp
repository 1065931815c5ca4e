#include "printing/epl2_job.h"

#include "printing/entry_rules.h"
#include "printing/presets.h"

#include "common/safe_text.h"

#include <QStringView>

#include <charconv>
#include <cmath>
#include <optional>

namespace {

// The value a fault names: one of the four field texts, or another setting.
struct Source
{
    std::optional<LabelField> field;
    JobSetting setting;
};
constexpr Source fieldText(LabelField field)
{
    return {field, JobSetting::Darkness};
}
constexpr Source setting(JobSetting setting)
{
    return {std::nullopt, setting};
}

// Every text line: "A" + X + "," + Y + kFieldTail + data (rotation, font, multipliers, normal print).
constexpr char kFieldTail[] = ",1,1,1,1,N,";

// The 1M job prints both fields this many dots lower than their Y positions.
constexpr int kOneMYShift = 10;

// The five-across job: ten text lines, Version then Item for each copy, placed by the panel offsets plus
// these bases. The X bases are not evenly spaced; the Y base is the same for every line.
struct FiveAcrossRow
{
    LabelField field; // Item or Version
    int xBase;
};
constexpr FiveAcrossRow kFiveAcrossRows[] = {
    {LabelField::Version, 16},  {LabelField::Item, 31},  // copy 1
    {LabelField::Version, 79},  {LabelField::Item, 94},  // copy 2
    {LabelField::Version, 144}, {LabelField::Item, 159}, // copy 3
    {LabelField::Version, 206}, {LabelField::Item, 223}, // copy 4
    {LabelField::Version, 272}, {LabelField::Item, 287}, // copy 5
};
constexpr int kFiveAcrossYBase = 30;

// A text that goes into the job, with the value it comes from.
struct BoxText
{
    QStringView text;
    Source source;
};

// Builds a job line by line. The first fault found becomes the cause; whatever is written after it is
// thrown away by finish(), so callers simply carry on and no half-built job ever leaves the composer.
class JobWriter
{
public:
    JobWriter() { m_bytes.reserve(512); }

    void fail(Source source, JobProblem problem, char32_t character = 0, int shift = 0, const QString& value = {})
    {
        if (!m_fault)
            m_fault = JobFault{source.field, source.setting, problem, character, shift, value};
    }

    void line(const char* ascii)
    {
        put(ascii);
        endLine();
    }
    void endLine()
    {
        m_bytes.append("\r\n", 2);
        ++m_lines;
    }

    // The line being written prints `field`.
    void printsField(LabelField field, int copy = 0) { m_fields << PrintedField{m_lines + 1, field, copy}; }

    void put(const char* ascii) { m_bytes.append(ascii); }
    void put(int value)
    {
        char buffer[16];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        m_bytes.append(buffer, result.ptr - buffer);
    }
    // An offset sum: shortest decimal form that reads back as the same double, never with an exponent
    // ("16", "13", "12.5").
    void put(double value, Source source)
    {
        if (!std::isfinite(value)) {
            fail(source, JobProblem::NotFinite);
            return;
        }
        char buffer[512]; // enough for every finite double in fixed notation
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
        if (result.ec != std::errc()) {
            fail(source, JobProblem::OutOfRange);
            return;
        }
        m_bytes.append(buffer, result.ptr - buffer);
    }
    // A text sent as it stands (no quotes around it).
    void put(const BoxText& text) { putText(text, false); }
    // A text inside double quotes, with " and \ escaped the way EPL2 reads them.
    void putQuoted(const BoxText& text)
    {
        m_bytes.append('"');
        putText(text, true);
        m_bytes.append('"');
    }

    // "A" + X + "," + Y + ",1,1,1,1,N,"; the caller writes the data and ends the line.
    template <typename X, typename Y> void textLineHead(const X& x, const Y& y)
    {
        put("A");
        put(x);
        put(",");
        put(y);
        put(kFieldTail);
    }

    ComposedJob finish()
    {
        if (m_fault)
            return ComposedJob{QByteArray(), m_fault, {}};
        return ComposedJob{m_bytes, std::nullopt, m_fields};
    }

private:
    // Only printable ASCII reaches the printer. A line break would end the command early and let the rest of
    // the text act as printer commands; other control characters (NUL, ESC, the XON/XOFF flow control bytes
    // on the serial line, DEL, and a tab, which the printer's fonts do not draw as a blank) are refused for
    // the same reason; characters outside ASCII cannot be printed by the printer's built-in fonts.
    void putText(const BoxText& boxText, bool quoted)
    {
        if (const auto refused = firstUnprintable(boxText.text)) {
            fail(boxText.source, refused->problem, refused->character);
            return;
        }
        for (const QChar c : boxText.text) {
            if (quoted && (c == u'"' || c == u'\\'))
                m_bytes.append('\\');
            m_bytes.append(char(c.unicode()));
        }
    }

    QByteArray m_bytes;
    std::optional<JobFault> m_fault;
    int m_lines = 0; // lines ended so far
    QList<PrintedField> m_fields;
};

// The 1M job reads ItemY as a 16-bit number; the other jobs send its trimmed text.
std::optional<qint16> itemYAsNumber(const QString& itemY, JobWriter& writer)
{
    const std::optional<qint16> value = textToInt16(itemY);
    if (!value) {
        bool isNumber = false;
        const double read = trimBlanks(itemY).toDouble(&isNumber);
        writer.fail(setting(JobSetting::ItemY),
                    isNumber && !std::isnan(read) ? JobProblem::OutOfRange : JobProblem::NotANumber);
    }
    return value;
}

qint16 plusShift(qint16 y, JobSetting position, JobWriter& writer)
{
    const std::optional<qint16> shifted = checkedAdd16(y, kOneMYShift);
    if (!shifted)
        writer.fail(setting(position), JobProblem::TooLargeAfterShift, 0, kOneMYShift);
    return shifted.value_or(0);
}

double offsetValue(const QString& offset, JobSetting panel, JobWriter& writer)
{
    bool isNumber = false;
    const double value = offset.toDouble(&isNumber);
    if (!isNumber)
        writer.fail(setting(panel), JobProblem::NotANumber);
    return value;
}

// "D" + the darkness text as typed: the same line in every job.
void darknessLine(JobWriter& w, const LabelSettings& s)
{
    w.put("D");
    w.put(BoxText{s.darkness, setting(JobSetting::Darkness)});
    w.endLine();
}

// "P" + the quantity text trimmed: every job ends with it and one empty line. The printer prints nothing for
// a quantity it cannot read, so one that is not a whole number it takes is refused here.
void quantityLine(JobWriter& w, const LabelSettings& s)
{
    const QString quantity = trimBlanks(s.quantity);
    if (!isQuantity(quantity))
        w.fail(setting(JobSetting::Quantity), JobProblem::NotAQuantity, 0, 0, quantity);
    w.put("P");
    w.put(BoxText{quantity, setting(JobSetting::Quantity)});
    w.endLine();
}

ComposedJob composeOneM(const LabelSettings& s)
{
    JobWriter w;
    const QString item = trimBlanks(s.item);
    const QString version = trimBlanks(s.version);

    w.line("N");
    darknessLine(w, s);
    w.line("S1");
    w.line("q48");
    w.put("Q38,");
    w.put(BoxText{trimBlanks(s.gap), setting(JobSetting::Gap)});
    w.endLine();

    const qint16 itemY = plusShift(itemYAsNumber(s.positions.ItemY, w).value_or(0), JobSetting::ItemY, w);
    w.printsField(LabelField::Item);
    w.textLineHead(int(s.positions.ItemX), int(itemY));
    w.putQuoted(BoxText{item, fieldText(LabelField::Item)});
    w.endLine();

    const qint16 verY = plusShift(s.positions.VerY, JobSetting::VersionY, w);
    w.printsField(LabelField::Version);
    w.textLineHead(int(s.positions.VerX), int(verY));
    w.putQuoted(BoxText{version, fieldText(LabelField::Version)});
    w.endLine();

    quantityLine(w, s);
    w.endLine();
    return w.finish();
}

ComposedJob composeTwoM(const LabelSettings& s)
{
    JobWriter w;
    const QString item = trimBlanks(s.item);
    const QString version = trimBlanks(s.version);
    const QString itemY = trimBlanks(s.positions.ItemY);

    w.line("N");
    darknessLine(w, s);
    w.line("q48");
    w.put("Q130,");
    w.put(BoxText{trimBlanks(s.gap), setting(JobSetting::Gap)});
    w.endLine();

    w.printsField(LabelField::Item);
    w.textLineHead(int(s.positions.ItemX), BoxText{itemY, setting(JobSetting::ItemY)});
    w.putQuoted(BoxText{item, fieldText(LabelField::Item)});
    w.endLine();
    w.printsField(LabelField::Version);
    w.textLineHead(int(s.positions.VerX), int(s.positions.VerY));
    w.putQuoted(BoxText{version, fieldText(LabelField::Version)});
    w.endLine();

    quantityLine(w, s);
    w.endLine();
    return w.finish();
}

ComposedJob composeFiveAcross(const LabelSettings& s)
{
    JobWriter w;
    const QString item = trimBlanks(s.item);
    const QString version = trimBlanks(s.version);

    w.line("N");
    darknessLine(w, s);
    w.line("q304");
    w.line("Q81,20");

    // Version is read first because the first line of the table prints it.
    const double versionX = offsetValue(s.VerXOffset, JobSetting::VersionXOffset, w);
    const double versionY = offsetValue(s.VerYOffset, JobSetting::VersionYOffset, w);
    const double itemX = offsetValue(s.ItemXOffset, JobSetting::ItemXOffset, w);
    const double itemY = offsetValue(s.ItemYOffset, JobSetting::ItemYOffset, w);

    int copy = 0;
    for (const FiveAcrossRow& row : kFiveAcrossRows) {
        const bool isItem = row.field == LabelField::Item;
        if (row.field == LabelField::Version) // each copy starts with its Version
            ++copy;
        w.printsField(row.field, copy);
        w.put("A");
        w.put((isItem ? itemX : versionX) + row.xBase,
              setting(isItem ? JobSetting::ItemXOffset : JobSetting::VersionXOffset));
        w.put(",");
        w.put((isItem ? itemY : versionY) + kFiveAcrossYBase,
              setting(isItem ? JobSetting::ItemYOffset : JobSetting::VersionYOffset));
        w.put(kFieldTail);
        w.putQuoted(BoxText{isItem ? item : version, fieldText(row.field)});
        w.endLine();
    }

    quantityLine(w, s);
    w.endLine();
    return w.finish();
}

// The data lines after "?" are not quoted: the printer takes each whole line as the value of the next
// variable, so a double quote or a backslash in them is an ordinary character and is sent as it is.
ComposedJob composeStoredForm(const LabelSettings& s)
{
    JobWriter w;
    const QString itemY = trimBlanks(s.positions.ItemY);
    const QString checksum = trimBlanks(s.checksum);
    const bool counter = checksum.isEmpty(); // no checksum: a four-digit counter from 0001 takes its place

    w.endLine();
    w.endLine();
    w.line("O");
    w.endLine();
    w.line("N");
    darknessLine(w, s);
    w.line("FK\"FIXEDAT0\"");
    w.line("FS\"FIXEDAT0\"");
    // One variable for each text, as wide as the longest text a field box takes.
    const auto variable = [&w](const char* name) {
        w.put(name);
        w.put(",");
        w.put(kFieldBoxMaxLength);
        w.line(",C,\"\"");
    };
    variable("V00");
    variable("V01");
    variable("V02");
    if (counter)
        w.line("C0,4,L,+1,\"\"");
    else
        variable("V03");
    w.put("Q");
    w.put(int(s.positions.LabelLength));
    w.put(",");
    w.put(BoxText{trimBlanks(s.gap), setting(JobSetting::Gap)});
    w.endLine();
    w.line("q150");

    // The form's text lines; the renderer reports a field of a recalled form by the line it was stored on.
    w.printsField(LabelField::Item);
    w.textLineHead(int(s.positions.ItemX), BoxText{itemY, setting(JobSetting::ItemY)});
    w.line("V00");
    w.printsField(LabelField::Version);
    w.textLineHead(int(s.positions.VerX), int(s.positions.VerY));
    w.line("V01");
    w.printsField(LabelField::Data);
    w.textLineHead(int(s.positions.DataX), int(s.positions.DataY));
    w.line("V02");
    w.printsField(LabelField::Checksum);
    w.textLineHead(int(s.positions.ChksumX), int(s.positions.ChksumY));
    w.line(counter ? "C0" : "V03");

    w.line("FE");
    w.endLine();
    w.line("FR\"FIXEDAT0\"");
    w.line("?");
    for (LabelField field : kLabelFields) {
        if (field == LabelField::Checksum && counter)
            w.put("0001");
        else
            w.put(BoxText{trimBlanks(s.text(field)), fieldText(field)});
        w.endLine();
    }
    quantityLine(w, s);
    w.endLine();
    return w.finish();
}

} // namespace

JobKind jobKindFor(const LabelSettings& settings)
{
    // With no size chosen the table gives the stored form, the job of the size the program starts with.
    const SizePreset& preset = presetFor(settings.size);
    return settings.fiveAcross == 0 ? preset.job : preset.fiveAcrossJob;
}

ComposedJob composeJob(const LabelSettings& settings)
{
    switch (jobKindFor(settings)) {
    case JobKind::OneM:
        return composeOneM(settings);
    case JobKind::TwoM:
        return composeTwoM(settings);
    case JobKind::TwoMFiveAcross:
        return composeFiveAcross(settings);
    case JobKind::StoredForm:
        break;
    }
    return composeStoredForm(settings);
}
