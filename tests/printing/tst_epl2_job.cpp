#include "printing/epl2_job.h"
#include "printing/presets.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <initializer_list>
#include <optional>
#include <set>
#include <utility>
#include <vector>

Q_DECLARE_METATYPE(LabelSettings)
Q_DECLARE_METATYPE(JobKind)

namespace {

QByteArray crlfLines(std::initializer_list<const char*> lines)
{
    QByteArray out;
    for (const char* line : lines)
        out.append(line).append("\r\n");
    return out;
}

// Line n (1-based) of a job, without its CR LF; a null array when there is no such line.
QByteArray lineOf(const QByteArray& job, int n)
{
    const QList<QByteArray> lines = job.split('\n');
    if (n < 1 || n >= lines.size())
        return QByteArray();
    return lines.at(n - 1).chopped(1);
}

// The settings of the stored-form example: 3M positions, Checksum empty.
LabelSettings storedFormExample()
{
    LabelSettings s;
    s.size = LabelSize::M3;
    s.darkness = QStringLiteral("8");
    s.gap = QStringLiteral("24");
    s.quantity = QStringLiteral("2");
    s.item = QStringLiteral("AB1234");
    s.version = QStringLiteral("V1");
    s.data = QStringLiteral("0623");
    s.positions = LabelPositions{100, QStringLiteral("0"), 85, 0, 70, 0, 55, 0, 86};
    return s;
}

LabelSettings oneMExample()
{
    LabelSettings s;
    s.size = LabelSize::M1;
    s.darkness = QStringLiteral("8");
    s.gap = QStringLiteral("24");
    s.quantity = QStringLiteral("1");
    s.item = QStringLiteral("AB1234");
    s.version = QStringLiteral("V1");
    s.positions = LabelPositions{32, QStringLiteral("10"), 17, 10, 0, 0, 0, 0, 41};
    return s;
}

LabelSettings twoMExample()
{
    LabelSettings s = oneMExample();
    s.size = LabelSize::M2;
    s.gap = QStringLiteral("8");
    s.positions = LabelPositions{30, QStringLiteral("16"), 15, 16, 0, 0, 0, 0, 86};
    return s;
}

LabelSettings fiveAcrossExample()
{
    LabelSettings s = twoMExample();
    s.fiveAcross = 1;
    return s;
}

const QByteArray kStoredFormExampleJob = crlfLines({"",
                                                    "",
                                                    "O",
                                                    "",
                                                    "N",
                                                    "D8",
                                                    "FK\"FIXEDAT0\"",
                                                    "FS\"FIXEDAT0\"",
                                                    "V00,6,C,\"\"",
                                                    "V01,6,C,\"\"",
                                                    "V02,6,C,\"\"",
                                                    "C0,4,L,+1,\"\"",
                                                    "Q86,24",
                                                    "q150",
                                                    "A100,0,1,1,1,1,N,V00",
                                                    "A85,0,1,1,1,1,N,V01",
                                                    "A70,0,1,1,1,1,N,V02",
                                                    "A55,0,1,1,1,1,N,C0",
                                                    "FE",
                                                    "",
                                                    "FR\"FIXEDAT0\"",
                                                    "?",
                                                    "AB1234",
                                                    "V1",
                                                    "0623",
                                                    "0001",
                                                    "P2",
                                                    ""});

// The texts that can carry a fault, and the heading that names each in a cause.
enum class Box { Darkness, Gap, Quantity, Item, Version, Data, Checksum, ItemYText };

const char* heading(Box box)
{
    switch (box) {
    case Box::Darkness:
        return "Darkness";
    case Box::Gap:
        return "Gap";
    case Box::Quantity:
        return "Quantity";
    case Box::Item:
        return "Item";
    case Box::Version:
        return "Version";
    case Box::Data:
        return "Date";
    case Box::Checksum:
        return "Checksum";
    case Box::ItemYText:
        return "Item Y position";
    }
    return "";
}

QString& textOf(LabelSettings& s, Box box)
{
    switch (box) {
    case Box::Darkness:
        return s.darkness;
    case Box::Gap:
        return s.gap;
    case Box::Quantity:
        return s.quantity;
    case Box::Item:
        return s.item;
    case Box::Version:
        return s.version;
    case Box::Data:
        return s.data;
    case Box::Checksum:
        return s.checksum;
    case Box::ItemYText:
        break;
    }
    return s.positions.ItemY;
}

// Which texts each job sends. The 1M job converts ItemY to a number, so its text is not sent.
std::vector<Box> textsSentBy(JobKind kind)
{
    switch (kind) {
    case JobKind::OneM:
        return {Box::Darkness, Box::Gap, Box::Item, Box::Version, Box::Quantity};
    case JobKind::TwoM:
        return {Box::Darkness, Box::Gap, Box::ItemYText, Box::Item, Box::Version, Box::Quantity};
    case JobKind::TwoMFiveAcross:
        return {Box::Darkness, Box::Item, Box::Version, Box::Quantity};
    case JobKind::StoredForm:
        break;
    }
    return {Box::Darkness, Box::Gap, Box::ItemYText, Box::Item, Box::Version, Box::Data, Box::Checksum, Box::Quantity};
}

int lineCount(JobKind kind)
{
    switch (kind) {
    case JobKind::OneM:
        return 9;
    case JobKind::TwoM:
        return 8;
    case JobKind::TwoMFiveAcross:
        return 16;
    case JobKind::StoredForm:
        break;
    }
    return 28;
}

bool sendable(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() > 0x7E || c.unicode() < 0x20)
            return false;
    }
    return true;
}

