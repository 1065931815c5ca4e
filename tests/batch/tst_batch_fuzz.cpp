// The CSV reader and the run over many generated inputs, clean and spoiled: invalid UTF-8 (at the end too),
// NUL, byte-order marks, stray and unclosed quotes, CR, LF and CR LF, unknown and repeated columns, long
// fields and control characters. The same inputs every run, from a fixed seed, unless QUORLEX_FUZZ_SEED says
// otherwise: "random" for a new seed each run, a number for that seed. The seed is printed.
#include "printing/epl2_job.h"
#include "support/batch_harness.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <iterator>

namespace {

constexpr int kInputs = 5000;
constexpr quint32 kFixedSeed = 20240917;
constexpr qsizetype kLongestMessageLine = 512;

const char* const kSizes[] = {"1M", "2M", "3M", "6M", "9M"};

// One generated input: the arguments, the CSV, and when nothing was spoiled, the labels it must give.
struct Generated
{
    QStringList arguments;
    QByteArray csv;
    bool clean = true;
    QList<LabelValues> labels; // texts as written, quantity as written (empty: --qty)
    QString defaultQuantity = QStringLiteral("1");
};

class Generator
{
public:
    explicit Generator(quint32 seed) : random_(seed) {}

    Generated next()
    {
        Generated g;
        const QString size = QString::fromLatin1(kSizes[pick(5)]);
        g.arguments = QStringList{"--size", size, "--csv", "-"};
        if (size == QLatin1String("2M") && chance(3))
            g.arguments << "--five-across";
        if (chance(4)) {
            g.defaultQuantity = QString::number(1 + pick(9));
            g.arguments << "--qty" << g.defaultQuantity;
        }
        const bool dataAndChecksum = size != QLatin1String("1M") && size != QLatin1String("2M");

        QList<LabelColumn> columns;
        for (LabelColumn column : kLabelColumns) {
            if (chance(2))
                columns << column;
        }
        if (columns.isEmpty())
            columns << LabelColumn{LabelField::Item};
        std::shuffle(columns.begin(), columns.end(), random_);

        QList<QByteArray> header;
        for (LabelColumn column : columns)
            header << headerName(columnName(column));
        if (chance(12)) {
            header.insert(pick(header.size() + 1), chance(2) ? QByteArray("colour") : header.value(0, "item"));
            g.clean = false;
        }
        const QByteArray lineEnd = chance(3) ? "\r\n" : chance(2) ? "\n" : "\r";
        if (chance(5))
            g.csv += "\xEF\xBB\xBF";
        g.csv += header.join(',') + lineEnd;

        const int rows = int(pick(8));
        for (int r = 0; r < rows; ++r) {
            LabelValues label;
            QList<QByteArray> fields;
            for (LabelColumn column : columns) {
                const bool text = column != kQuantityColumn;
                const bool unused = !dataAndChecksum && (column == LabelColumn{LabelField::Data} ||
                                                         column == LabelColumn{LabelField::Checksum});
                QByteArray value = text ? (unused ? blanks() : cleanText()) : cleanQuantity();
                if (chance(25)) {
                    value = spoiledValue(text);
                    g.clean = false;
                }
                label[column] = QString::fromUtf8(value);
                fields << encoded(value, columns.size() == 1);
            }
            if (label[kQuantityColumn].trimmed().isEmpty())
                label[kQuantityColumn].clear();
            g.labels << label;
            if (chance(20)) {
                fields << "extra";
                g.clean = false;
            }
            g.csv += fields.join(',');
            if (r + 1 < rows || chance(2))
                g.csv += chance(10) ? QByteArray(lineEnd).repeated(2) : lineEnd; // sometimes an empty line
        }
        if (chance(6)) {
            spoilBytes(g.csv);
            g.clean = false;
        }
        if (g.clean && g.labels.isEmpty())
            g.clean = false; // "no labels after the header row"
        return g;
    }

private:
    quint32 pick(qsizetype n) { return random_.bounded(quint32(n)); }
    bool chance(int oneIn) { return pick(oneIn) == 0; }

    QByteArray headerName(const QString& name)
    {
        QByteArray bytes = name.toLatin1();
        if (chance(3))
            bytes = bytes.toUpper();
        if (chance(4))
            bytes = " " + bytes + " ";
        return bytes;
    }

    QByteArray blanks() { return QByteArray(int(pick(3)), ' '); }

    // Up to six characters of printable ASCII, commas, quotes and backslashes included, with blanks around.
    QByteArray cleanText()
    {
        QByteArray text = blanks();
        const int length = int(pick(7));
        for (int i = 0; i < length; ++i)
            text += char(0x21 + pick(0x7E - 0x21 + 1));
        return text + blanks();
    }

