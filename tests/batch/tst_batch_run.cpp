// The batch run in-process: usage and validation errors, and what reaches an output the test controls.
#include "support/batch_harness.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QByteArray kFiveRows = "item,qty\nA,1\nB,2\nC,3\nD,4\nE,5\n";

BatchRun run(const QStringList& arguments, Recorder* recorder = nullptr, const QByteArray& input = kFiveRows,
             const std::function<void(BatchEnvironment&)>& adjust = {})
{
    return runBatchInProcess(arguments, recorder, input, adjust);
}

// A device that refuses every write, like /dev/full.
class FullDevice final : public QIODevice
{
public:
    FullDevice() { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64) override
    {
        setErrorString(QStringLiteral("No space left on device"));
        return -1;
    }
};

} // namespace

class BatchRunTest : public QObject
{
    Q_OBJECT

private slots:
    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::addRow("no size") << QStringList{"--item", "A"} << "--size is required (1M, 2M, 3M, 6M or 9M)";
        QTest::addRow("unknown size") << QStringList{"--size", "12M"} << "--size: \"12M\" is not 1M, 2M, 3M, 6M or 9M";
        QTest::addRow("unknown option") << QStringList{"--size", "3M", "--colour"} << "unknown option \"colour\"";
        QTest::addRow("stray argument") << QStringList{"--size", "3M", "labels.csv"}
                                        << "unexpected argument \"labels.csv\"";
        QTest::addRow("five-across under 3M")
            << QStringList{"--size", "3M", "--five-across"} << "--five-across is a 2M job; it cannot be used with 3M";
        QTest::addRow("darkness 16") << QStringList{"--size", "3M", "--darkness", "16"}
                                     << "--darkness: \"16\" is not a whole number from 0 to 15";
        QTest::addRow("darkness with a blank") << QStringList{"--size", "3M", "--darkness", " 8"}
                                               << "--darkness: \" 8\" is not a whole number from 0 to 15";
        QTest::addRow("qty 0") << QStringList{"--size", "3M", "--qty", "0"}
                               << "--qty: \"0\" is not a whole number from 1 to 65535";
        QTest::addRow("qty 65536") << QStringList{"--size", "3M", "--qty", "65536"}
                                   << "--qty: \"65536\" is not a whole number from 1 to 65535";
        QTest::addRow("gap not a number") << QStringList{"--size", "3M", "--gap", "1e3"}
                                          << "--gap: \"1e3\" is not a number of dots from 0 to 240 (e.g. 12 or 20.8)";
        QTest::addRow("text option with csv") << QStringList{"--size", "3M", "--csv", "-", "--version", "V1"}
                                              << "--version cannot be used with --csv; give the texts as CSV columns";
        QTest::addRow("qty twice") << QStringList{"--size", "3M", "--qty", "1", "--qty", "2"}
                                   << "--qty is given more than once";
        QTest::addRow("port twice") << QStringList{"--size", "3M", "--port", "com1", "--port", "lpt"}
                                    << "--port is given more than once";
        QTest::addRow("empty port") << QStringList{"--size", "3M", "--port", ""}
                                    << "--port needs com1, lpt, the path of a device or socket://HOST[:PORT]";
        // "$" of a pattern also matches before a final line feed; the checks look at the whole text.
        QTest::addRow("gap with a line feed") << QStringList{"--size", "3M", "--gap", "12\n"}
                                              << "--gap: \"12\\n\" is not a number of dots from 0 to 240 (e.g. 12 or "
                                                 "20.8)";
        QTest::addRow("darkness with a line feed") << QStringList{"--size", "3M", "--darkness", "8\n"}
                                                   << "--darkness: \"8\\n\" is not a whole number from 0 to 15";
        QTest::addRow("qty with a line feed")
            << QStringList{"--size", "3M", "--qty", "2\n"} << "--qty: \"2\\n\" is not a whole number from 1 to 65535";
        QTest::addRow("nudge with a line feed")
            << QStringList{"--size", "3M", "--nudge", "item-x=1\n"}
            << "--nudge: \"item-x=1\\n\" is not FIELD-AXIS=OFFSET with a field item, ver, data or checksum and an "
               "axis x or y (e.g. item-x=+2)";
        QTest::addRow("gap past 240") << QStringList{"--size", "3M", "--gap", "240.001"}
                                      << "--gap: \"240.001\" is not a number of dots from 0 to 240 (e.g. 12 or 20.8)";
        QTest::addRow("gap of 5000 digits")
            << QStringList{"--size", "3M", "--gap", QString(5000, '9')}
            << "--gap: \"" + QString(32, '9') +
                   "...\" (5000 characters) is not a number of dots from 0 to 240 (e.g. "
                   "12 or 20.8)";
        QTest::addRow("escape sequence in an unknown option")
            << QStringList{"--size", "3M", "--\x1B[2Jx"} << "unknown option \"\\x1B[2Jx\"";
        QTest::addRow("escape sequence in a size") << QStringList{"--size", "\x1B]0;title\x07"}
                                                   << "--size: \"\\x1B]0;title\\x07\" is not 1M, 2M, 3M, 6M or 9M";
        QTest::addRow("stray argument outside ASCII")
            << QStringList{"--size", "3M", QString::fromUtf8("\xED\x95\x9C")} << "unexpected argument \"<U+D55C>\"";
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        Recorder recorder;
        const BatchRun result = run(arguments, &recorder);
        QCOMPARE(result.status, int(kExitUsage));
        QCOMPARE(result.err,
                 QStringLiteral("quorlex-label-batch: %1\nTry 'quorlex-label-batch --help' for more.\n").arg(error));
        QCOMPARE(recorder.opens, 0);
    }

    // The window's two ports by their names or LPT1's device name, in any case; anything else is a path.
    void portNames_data()
    {
        QTest::addColumn<QStringList>("port"); // what follows --size 3M
        QTest::addColumn<QString>("expected"); // the window's port name, or the device path
        QTest::addRow("no --port") << QStringList() << "COM1";
        QTest::addRow("com1") << QStringList{"--port", "com1"} << "COM1";
        QTest::addRow("COM1") << QStringList{"--port", "COM1"} << "COM1";
        QTest::addRow("lpt") << QStringList{"--port", "lpt"} << "LPT";
        QTest::addRow("Lpt1") << QStringList{"--port", "Lpt1"} << "LPT";
        QTest::addRow("com2") << QStringList{"--port", "com2"} << "path com2";
        QTest::addRow("./com1") << QStringList{"--port", "./com1"} << "path ./com1";
    }
    void portNames()
    {
        QFETCH(QStringList, port);
        QFETCH(QString, expected);
        const ParsedCommandLine command = parseCommandLine(QStringList{"--size", "3M"} + port);
        QVERIFY2(command.error.isEmpty(), qPrintable(command.error));
        const BatchOptions& options = command.options;
        QCOMPARE(options.port ? printerPortName(*options.port) : "path " + options.devicePath, expected);
    }

    // EPL2 printers take a gap of 0 to 240 dots; the presets' own gaps are among them.
    void gapBounds_data()
    {
        QTest::addColumn<QString>("gap");
        QTest::addColumn<bool>("accepted");
        for (const char* gap : {"0", "8", "20.8", "12", "18", "240", "240.0", "239.999", "007"})
            QTest::addRow("%s", gap) << gap << true;
        for (const char* gap : {"240.5", "241", "1000", "1.2345", ".5", "5.", "-1", " 12", "12 ", "1e2", "0x10"})
            QTest::addRow("%s", gap) << gap << false;
    }
    void gapBounds()
    {
        QFETCH(QString, gap);
        QFETCH(bool, accepted);
        const ParsedCommandLine command = parseCommandLine({"--size", "1M", "--gap", gap});
        QCOMPARE(command.error.isEmpty(), accepted);
        if (accepted)
            QCOMPARE(command.options.gap, gap);
    }

    // The bounds are those at which the window's buttons stop acting.
    void nudgeBounds_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<QStringList>("nudges");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::addRow("X at its bounds") << "3M" << QStringList{"item-x=-8,ver-x=+8,data-x=8,checksum-x=-8"} << "";
        QTest::addRow("item X past") << "3M" << QStringList{"item-x=-9"} << "Item X: offset -9 is outside -8 to 8";
        QTest::addRow("checksum X past") << "6M" << QStringList{"checksum-x=9"}
                                         << "Checksum X: offset 9 is outside -8 to 8";
        QTest::addRow("item and version Y at bounds") << "1M" << QStringList{"item-y=30", "version-y=-16"} << "";
        QTest::addRow("version Y past") << "2M" << QStringList{"ver-y=+31"}
                                        << "Version Y: offset 31 is outside -16 to 30";
        QTest::addRow("data Y at its bounds") << "9M" << QStringList{"data-y=16,checksum-y=-16"} << "";
        QTest::addRow("data Y past") << "9M" << QStringList{"data-y=17"} << "Data Y: offset 17 is outside -16 to 16";
        QTest::addRow("data under 1M") << "1M" << QStringList{"data-x=0"}
                                       << "Data X: the 1M size does not print the Data field";
        QTest::addRow("checksum under 2M")
            << "2M" << QStringList{"checksum-y=1"} << "Checksum Y: the 2M size does not print the Checksum field";
        QTest::addRow("twice in one list") << "3M" << QStringList{"item-x=1,ITEM-X=1"} << "Item X is given twice";
        QTest::addRow("twice across options")
            << "3M" << QStringList{"ver-y=1", "version-y=-1"} << "Version Y is given twice";
        QTest::addRow("unknown field") << "3M" << QStringList{"date-x=1"}
                                       << "\"date-x=1\" is not FIELD-AXIS=OFFSET with a field item, ver, data or "
                                          "checksum and an axis x or y (e.g. item-x=+2)";
        QTest::addRow("no offset") << "3M" << QStringList{"item-x"}
                                   << "\"item-x\" is not FIELD-AXIS=OFFSET with a field item, ver, data or "
                                      "checksum and an axis x or y (e.g. item-x=+2)";
    }
    void nudgeBounds()
    {
        QFETCH(QString, size);
        QFETCH(QStringList, nudges);
        QFETCH(QString, error);
        QStringList arguments{"--size", size};
        for (const QString& list : nudges)
            arguments << "--nudge" << list;
        const ParsedCommandLine command = parseCommandLine(arguments);
        QCOMPARE(command.error, error.isEmpty() ? QString() : "--nudge: " + error);
    }

    // The label from options is checked like a CSV row, the option taking the place of the column.
    void labelFromOptionsIsChecked_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::addRow("item too long") << QStringList{"--size", "3M", "--item", "ABCDEFG"}
                                       << "--item: \"ABCDEFG\" is longer than 6 characters";
        QTest::addRow("data under 1M") << QStringList{"--size", "1M", "--item", "A", "--data", "1"}
                                       << "--data: must be empty: 1M labels print only Item and Version";
        QTest::addRow("version outside ASCII") << QStringList{"--size", "2M", "--version", "V\u00E9"}
                                               << "--version: contains a character outside ASCII (U+00E9)";
        QTest::addRow("item with a tab") << QStringList{"--size", "3M", "--item", "A\tB"}
                                         << "--item: contains a tab (texts are printable ASCII)";
        QTest::addRow("item of six characters between blanks")
            << QStringList{"--size", "3M", "--item", "  AB1234 "} << "";
    }
    void labelFromOptionsIsChecked()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        Recorder recorder;
        const BatchRun result = run(arguments, &recorder);
        if (error.isEmpty()) {
            QCOMPARE(result.status, int(kExitOk));
            QCOMPARE(recorder.sent.size(), 1);
            return;
        }
        QCOMPARE(result.status, int(kExitUsage));
        QCOMPARE(result.err,
                 QStringLiteral("quorlex-label-batch: %1\nquorlex-label-batch: nothing was sent\n").arg(error));
        QCOMPARE(recorder.opens, 0);
    }

    // One bad row anywhere, and the output is never even opened.
    void badRowSendsNothing()
    {
        Recorder recorder;
        const BatchRun result = run({"--size", "3M", "--csv", "-"}, &recorder, "item\nA\nB\nC\nTOOLONG1\nD\n\u00C4\n");
        QCOMPARE(result.status, int(kExitUsage));
        QCOMPARE(recorder.opens, 0);
        QVERIFY(recorder.sent.isEmpty());
        const QStringList lines = result.err.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines,
                 QStringList({"quorlex-label-batch: standard input: row 5 (line 5), column item: \"TOOLONG1\" is "
                              "longer than 6 characters",
                              "quorlex-label-batch: standard input: row 7 (line 7), column item: contains a "
                              "character outside ASCII (U+00C4)",
                              "quorlex-label-batch: nothing was sent"}));
    }

    void closedStandardInputIsNamed()
    {
        Recorder recorder;
        const BatchRun result = run({"--size", "3M", "--csv", "-"}, &recorder, {},
                                    [](BatchEnvironment& env) { env.standardInput = nullptr; });
        QCOMPARE(result.status, int(kExitUsage));
        QCOMPARE(result.err, "quorlex-label-batch: --csv -: standard input is closed\n"
                             "quorlex-label-batch: nothing was sent\n");
        QCOMPARE(recorder.opens, 0);
    }

    // Past the first twenty bad rows the others are counted.
    void manyBadRowsAreCounted()
    {
        const BatchRun result =
            run({"--size", "3M", "--csv", "-"}, nullptr, "item\n" + QByteArray("TOOLONG\n").repeated(25));
        QCOMPARE(result.status, int(kExitUsage));
        const QStringList lines = result.err.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 22);
        QCOMPARE(lines.at(20), "quorlex-label-batch: ... and 5 more");
    }

    void csvFileThatCannotBeRead()
    {
        Recorder recorder;
        const BatchRun result = run({"--size", "3M", "--csv", "/nonexistent/labels.csv"}, &recorder);
        QCOMPARE(result.status, int(kExitUsage));
        QVERIFY2(result.err.startsWith("quorlex-label-batch: cannot read /nonexistent/labels.csv: "),
                 qPrintable(result.err));
        QCOMPARE(recorder.opens, 0);
    }

    void everyJobGoesOutInOrderThroughOneOpening()
    {
        Recorder recorder;
        const QStringList arguments{"--size", "3M", "--csv", "-"};
        const BatchRun result = run(arguments, &recorder);
        QCOMPARE(result.status, int(kExitOk));
        QCOMPARE(result.err, QString()); // a quick run says nothing
        QCOMPARE(recorder.opens, 1);
        QCOMPARE(recorder.closes, 1);
        QCOMPARE(recorder.sent, jobsOf(arguments, kFiveRows));
    }

    void sendFailureNamesTheRowAndWhatWasSent_data()
    {
        QTest::addColumn<bool>("failOpen");
        QTest::addColumn<int>("failAtSend");
        QTest::addColumn<bool>("failClose");
        QTest::addColumn<int>("sent");
        QTest::addColumn<QString>("error");
        QTest::addRow("open") << true << 0 << false << 0 << "opening test port: it broke; nothing was sent";
        QTest::addRow("first job")
            << false << 1 << false << 0
            << "row 2 (line 2): sending to test port: it broke; 0 of 5 jobs gone (0 labels; gone: recorded)";
        QTest::addRow("fourth job")
            << false << 4 << false << 3
            << "row 5 (line 5): sending to test port: it broke; 3 of 5 jobs gone (6 labels; gone: recorded)";
        QTest::addRow("close") << false << 0 << true << 5
                               << "closing test port: it broke; 5 of 5 jobs gone (15 labels; gone: recorded)";
    }
    void sendFailureNamesTheRowAndWhatWasSent()
    {
        QFETCH(bool, failOpen);
        QFETCH(int, failAtSend);
        QFETCH(bool, failClose);
        QFETCH(int, sent);
        QFETCH(QString, error);
        Recorder recorder;
        recorder.failOpen = failOpen;
        recorder.failAtSend = failAtSend;
        recorder.failClose = failClose;
        const BatchRun result = run({"--size", "3M", "--csv", "-"}, &recorder);
        QCOMPARE(result.status, int(kExitSendFailed));
        QCOMPARE(result.err, "quorlex-label-batch: " + error + "\n");
        QCOMPARE(recorder.sent.size(), sent);
        QCOMPARE(recorder.closes, failOpen ? 0 : 1); // a port that opened is released
    }

    void stopBetweenJobs()
    {
        Recorder recorder;
        const QStringList arguments{"--size", "2M", "--csv", "-"};
        bool armed = false;
        const BatchRun result = run(arguments, &recorder, kFiveRows, [&](BatchEnvironment& env) {
            env.startingToSend = [&] { armed = true; };
            // Ctrl-C arrives while the second job is being sent.
            env.stopRequested = [&] { return recorder.sent.size() >= 2; };
        });
        QVERIFY(armed);
        QCOMPARE(result.status, int(kExitInterrupted));
        QCOMPARE(recorder.sent, jobsOf(arguments, kFiveRows).mid(0, 2));
        QCOMPARE(recorder.closes, 1);
        QCOMPARE(
            result.err,
            QStringLiteral("quorlex-label-batch: stopped by Ctrl-C: 2 of 5 jobs gone (3 labels; gone: recorded)\n"));
    }

    void progressAfterItsTime()
    {
        Recorder recorder;
        const BatchRun result = run({"--size", "3M", "--csv", "-"}, &recorder, kFiveRows,
                                    [](BatchEnvironment& env) { env.progressAfter = std::chrono::milliseconds(0); });
        QCOMPARE(result.status, int(kExitOk));
        const QStringList lines = result.err.split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() >= 2, qPrintable(result.err));
        QCOMPARE(lines.first(), QStringLiteral("quorlex-label-batch: rows 1 of 5 done, 1 labels sent"));
        QCOMPARE(lines.last(), QStringLiteral("quorlex-label-batch: rows 5 of 5 done, 15 labels sent"));
        QCOMPARE(lines.count(lines.last()), 1); // the end of the run does not repeat the last line
    }

    void progressOnATerminalRewritesOneLine()
    {
        Recorder recorder;
        const BatchRun result =
            run({"--size", "3M", "--item", "A", "--qty", "4"}, &recorder, {}, [](BatchEnvironment& env) {
                env.progressAfter = std::chrono::milliseconds(0);
                env.errorIsTerminal = true;
            });
        QCOMPARE(result.status, int(kExitOk));
        QVERIFY2(result.err.startsWith("\rquorlex-label-batch: jobs 1 of 1 done, 4 labels sent"),
                 qPrintable(result.err));
        QVERIFY(result.err.endsWith("\n"));
        QCOMPARE(result.err.count('\n'), 1);
    }

    // A standard output that takes nothing: --help and --dry-run say so and end with status 1.
    void failedWritesToStandardOutput_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::addRow("help") << QStringList{"--help"}
                              << "writing the help to standard output: No space left on device";
        QTest::addRow("dry run") << QStringList{"--size", "3M", "--csv", "-", "--dry-run"}
                                 << "row 2 (line 2): sending to standard output: No space left on device; 0 of 5 "
                                    "jobs gone (0 labels; gone: standard output has taken every byte, not just "
                                    "the program's buffer)";
    }
    void failedWritesToStandardOutput()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        FullDevice full;
        const BatchRun result =
            run(arguments, nullptr, kFiveRows, [&](BatchEnvironment& env) { env.standardOutput = &full; });
        QCOMPARE(result.status, int(kExitSendFailed));
        QCOMPARE(result.err, "quorlex-label-batch: " + error + "\n");
    }

    // A composition failure names the CSV column (or the option) from the fault itself, whatever the
    // box headings say.
    void compositionProblemNamesTheColumn_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("field"); // -1: a setting, not a field text
        QTest::addColumn<QString>("expected");
        QTest::addRow("Data text in a row")
            << 3 << int(LabelField::Data) << "row 3 (line 5), column data: contains a line break";
        QTest::addRow("Item text in a row")
            << 2 << int(LabelField::Item) << "row 2 (line 5), column item: contains a line break";
        QTest::addRow("Checksum from options") << 0 << int(LabelField::Checksum) << "--checksum: contains a line break";
        QTest::addRow("gap in a row") << 4 << -1 << "row 4 (line 5): Gap: contains a line break";
        QTest::addRow("gap from options") << 0 << -1 << "Gap: contains a line break";
    }
    void compositionProblemNamesTheColumn()
    {
        QFETCH(int, row);
        QFETCH(int, field);
        QFETCH(QString, expected);
        CheckedLabel label;
        label.row = row;
        label.line = row > 0 ? 5 : 0;
        JobFault fault;
        fault.problem = JobProblem::LineBreak;
        fault.setting = JobSetting::Gap;
        if (field >= 0)
            fault.field = LabelField(field);
        QCOMPARE(compositionProblem(label, fault), expected);
    }

    void helpDocumentsEverything()
    {
        const BatchRun result = run({"--help"});
        QCOMPARE(result.status, int(kExitOk));
        for (const char* needle : {"--size",
                                   "--five-across",
                                   "--darkness",
                                   "--qty",
                                   "--gap",
                                   "--nudge",
                                   "--item",
                                   "--version",
                                   "--data",
                                   "--checksum",
                                   "--csv",
                                   "--port",
                                   "--dry-run",
                                   "Exit status",
                                   "130",
                                   "RFC 4180",
                                   "9600",
                                   "QUORLEX_LABEL_COM1",
                                   "QUORLEX_LABEL_LPT1",
                                   "Ctrl-C",
                                   "6M  12 x 12 mm label, gap 18",
                                   "9M  10 x 18 mm label, gap 18",
                                   "1M  5 x 7 mm label, gap 20.8",
                                   "0 to 240",
                                   "printable ASCII (no",
                                   "at most 256 MiB",
                                   "2000000 rows"})
            QVERIFY2(QString::fromUtf8(result.out).contains(QLatin1String(needle)), needle);
        QCOMPARE(result.err, QString());
    }
};

QTEST_MAIN(BatchRunTest)
#include "tst_batch_run.moc"