// A text line "A<x>,<y>,1,1,1,1,N,<data>", split up; data unescaped when quoted. Empty when malformed.
struct TextLine
{
    QByteArray x;
    QByteArray y;
    QByteArray data;
};

std::optional<TextLine> parseTextLine(const QByteArray& line, bool quoted)
{
    static const QByteArray tail(",1,1,1,1,N,");
    if (!line.startsWith('A'))
        return std::nullopt;
    const qsizetype xEnd = line.indexOf(',');
    const qsizetype tailAt = line.indexOf(tail, xEnd + 1);
    if (xEnd < 0 || tailAt < 0)
        return std::nullopt;
    TextLine parsed{line.mid(1, xEnd - 1), line.mid(xEnd + 1, tailAt - xEnd - 1), line.mid(tailAt + tail.size())};
    if (!quoted)
        return parsed;
    const QByteArray& raw = parsed.data;
    if (raw.size() < 2 || !raw.startsWith('"') || !raw.endsWith('"'))
        return std::nullopt;
    QByteArray data;
    for (qsizetype i = 1; i < raw.size() - 1; ++i) {
        if (raw[i] == '"')
            return std::nullopt; // an unescaped quote would end the field early
        if (raw[i] == '\\') {
            if (++i == raw.size() - 1)
                return std::nullopt; // the closing quote is escaped
        }
        data.append(raw[i]);
    }
    parsed.data = data;
    return parsed;
}

QByteArray ascii(const QString& text)
{
    return text.toLatin1();
}

const char* kindName(JobKind kind)
{
    switch (kind) {
    case JobKind::OneM:
        return "1M";
    case JobKind::TwoM:
        return "2M";
    case JobKind::TwoMFiveAcross:
        return "2M five-across";
    case JobKind::StoredForm:
        break;
    }
    return "stored form";
}

} // namespace

class TestEpl2Job : public QObject
{
    Q_OBJECT

private slots:
    void jobKind_data();
    void jobKind();
    void workedExamples_data();
    void workedExamples();
    void lines_data();
    void lines();
    void failures_data();
    void failures();
    void unusedInputsChangeNothing_data();
    void unusedInputsChangeNothing();
    void escaping_data();
    void escaping();
    void refusedCharacters_data();
    void refusedCharacters();
    void randomizedRoundTrip();
    void printedFields_data();
    void printedFields();

private:
    void verifyLine();
    void verifyFailure();
};

void TestEpl2Job::jobKind_data()
{
    QTest::addColumn<LabelSize>("size");
    QTest::addColumn<int>("fiveAcross");
    QTest::addColumn<JobKind>("kind");
    QTest::addRow("1M") << LabelSize::M1 << 0 << JobKind::OneM;
    QTest::addRow("1M, five-across on") << LabelSize::M1 << 1 << JobKind::OneM;
    QTest::addRow("2M") << LabelSize::M2 << 0 << JobKind::TwoM;
    QTest::addRow("2M, five-across 1") << LabelSize::M2 << 1 << JobKind::TwoMFiveAcross;
    QTest::addRow("2M, five-across 2 (grey)") << LabelSize::M2 << 2 << JobKind::TwoMFiveAcross;
    QTest::addRow("3M, five-across on") << LabelSize::M3 << 1 << JobKind::StoredForm;
    QTest::addRow("6M, five-across on") << LabelSize::M6 << 1 << JobKind::StoredForm;
    QTest::addRow("9M") << LabelSize::M9 << 0 << JobKind::StoredForm;
    QTest::addRow("no size") << LabelSize::None << 1 << JobKind::StoredForm;
}

void TestEpl2Job::jobKind()
{
    QFETCH(LabelSize, size);
    QFETCH(int, fiveAcross);
    QFETCH(JobKind, kind);
    LabelSettings s;
    s.size = size;
    s.fiveAcross = fiveAcross;
    QCOMPARE(jobKindFor(s), kind);
}