    QByteArray cleanQuantity()
    {
        if (chance(3))
            return blanks();
        return blanks() + QByteArray::number(1 + pick(65535)) + blanks();
    }

    QByteArray spoiledValue(bool text)
    {
        static const QByteArray kSpoiled[] = {
            "TOOLONG",
            QByteArray("A\0B", 3),
            "A\x1B[2J",
            "A\tB",
            "A\x7F",
            "\xC3\xA9",
            "\xED\x95\x9C",
            "\xF0\x9F\x98\x80",
            "A\r\nB",
            "A\rB",
            "\xC3",
            "\xFF",
            "\xC0\x80",
            "\xED\xA0\x80",
            "\xEF\xBB\xBF"
            "A",
            "\"",
            "0",
            "65536",
            "2x",
            "-1",
        };
        if (chance(10))
            return QByteArray(int(200 + pick(200)), text ? 'A' : '1');
        return kSpoiled[pick(std::size(kSpoiled))];
    }

    // A field as a CSV writer puts it; a lone empty field is quoted so that its line is not empty.
    QByteArray encoded(const QByteArray& value, bool alone)
    {
        const bool needsQuotes = value.contains('"') || value.contains(',') || value.contains('\r') ||
                                 value.contains('\n') || (alone && value.isEmpty());
        if (!needsQuotes && !chance(5))
            return value;
        QByteArray quoted = value;
        quoted.replace("\"", "\"\"");
        return "\"" + quoted + "\"";
    }

    // Breaks the text at the byte level: cuts it, or puts in a stray quote, NUL, byte-order mark, line end
    // or bytes that are not UTF-8, the very end included.
    void spoilBytes(QByteArray& csv)
    {
        static const QByteArray kInserts[] = {"\"",   QByteArray("\0", 1), "\xEF\xBB\xBF", "\r", "\n",
                                              "\xC3", "\xE2\x82",          "\xFF",         "\"x"};
        const qsizetype at = csv.isEmpty() ? 0 : qsizetype(pick(csv.size() + 1));
        if (chance(4))
            csv.truncate(at);
        else if (chance(3))
            csv += chance(2) ? QByteArray("\xE2\x82") : QByteArray("\xC3");
        else
            csv.insert(at, kInserts[pick(std::size(kInserts))]);
    }

    QRandomGenerator random_;
};

// A job as the printer must get it: lines of printable ASCII ended by CR LF, the last one "P" and the
// quantity, then one empty line.
bool isValidEpl2(const QByteArray& job)
{
    if (!job.endsWith("\r\n\r\n"))
        return false;
    const QList<QByteArray> lines = job.chopped(2).split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        if (!line.endsWith('\r'))
            return false;
        for (qsizetype c = 0; c + 1 < line.size(); ++c) {
            if (uchar(line.at(c)) < 0x20 || uchar(line.at(c)) > 0x7E)
                return false;
        }
    }
    const QByteArray last = lines.value(lines.size() - 2).chopped(1);
    return last.size() > 1 && last.startsWith('P') && last.mid(1).toUInt() > 0;
}

// What the batch promises of every text it prints: at most six characters of printable ASCII.
bool isPrintableLabel(const LabelValues& label)
{
    for (const QString& each : label.texts) {
        const QString text = trimBlanks(each);
        if (text.size() > 6)
            return false;
        for (const QChar c : text) {
            if (c.unicode() < 0x20 || c.unicode() > 0x7E)
                return false;
        }
    }
    return true;
}

QByteArray jobFor(const LabelSettings& base, const LabelValues& label, const QString& defaultQuantity)
{
    LabelSettings settings = base;
    for (LabelField field : kLabelFields)
        settings.text(field) = label.texts[field];
    const QString quantity = trimBlanks(label.quantity);
    settings.quantity = quantity.isEmpty() ? defaultQuantity : quantity;
    const ComposedJob job = composeJob(settings);
    return job.ok() ? job.bytes : QByteArray("<" + job.cause().toUtf8() + ">");
}

// The labels the reader finds in a text, by the header's columns; empty when the header does not name them.
QList<LabelValues> labelsAsRead(const QByteArray& csv)
{
    const CsvText table = readCsvText(csv);
    QList<LabelValues> labels;
    if (table.records.isEmpty())
        return labels;
    QList<LabelColumn> columns;
    for (const QString& name : table.records.first().fields)
        columns << columnFromName(name).value_or(LabelColumn{LabelField::Item});
    for (qsizetype r = 1; r < table.records.size(); ++r) {
        const QStringList& fields = table.records.at(r).fields;
        if (fields.isEmpty())
            continue;
        LabelValues label;
        for (qsizetype i = 0; i < columns.size() && i < fields.size(); ++i)
            label[columns.at(i)] = fields.at(i);
        labels << label;
    }
    return labels;
}