void TestEpl2Job::workedExamples_data()
{
    QTest::addColumn<LabelSettings>("settings");
    QTest::addColumn<QByteArray>("job");

    QTest::addRow("stored form, 3M") << storedFormExample() << kStoredFormExampleJob;

    LabelSettings checksum = storedFormExample();
    checksum.checksum = QStringLiteral("57");
    QByteArray checksumJob = kStoredFormExampleJob;
    checksumJob.replace("C0,4,L,+1,\"\"", "V03,6,C,\"\"")
        .replace("A55,0,1,1,1,1,N,C0", "A55,0,1,1,1,1,N,V03")
        .replace("\r\n0001\r\n", "\r\n57\r\n");
    QTest::addRow("stored form, Checksum 57") << checksum << checksumJob;

    QTest::addRow("1M") << oneMExample()
                        << crlfLines({"N", "D8", "S1", "q48", "Q38,24", "A32,20,1,1,1,1,N,\"AB1234\"",
                                      "A17,20,1,1,1,1,N,\"V1\"", "P1", ""});
    QTest::addRow("2M") << twoMExample()
                        << crlfLines({"N", "D8", "q48", "Q130,8", "A30,16,1,1,1,1,N,\"AB1234\"",
                                      "A15,16,1,1,1,1,N,\"V1\"", "P1", ""});
    QTest::addRow("2M five-across") << fiveAcrossExample()
                                    << crlfLines({"N", "D8", "q304", "Q81,20", "A16,30,1,1,1,1,N,\"V1\"",
                                                  "A31,30,1,1,1,1,N,\"AB1234\"", "A79,30,1,1,1,1,N,\"V1\"",
                                                  "A94,30,1,1,1,1,N,\"AB1234\"", "A144,30,1,1,1,1,N,\"V1\"",
                                                  "A159,30,1,1,1,1,N,\"AB1234\"", "A206,30,1,1,1,1,N,\"V1\"",
                                                  "A223,30,1,1,1,1,N,\"AB1234\"", "A272,30,1,1,1,1,N,\"V1\"",
                                                  "A287,30,1,1,1,1,N,\"AB1234\"", "P1", ""});
}

void TestEpl2Job::workedExamples()
{
    QFETCH(LabelSettings, settings);
    QFETCH(QByteArray, job);
    const ComposedJob composed = composeJob(settings);
    QCOMPARE(composed.cause(), QString());
    QVERIFY(composed.ok());
    QCOMPARE(composed.bytes, job);
}

// Single lines that the edge cases decide.
void TestEpl2Job::lines_data()
{
    QTest::addColumn<LabelSettings>("settings");
    QTest::addColumn<int>("line");
    QTest::addColumn<QByteArray>("expected");

    LabelSettings s = storedFormExample();
    s.checksum = QStringLiteral("   ");
    QTest::addRow("blank checksum: counter declared") << s << 12 << QByteArray("C0,4,L,+1,\"\"");
    QTest::addRow("blank checksum: counter printed") << s << 18 << QByteArray("A55,0,1,1,1,1,N,C0");
    QTest::addRow("blank checksum: counter starts at 0001") << s << 26 << QByteArray("0001");
    s.checksum = QStringLiteral(" 57 ");
    QTest::addRow("checksum trimmed") << s << 26 << QByteArray("57");

    s = storedFormExample();
    s.item.clear();
    QTest::addRow("stored form, empty Item") << s << 23 << QByteArray("");
    s.item = QStringLiteral(" A B ");
    QTest::addRow("stored form, inner blank kept, blanks trimmed") << s << 23 << QByteArray("A B");
    s.positions.ItemY = QStringLiteral(" 7 ");
    QTest::addRow("stored form, ItemY trimmed text") << s << 15 << QByteArray("A100,7,1,1,1,1,N,V00");
    s.darkness = QStringLiteral(" 8");
    QTest::addRow("stored form, darkness as typed") << s << 6 << QByteArray("D 8");
    s.gap = QStringLiteral(" 24 ");
    s.positions.LabelLength = -5;
    QTest::addRow("stored form, Q line") << s << 13 << QByteArray("Q-5,24");
    s.quantity = QStringLiteral(" 3 ");
    QTest::addRow("stored form, quantity trimmed") << s << 27 << QByteArray("P3");

    s = oneMExample();
    s.darkness = QStringLiteral(" 8");
    QTest::addRow("1M, darkness \" 8\"") << s << 2 << QByteArray("D 8");
    s.gap = QStringLiteral(" 24 ");
    QTest::addRow("1M, gap \" 24 \"") << s << 5 << QByteArray("Q38,24");
    s.gap = QStringLiteral("20.8");
    QTest::addRow("1M, gap \"20.8\" not converted") << s << 5 << QByteArray("Q38,20.8");
    s.gap.clear();
    QTest::addRow("1M, empty gap") << s << 5 << QByteArray("Q38,");
    s.quantity = QStringLiteral("007");
    QTest::addRow("1M, quantity with leading zeros") << s << 8 << QByteArray("P007");
    s.item.clear();
    QTest::addRow("1M, empty Item") << s << 6 << QByteArray("A32,20,1,1,1,1,N,\"\"");
    s.positions.VerY = 32757;
    QTest::addRow("1M, VerY 32757") << s << 7 << QByteArray("A17,32767,1,1,1,1,N,\"V1\"");
    s.positions.ItemY = QStringLiteral("32757");
    QTest::addRow("1M, ItemY 32757") << s << 6 << QByteArray("A32,32767,1,1,1,1,N,\"\"");
    s.positions.ItemY = QStringLiteral("-32768");
    QTest::addRow("1M, ItemY -32768") << s << 6 << QByteArray("A32,-32758,1,1,1,1,N,\"\"");
    s.positions.ItemY = QStringLiteral(" 12 ");
    QTest::addRow("1M, ItemY with blanks") << s << 6 << QByteArray("A32,22,1,1,1,1,N,\"\"");

    s = twoMExample();
    s.gap = QStringLiteral(" 8 ");
    QTest::addRow("2M, gap trimmed") << s << 4 << QByteArray("Q130,8");
    s.positions.ItemY = QStringLiteral(" 16 ");
    QTest::addRow("2M, ItemY trimmed, no 10 added") << s << 5 << QByteArray("A30,16,1,1,1,1,N,\"AB1234\"");
    s.item.clear();
    QTest::addRow("2M, empty Item") << s << 5 << QByteArray("A30,16,1,1,1,1,N,\"\"");
    s.positions.VerY = 32767;
    QTest::addRow("2M, VerY 32767") << s << 6 << QByteArray("A15,32767,1,1,1,1,N,\"V1\"");

    s = fiveAcrossExample();
    s.VerXOffset = QStringLiteral("-3");
    QTest::addRow("five-across, VerXOffset -3, copy 1") << s << 5 << QByteArray("A13,30,1,1,1,1,N,\"V1\"");
    QTest::addRow("five-across, VerXOffset -3, copy 2") << s << 7 << QByteArray("A76,30,1,1,1,1,N,\"V1\"");
    for (int line = 6; line <= 14; line += 2) {
        const int x = QList<int>{31, 94, 159, 223, 287}.at((line - 6) / 2);
        QTest::addRow("five-across, VerXOffset -3, Item line %d", line)
            << s << line << "A" + QByteArray::number(x) + ",30,1,1,1,1,N,\"AB1234\"";
    }
    s.ItemYOffset = QStringLiteral("-3.5");
    QTest::addRow("five-across, fractional sum") << s << 14 << QByteArray("A287,26.5,1,1,1,1,N,\"AB1234\"");
    s.ItemXOffset = QStringLiteral(" 4 ");
    QTest::addRow("five-across, offset with blanks") << s << 6 << QByteArray("A35,26.5,1,1,1,1,N,\"AB1234\"");
    s.VerYOffset = QStringLiteral("-30");
    QTest::addRow("five-across, sum 0") << s << 13 << QByteArray("A269,0,1,1,1,1,N,\"V1\"");
    s.darkness = QStringLiteral(" 8");
    QTest::addRow("five-across, darkness as typed") << s << 2 << QByteArray("D 8");
    s.item.clear();
    QTest::addRow("five-across, empty Item") << s << 6 << QByteArray("A35,26.5,1,1,1,1,N,\"\"");
    s.quantity = QStringLiteral(" 5");
    QTest::addRow("five-across, quantity trimmed") << s << 15 << QByteArray("P5");
}

void TestEpl2Job::lines()
{
    verifyLine();
}

// Composes the row's settings and compares one line of the job.
void TestEpl2Job::verifyLine()
{
    QFETCH(LabelSettings, settings);
    QFETCH(int, line);
    QFETCH(QByteArray, expected);
    const ComposedJob composed = composeJob(settings);
    QCOMPARE(composed.cause(), QString());
    QCOMPARE(lineOf(composed.bytes, line), expected);
    QCOMPARE(composed.bytes.count("\r\n"), lineCount(jobKindFor(settings)));
}

void TestEpl2Job::failures_data()
{
    QTest::addColumn<LabelSettings>("settings");
    QTest::addColumn<QString>("cause");

    LabelSettings s = oneMExample();
    s.positions.VerY = 32758;
    QTest::addRow("1M, VerY 32758") << s << "Version Y position: too large after adding 10";
    s = oneMExample();
    s.positions.ItemY = QStringLiteral("32758");
    QTest::addRow("1M, ItemY 32758") << s << "Item Y position: too large after adding 10";
    s.positions.ItemY = QStringLiteral("32768");
    QTest::addRow("1M, ItemY 32768") << s << "Item Y position: out of range";
    s.positions.ItemY = QStringLiteral("-32769");
    QTest::addRow("1M, ItemY -32769") << s << "Item Y position: out of range";
    s.positions.ItemY = QString();
    QTest::addRow("1M, ItemY empty") << s << "Item Y position: not a number";
    s.positions.ItemY = QStringLiteral("1O");
    QTest::addRow("1M, ItemY 1O") << s << "Item Y position: not a number";
    s.positions.ItemY = QStringLiteral("nan");
    QTest::addRow("1M, ItemY nan") << s << "Item Y position: not a number";
    s.positions.ItemY = QStringLiteral("32758");
    s.positions.VerY = 32758;
    QTest::addRow("1M, first fault wins") << s << "Item Y position: too large after adding 10";

    s = fiveAcrossExample();
    s.ItemXOffset = QStringLiteral("abc");
    QTest::addRow("five-across, ItemXOffset abc") << s << "Item X offset: not a number";
    s = fiveAcrossExample();
    s.ItemYOffset = QString();
    QTest::addRow("five-across, ItemYOffset empty") << s << "Item Y offset: not a number";
    s = fiveAcrossExample();
    s.VerXOffset = QStringLiteral("1e400");
    QTest::addRow("five-across, VerXOffset past double") << s << "Version X offset: not a number";
    s = fiveAcrossExample();
    s.VerYOffset = QStringLiteral("inf");
    QTest::addRow("five-across, VerYOffset inf") << s << "Version Y offset: not a finite number";
    s = fiveAcrossExample();
    s.ItemXOffset = QStringLiteral("nan");
    QTest::addRow("five-across, ItemXOffset nan") << s << "Item X offset: not a finite number";
}