QString firstUnsafeLine(const QString& err)
{
    for (const QString& line : err.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.size() > kLongestMessageLine)
            return QStringLiteral("too long: ") + line.left(80);
        for (const QChar c : line) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7F || (c.unicode() >= 0x80 && c.unicode() <= 0x9F))
                return QStringLiteral("raw control character: ") + line.toHtmlEscaped();
        }
    }
    return {};
}

} // namespace

class BatchFuzzTest : public QObject
{
    Q_OBJECT

private slots:
    void generatedInputs()
    {
        const QString asked = qEnvironmentVariable("QUORLEX_FUZZ_SEED");
        bool number = true;
        quint32 seed = kFixedSeed;
        if (asked == QLatin1String("random"))
            seed = QRandomGenerator::system()->generate();
        else if (!asked.isEmpty())
            seed = asked.toUInt(&number);
        QVERIFY2(number, "QUORLEX_FUZZ_SEED is \"random\" or a whole number from 0 to 4294967295");
        qInfo("seed %u (QUORLEX_FUZZ_SEED=%u repeats this run)", seed, seed);
        Generator generator(seed);
        QRandomGenerator dice(seed ^ 0x5EEDu);

        int accepted = 0;
        int refused = 0;
        int stopped = 0;
        for (int i = 0; i < kInputs; ++i) {
            const Generated g = generator.next();
            const QString where = QStringLiteral("input %1 of seed %2: %3 %4")
                                      .arg(i)
                                      .arg(seed)
                                      .arg(g.arguments.join(' '), QString::fromLatin1(g.csv.toPercentEncoding()));
            const bool dryRun = dice.bounded(4) == 0;
            const int stopAfter = dice.bounded(6) == 0 ? int(dice.bounded(4)) : -1;
            Recorder recorder;
            QStringList arguments = g.arguments;
            if (dryRun)
                arguments << "--dry-run";
            const BatchRun run =
                runBatchInProcess(arguments, dryRun ? nullptr : &recorder, g.csv, [&](BatchEnvironment& env) {
                    if (stopAfter >= 0)
                        env.stopRequested = [&] { return recorder.sent.size() >= stopAfter; };
                });
            QVERIFY2(QList<int>({0, 1, 2, 130}).contains(run.status), qPrintable(where));
            // The outputs here never fail, so a run either sends everything, stops at Ctrl-C or refuses.
            QVERIFY2(run.status != 1, qPrintable(where + "\n" + run.err));
            const QString unsafe = firstUnsafeLine(run.err);
            QVERIFY2(unsafe.isEmpty(), qPrintable(where + "\n" + unsafe));

            if (run.status == kExitUsage) {
                ++refused;
                QVERIFY2(!g.clean, qPrintable(where + "\n" + run.err));
                QCOMPARE(recorder.opens, 0);
                QVERIFY(recorder.sent.isEmpty());
                QVERIFY(run.out.isEmpty());
                continue;
            }
            QVERIFY2(run.err.isEmpty() || run.status == kExitInterrupted, qPrintable(where + "\n" + run.err));
            // Nothing is sent from a text with a byte that is not UTF-8, wherever it is.
            QVERIFY2(QByteArrayView(g.csv).isValidUtf8(), qPrintable(where));

            const BatchOptions options = parseCommandLine(g.arguments).options;
            const LabelSettings base = baseSettings(options);
            const QList<LabelValues> labels = g.clean ? g.labels : labelsAsRead(g.csv);
            QList<QByteArray> expectedJobs;
            for (const LabelValues& label : labels) {
                QVERIFY2(isPrintableLabel(label), qPrintable(where));
                expectedJobs << jobFor(base, label, g.defaultQuantity);
            }
            if (run.status == kExitInterrupted) {
                ++stopped;
                QVERIFY(stopAfter >= 0 && stopAfter < expectedJobs.size());
                expectedJobs = expectedJobs.mid(0, stopAfter);
            } else {
                ++accepted;
            }
            if (dryRun) {
                QCOMPARE(run.out, expectedJobs.join());
            } else {
                QCOMPARE(recorder.sent.size(), expectedJobs.size());
                for (qsizetype j = 0; j < expectedJobs.size(); ++j) {
                    QVERIFY2(isValidEpl2(recorder.sent.at(j)), qPrintable(where));
                    QVERIFY2(recorder.sent.at(j) == expectedJobs.at(j), qPrintable(where));
                }
            }
        }
        qInfo("%d accepted, %d refused, %d stopped by a simulated Ctrl-C", accepted, refused, stopped);
        // The generator reaches every outcome.
        QVERIFY(accepted > kInputs / 10);
        QVERIFY(refused > kInputs / 10);
    }
};

QTEST_MAIN(BatchFuzzTest)
#include "tst_batch_fuzz.moc"