void TestEpl2Job::failures()
{
    verifyFailure();
}

// Composes the row's settings and expects the row's cause and no bytes.
void TestEpl2Job::verifyFailure()
{
    QFETCH(LabelSettings, settings);
    QFETCH(QString, cause);
    const ComposedJob composed = composeJob(settings);
    QVERIFY(!composed.ok());
    QCOMPARE(composed.cause(), cause);
    QVERIFY(composed.bytes.isEmpty());
}

// Inputs a job does not read never change it, even when they hold something it would refuse.
void TestEpl2Job::unusedInputsChangeNothing_data()
{
    QTest::addColumn<LabelSettings>("base");
    QTest::addColumn<LabelSettings>("changed");

    const QString bad = QStringLiteral("1\r\nP999\u00e9");
    LabelSettings s = fiveAcrossExample();
    s.gap = bad;
    s.positions = LabelPositions{-32768, bad, 32767, 32767, 1, 2, 3, 4, 5};
    s.data = bad;
    s.checksum = bad;
    QTest::addRow("five-across: gap, positions, Data, Checksum") << fiveAcrossExample() << s;

    for (const LabelSettings& base : {oneMExample(), twoMExample()}) {
        s = base;
        s.data = bad;
        s.checksum = bad;
        s.positions.DataX = 5;
        s.positions.ChksumY = -5;
        s.positions.LabelLength = 32767;
        s.ItemXOffset = QStringLiteral("abc");
        s.VerYOffset = QStringLiteral("inf");
        QTest::addRow("%s: Data, Checksum, their positions, offsets", base.size == LabelSize::M1 ? "1M" : "2M")
            << base << s;
    }

    for (LabelSize size : {LabelSize::M3, LabelSize::M6, LabelSize::M9, LabelSize::None}) {
        LabelSettings base = storedFormExample();
        base.size = size;
        s = base;
        s.fiveAcross = 1;
        s.ItemXOffset = QStringLiteral("abc");
        s.VerXOffset = QString();
        QTest::addRow("stored form %s: five-across box and offsets", qPrintable(labelSizeName(size))) << base << s;
    }
}

void TestEpl2Job::unusedInputsChangeNothing()
{
    QFETCH(LabelSettings, base);
    QFETCH(LabelSettings, changed);
    const ComposedJob expected = composeJob(base);
    QVERIFY(expected.ok());
    const ComposedJob composed = composeJob(changed);
    QCOMPARE(composed.cause(), QString());
    QCOMPARE(composed.bytes, expected.bytes);
}

void TestEpl2Job::escaping_data()
{
    QTest::addColumn<LabelSettings>("settings");
    QTest::addColumn<int>("line");
    QTest::addColumn<QByteArray>("expected");

    struct Case
    {
        const char* name;
        const char* text;
        const char* quoted;
    };
    const Case cases[] = {
        {"quote", "A\"B", "\"A\\\"B\""},
        {"backslash", "A\\B", "\"A\\\\B\""},
        {"trailing backslash", "AB\\", "\"AB\\\\\""},
        {"escaped-looking pair", "\\\"", "\"\\\\\\\"\""},
        {"only quotes", "\"\"", "\"\\\"\\\"\""},
    };
    for (const Case& c : cases) {
        LabelSettings s = oneMExample();
        s.item = QString::fromLatin1(c.text);
        QTest::addRow("1M Item, %s", c.name) << s << 6 << "A32,20,1,1,1,1,N," + QByteArray(c.quoted);
        s = twoMExample();
        s.version = QString::fromLatin1(c.text);
        QTest::addRow("2M Version, %s", c.name) << s << 6 << "A15,16,1,1,1,1,N," + QByteArray(c.quoted);
        s = fiveAcrossExample();
        s.item = QString::fromLatin1(c.text);
        QTest::addRow("five-across Item, %s", c.name) << s << 14 << "A287,30,1,1,1,1,N," + QByteArray(c.quoted);
        s = storedFormExample();
        s.data = QString::fromLatin1(c.text);
        QTest::addRow("stored-form Data line, %s, sent as it is", c.name) << s << 25 << QByteArray(c.text);
    }
}

void TestEpl2Job::escaping()
{
    verifyLine();
}

// A line break, another control character than tab, or a character outside ASCII in any text the job
// sends makes it fail, naming the box.
void TestEpl2Job::refusedCharacters_data()
{
    QTest::addColumn<LabelSettings>("settings");
    QTest::addColumn<QString>("cause");

    struct Bad
    {
        const char* name;
        QString text;
        const char* what;
    };
    const Bad bads[] = {
        {"CR", QStringLiteral("\r"), "contains a line break"},
        {"LF", QStringLiteral("\n"), "contains a line break"},
        {"e acute", QStringLiteral("\u00e9"), "contains a character outside ASCII (U+00E9)"},
        {"Hangul", QStringLiteral("\ud55c"), "contains a character outside ASCII (U+D55C)"},
        {"emoji", QStringLiteral("\U0001F600"), "contains a character outside ASCII (U+1F600)"},
        {"NUL", QString(QChar(0)), "contains a control character (U+0000)"},
        {"ESC", QStringLiteral("\u001b"), "contains a control character (U+001B)"},
        {"DEL", QStringLiteral("\u007f"), "contains a control character (U+007F)"},
        {"tab", QStringLiteral("\t"), "contains a control character (U+0009)"},
    };
    LabelSettings checksumUsed = storedFormExample();
    checksumUsed.checksum = QStringLiteral("57");
    for (const LabelSettings& base : {oneMExample(), twoMExample(), fiveAcrossExample(), checksumUsed}) {
        for (Box box : textsSentBy(jobKindFor(base))) {
            if (box == Box::Quantity)
                continue; // refused as not a number: see the quantity rows
            for (const Bad& bad : bads) {
                LabelSettings s = base;
                textOf(s, box) = QStringLiteral("1") + bad.text + QStringLiteral("2");
                QTest::addRow("%s, %s, %s", kindName(jobKindFor(base)), heading(box), bad.name)
                    << s << QString::fromLatin1(heading(box)) + QStringLiteral(": ") + QString::fromLatin1(bad.what);
            }
        }
    }
    LabelSettings s = oneMExample();
    s.quantity = QStringLiteral("1\r\nP999");
    QTest::addRow("1M, quantity with a command after a line break")
        << s << R"(Quantity: "1\r\nP999" is not a whole number from 1 to 65535)";
}

void TestEpl2Job::refusedCharacters()
{
    verifyFailure();
}

// Generated settings, faults included; every job that comes out must parse back to what went in.
void TestEpl2Job::randomizedRoundTrip()
{
    const quint32 seed = 20240611;
    qInfo("seed %u", seed);
    QRandomGenerator rng(seed);
    const auto chance = [&](int percent) { return int(rng.bounded(100)) < percent; };
    const auto pick = [&](const QStringList& list) { return list.at(int(rng.bounded(int(list.size())))); };

    const QString plain = QStringLiteral("ABCXYZabz0189 -.,\"\\");
    const QStringList faults = {
        QStringLiteral("\r"),   QStringLiteral("\n"),     QStringLiteral("\u00e9"), QStringLiteral("\ud55c"),
        QString(QChar(0)),      QStringLiteral("\u001b"), QStringLiteral("\u007f"), QStringLiteral("\U0001F600"),
        QStringLiteral("\r\n"), QStringLiteral("\t")};
    const auto text = [&] {
        QString t;
        const int length = int(rng.bounded(8));
        for (int i = 0; i < length; ++i)
            t += chance(2) ? pick(faults) : QString(plain.at(int(rng.bounded(int(plain.size())))));
        return t;
    };
    const auto int16 = [&]() -> qint16 {
        if (chance(20))
            return qint16(QList<int>{32757, 32758, 32767, -32768, -1, 0}.at(int(rng.bounded(6))));
        return qint16(rng.bounded(-32768, 32768));
    };
    const auto itemY = [&] {
        if (chance(15))
            return pick({QStringLiteral("32757"), QStringLiteral("32758"), QStringLiteral("-32768"),
                         QStringLiteral("32768"), QStringLiteral("-32769"), QStringLiteral(""), QStringLiteral("1.5"),
                         QStringLiteral("x")});
        if (chance(5))
            return text();
        const QString blanks = chance(20) ? QStringLiteral(" ") : QString();
        return blanks + QString::number(rng.bounded(-33000, 33000)) + blanks;
    };
    const auto offset = [&] {
        if (chance(10))
            return pick({QStringLiteral("abc"), QString(), QStringLiteral("inf"), QStringLiteral("-inf"),
                         QStringLiteral("nan"), QStringLiteral("1e308"), QStringLiteral(" 7 "), QStringLiteral("-3.5"),
                         QStringLiteral("0.1"), QStringLiteral("-16")});
        return QString::number(rng.bounded(-300, 300));
    };
    const LabelSize sizes[] = {LabelSize::None, LabelSize::M1, LabelSize::M2,
                               LabelSize::M3,   LabelSize::M6, LabelSize::M9};

    int composed = 0;
    const int runs = 6000;
    for (int run = 0; run < runs; ++run) {
        LabelSettings s;
        s.size = sizes[rng.bounded(6)];
        s.fiveAcross = chance(50) ? 0 : int(rng.bounded(1, 3));
        for (Box box : {Box::Darkness, Box::Gap, Box::Quantity, Box::Item, Box::Version, Box::Data, Box::Checksum})
            textOf(s, box) = chance(10) ? QString() : text();
        if (chance(85)) // mostly a quantity the printer takes, with blanks and leading zeros at times
            s.quantity = pick({QString(), QStringLiteral(" "), QStringLiteral("0")}) +
                         QString::number(rng.bounded(1, 65536)) + pick({QString(), QStringLiteral(" ")});
        s.positions = LabelPositions{int16(), itemY(), int16(), int16(), int16(), int16(), int16(), int16(), int16()};
        s.ItemXOffset = offset();
        s.ItemYOffset = offset();
        s.VerXOffset = offset();
        s.VerYOffset = offset();
        const JobKind kind = jobKindFor(s);
        const QByteArray context = "run " + QByteArray::number(run);

        // Every box that should make this job fail.
        std::set<QString> faulty;
        for (Box box : textsSentBy(kind)) {
            const QString sent = box == Box::Darkness ? textOf(s, box) : trimBlanks(textOf(s, box));
            if (!sendable(sent) || (box == Box::Quantity && !isQuantity(sent)))
                faulty.insert(QString::fromLatin1(heading(box)));
        }
        const std::optional<qint16> itemYNumber = textToInt16(s.positions.ItemY);
        if (kind == JobKind::OneM) {
            if (!itemYNumber || *itemYNumber > 32757)
                faulty.insert(QStringLiteral("Item Y position"));
            if (s.positions.VerY > 32757)
                faulty.insert(QStringLiteral("Version Y position"));
        }
        const auto offsetValue = [](const QString& t) {
            bool ok = false;
            const double v = t.toDouble(&ok);
            return ok && std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
        };
        if (kind == JobKind::TwoMFiveAcross) {
            const std::pair<const char*, const QString*> offsets[] = {{"Item X offset", &s.ItemXOffset},
                                                                      {"Item Y offset", &s.ItemYOffset},
                                                                      {"Version X offset", &s.VerXOffset},
                                                                      {"Version Y offset", &s.VerYOffset}};
            for (const auto& [name, value] : offsets) {
                if (!offsetValue(*value))
                    faulty.insert(QString::fromLatin1(name));
            }
        }

        const ComposedJob job = composeJob(s);
        if (!faulty.empty()) {
            QVERIFY2(!job.ok(), context);
            QVERIFY2(job.bytes.isEmpty(), context);
            const QString box = job.cause().section(QStringLiteral(": "), 0, 0);
            QVERIFY2(faulty.count(box) == 1, context + " " + job.cause().toUtf8());
            QVERIFY2(!job.cause().contains(QLatin1Char('\n')) && !job.cause().contains(QLatin1Char('\r')), context);
            continue;
        }
        QVERIFY2(job.ok(), context + " " + job.cause().toUtf8());
        ++composed;

        // Shape: the kind's number of lines, each ended by CR LF, no other CR or LF, only ASCII.
        const QByteArray& bytes = job.bytes;
        QVERIFY2(bytes.endsWith("\r\n"), context);
        QList<QByteArray> lines = bytes.split('\n');
        lines.removeLast(); // after the last LF
        QVERIFY2(lines.size() == lineCount(kind), context);
        for (QByteArray& line : lines) {
            QVERIFY2(line.endsWith('\r'), context);
            line.chop(1);
            QVERIFY2(!line.contains('\r'), context);
        }
        for (char c : bytes)
            QVERIFY2(uchar(c) < 0x80, context);

        // Content: every text and position comes back.
        std::optional<TextLine> t;
        const auto field = [&](int n, bool quoted) {
            t = parseTextLine(lines.at(n - 1), quoted);
            return t.has_value();
        };
        const QByteArray item = ascii(trimBlanks(s.item));
        const QByteArray version = ascii(trimBlanks(s.version));
        const QByteArray quantity = "P" + ascii(trimBlanks(s.quantity));
        const QByteArray darkness = "D" + ascii(s.darkness);
        const QByteArray gap = ascii(trimBlanks(s.gap));
        const QByteArray itemYText = ascii(trimBlanks(s.positions.ItemY));
        const auto n = [](int v) { return QByteArray::number(v); };
        const LabelPositions& p = s.positions;

        switch (kind) {
        case JobKind::OneM:
            QCOMPARE(lines.mid(0, 5), (QList<QByteArray>{"N", darkness, "S1", "q48", "Q38," + gap}));
            QVERIFY2(field(6, true), context);
            QCOMPARE(t->x, n(p.ItemX));
            QCOMPARE(t->y, n(*itemYNumber + 10));
            QCOMPARE(t->data, item);
            QVERIFY2(field(7, true), context);
            QCOMPARE(t->x, n(p.VerX));
            QCOMPARE(t->y, n(p.VerY + 10));
            QCOMPARE(t->data, version);
            QCOMPARE(lines.mid(7), (QList<QByteArray>{quantity, ""}));
            break;
        case JobKind::TwoM:
            QCOMPARE(lines.mid(0, 4), (QList<QByteArray>{"N", darkness, "q48", "Q130," + gap}));
            QVERIFY2(field(5, true), context);
            QCOMPARE(t->x, n(p.ItemX));
            QCOMPARE(t->y, itemYText);
            QCOMPARE(t->data, item);
            QVERIFY2(field(6, true), context);
            QCOMPARE(t->x, n(p.VerX));
            QCOMPARE(t->y, n(p.VerY));
            QCOMPARE(t->data, version);
            QCOMPARE(lines.mid(6), (QList<QByteArray>{quantity, ""}));
            break;
        case JobKind::TwoMFiveAcross: {
            QCOMPARE(lines.mid(0, 4), (QList<QByteArray>{"N", darkness, "q304", "Q81,20"}));
            static const QRegularExpression plainNumber(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
            const int versionBases[] = {16, 79, 144, 206, 272};
            const int itemBases[] = {31, 94, 159, 223, 287};
            for (int copy = 0; copy < 5; ++copy) {
                for (const bool isItem : {false, true}) {
                    QVERIFY2(field(5 + 2 * copy + (isItem ? 1 : 0), true), context);
                    QVERIFY2(plainNumber.match(QString::fromLatin1(t->x)).hasMatch(), context + " " + t->x);
                    QVERIFY2(plainNumber.match(QString::fromLatin1(t->y)).hasMatch(), context + " " + t->y);
                    const double xOffset = *offsetValue(isItem ? s.ItemXOffset : s.VerXOffset);
                    const double yOffset = *offsetValue(isItem ? s.ItemYOffset : s.VerYOffset);
                    // Exact: the sum is written so that it reads back as the same double.
                    QVERIFY2(t->x.toDouble() == xOffset + (isItem ? itemBases : versionBases)[copy], context);
                    QVERIFY2(t->y.toDouble() == yOffset + 30, context);
                    QCOMPARE(t->data, isItem ? item : version);
                }
            }
            QCOMPARE(lines.mid(14), (QList<QByteArray>{quantity, ""}));
            break;
        }
        case JobKind::StoredForm: {
            const bool counter = trimBlanks(s.checksum).isEmpty();
            QCOMPARE(lines.at(5), darkness);
            QCOMPARE(lines.at(11), counter ? QByteArray("C0,4,L,+1,\"\"") : QByteArray("V03,6,C,\"\""));
            QCOMPARE(lines.at(12), "Q" + n(p.LabelLength) + "," + gap);
            const std::pair<QByteArray, QByteArray> positions[] = {{n(p.ItemX), itemYText},
                                                                   {n(p.VerX), n(p.VerY)},
                                                                   {n(p.DataX), n(p.DataY)},
                                                                   {n(p.ChksumX), n(p.ChksumY)}};
            const QByteArray names[] = {"V00", "V01", "V02", counter ? "C0" : "V03"};
            for (int i = 0; i < 4; ++i) {
                QVERIFY2(field(15 + i, false), context);
                QCOMPARE(t->x, positions[i].first);
                QCOMPARE(t->y, positions[i].second);
                QCOMPARE(t->data, names[i]);
            }
            QCOMPARE(lines.mid(22),
                     (QList<QByteArray>{item, version, ascii(trimBlanks(s.data)),
                                        counter ? QByteArray("0001") : ascii(trimBlanks(s.checksum)), quantity, ""}));
            break;
        }
        }
    }
    qInfo("%d of %d generated settings composed a job, the rest failed as expected", composed, runs);
    QVERIFY(composed > runs / 4);
    QVERIFY(composed < runs);
}

void TestEpl2Job::printedFields_data()
{
    QTest::addColumn<LabelSettings>("settings");
    QTest::addColumn<QStringList>("names"); // of the fields, in job order
    QTest::addRow("1M") << oneMExample() << QStringList{"Item", "Version"};
    QTest::addRow("2M") << twoMExample() << QStringList{"Item", "Version"};
    QStringList fiveAcross;
    for (int copy = 1; copy <= 5; ++copy)
        fiveAcross << QStringLiteral("Version (copy %1)").arg(copy) << QStringLiteral("Item (copy %1)").arg(copy);
    QTest::addRow("five-across") << fiveAcrossExample() << fiveAcross;
    QTest::addRow("stored form") << storedFormExample() << QStringList{"Item", "Version", "Data", "Checksum"};
}

// Every field the job prints is recorded with the line of its A command, and nothing else is.
void TestEpl2Job::printedFields()
{
    QFETCH(LabelSettings, settings);
    QFETCH(QStringList, names);
    const ComposedJob job = composeJob(settings);
    QVERIFY(job.ok());
    QStringList named;
    QList<int> recorded;
    for (const PrintedField& printed : job.fields) {
        named << printedFieldName(printed);
        recorded << printed.line;
        QCOMPARE(job.fieldOnLine(printed.line)->field, printed.field);
    }
    QCOMPARE(named, names);
    QList<int> textLines;
    const QRegularExpression textLine(QStringLiteral("^A-?[0-9.]+,-?[0-9.]+,1,1,1,1,N,")); // not a data line "AB1234"
    for (int line = 1; !lineOf(job.bytes, line).isNull(); ++line) {
        if (textLine.match(QString::fromLatin1(lineOf(job.bytes, line))).hasMatch())
            textLines << line;
        else
            QVERIFY(!job.fieldOnLine(line));
    }
    QCOMPARE(recorded, textLines);

    settings.item = QStringLiteral("\u00e9");
    QVERIFY(composeJob(settings).fields.isEmpty()); // no job, no fields
}

QTEST_GUILESS_MAIN(TestEpl2Job)
#include "tst_epl2_job.moc"
