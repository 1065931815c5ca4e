#include "support/batch_harness.h"

#include <QBuffer>
#include <QtTest>

namespace {

using Rows = QList<QStringList>;

BatchOptions optionsFor(const QString& size)
{
    const ParsedCommandLine command = parseCommandLine({"--size", size, "--csv", "labels.csv"});
    return command.options;
}

} // namespace

class BatchCsvTest : public QObject
{
    Q_OBJECT

private slots:
    void readsRfc4180_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Rows>("fields");
        QTest::addColumn<QList<int>>("lines"); // the line each record starts on

        QTest::addRow("LF") << QByteArray("a,b\n1,2\n") << Rows{{"a", "b"}, {"1", "2"}} << QList<int>{1, 2};
        QTest::addRow("CR LF, no line end at the end")
            << QByteArray("a,b\r\n1,2") << Rows{{"a", "b"}, {"1", "2"}} << QList<int>{1, 2};
        QTest::addRow("lone CR") << QByteArray("a\r1\r2") << Rows{{"a"}, {"1"}, {"2"}} << QList<int>{1, 2, 3};
        QTest::addRow("byte-order mark") << QByteArray("\xEF\xBB\xBFitem\r\nX\r\n") << Rows{{"item"}, {"X"}}
                                         << QList<int>{1, 2};
        QTest::addRow("only the first byte-order mark goes")
            << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFitem") << Rows{{QString(QChar(0xFEFF)) + "item"}} << QList<int>{1};
        QTest::addRow("empty and blank fields kept as written")
            << QByteArray("a,b,c\n, x ,\n") << Rows{{"a", "b", "c"}, {"", " x ", ""}} << QList<int>{1, 2};
        QTest::addRow("comma in quotes") << QByteArray("\"a,b\",c\n") << Rows{{"a,b", "c"}} << QList<int>{1};
        QTest::addRow("doubled quotes") << QByteArray("\"say \"\"hi\"\"\",\"\"\"\"\n") << Rows{{"say \"hi\"", "\""}}
                                        << QList<int>{1};
        QTest::addRow("line breaks in quotes are kept and counted")
            << QByteArray("\"a\r\nb\",\"c\nd\"\r\nnext\r\n") << Rows{{"a\r\nb", "c\nd"}, {"next"}} << QList<int>{1, 4};
        QTest::addRow("empty lines give records without fields")
            << QByteArray("a\n\nb\r\n\r\n") << Rows{{"a"}, {}, {"b"}, {}} << QList<int>{1, 2, 3, 4};
        QTest::addRow("a quoted empty field is not an empty line")
            << QByteArray("a\n\"\"\n") << Rows{{"a"}, {""}} << QList<int>{1, 2};
        QTest::addRow("trailing comma") << QByteArray("a,\n") << Rows{{"a", ""}} << QList<int>{1};
        QTest::addRow("UTF-8 text") << QByteArray("\xC3\x84,\xE2\x82\xAC\n") << Rows{{"\u00C4", "\u20AC"}}
                                    << QList<int>{1};
        QTest::addRow("nothing") << QByteArray() << Rows{} << QList<int>{};
    }
    void readsRfc4180()
    {
        QFETCH(QByteArray, text);
        QFETCH(Rows, fields);
        QFETCH(QList<int>, lines);
        const CsvText table = readCsvText(text);
        QVERIFY2(table.error.isEmpty(), qPrintable(table.error));
        Rows gotFields;
        QList<int> gotLines;
        for (const CsvRecord& record : table.records) {
            gotFields << record.fields;
            gotLines << record.line;
        }
        QCOMPARE(gotFields, fields);
        QCOMPARE(gotLines, lines);
    }

    void refusesBrokenText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("line");
        QTest::addRow("quote not closed") << QByteArray("a\n1\n\"x,\ny\n")
                                          << "a field in double quotes is not "
                                             "closed (it opens on line 3)"
                                          << 3;
        QTest::addRow("text after closing quote")
            << QByteArray("a\n\"x\"\r\n\"y\"z\n") << "text after the closing double quote of a field" << 3;
        QTest::addRow("quote inside a plain field")
            << QByteArray("a\nab\"c\n")
            << "a double quote inside a field that does not start with one (put the field in double quotes and "
               "double the quote)"
            << 2;
        QTest::addRow("not UTF-8") << QByteArray("a\nok\n\xC3(\n") << "the text is not UTF-8" << 3;
        QTest::addRow("Latin-1 export") << QByteArray("item\n\xC4\n") << "the text is not UTF-8" << 2;
        QTest::addRow("a character cut off at the very end")
            << QByteArray("item\nAB\xC3") << "the text is not UTF-8" << 2;
        QTest::addRow("three bytes of four at the end")
            << QByteArray("item\nA\n\xF0\x9F\x98") << "the text is not UTF-8" << 3;
        QTest::addRow("overlong form of NUL") << QByteArray("item\n\xC0\x80\n") << "the text is not UTF-8" << 2;
        QTest::addRow("surrogate") << QByteArray("item\n\xED\xA0\x80\n") << "the text is not UTF-8" << 2;
        QTest::addRow("past U+10FFFF") << QByteArray("item\n\xF4\x90\x80\x80\n") << "the text is not UTF-8" << 2;
        QTest::addRow("inside quotes, on the line it is on")
            << QByteArray("item\n\"a\nb\xFF\"\n") << "the text is not UTF-8" << 3;
        QTest::addRow("field over 256 bytes") << QByteArray("item\n" + QByteArray(257, 'A') + "\n")
                                              << "a field is longer than 256 bytes, the most a field may hold" << 2;
        QTest::addRow("quoted field over 256 bytes")
            << QByteArray("item\n\"" + QByteArray(600, '"') + "\"\n")
            << "a field is longer than 256 bytes, the most a field may hold" << 2;
        QTest::addRow("NUL bytes without end")
            << QByteArray(100000, '\0') << "a field is longer than 256 bytes, the most a field may hold" << 1;
        QTest::addRow("65 fields") << QByteArray("item\n" + QByteArray(64, ',') + "\n")
                                   << "more than 64 fields in one row" << 2;
    }
    void refusesBrokenText()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        QFETCH(int, line);
        const CsvText table = readCsvText(text);
        QCOMPARE(table.error, error);
        QCOMPARE(table.errorLine, line);
    }

    void labelsPastTheMost()
    {
        QByteArray text = "item\nA\nB\n\nC\nD\nE\n";
        QBuffer device(&text);
        device.open(QIODevice::ReadOnly);
        CsvReader reader(device);
        const CheckedRun run = checkCsv(optionsFor("3M"), reader, "labels.csv", 3);
        QCOMPARE(run.problems,
                 QStringList{"labels.csv: row 6 (line 6): more than 3 rows with a label, the most one run "
                             "takes; split the file"});
    }

    // Exactly 256 bytes and 64 fields are still read.
    void readsUpToItsLimits()
    {
        const CsvText table = readCsvText("a\n" + QByteArray(256, 'A') + "\n" + QByteArray(63, ',') + "\n");
        QVERIFY2(table.error.isEmpty(), qPrintable(table.error));
        QCOMPARE(table.records.size(), 3);
        QCOMPARE(table.records.at(1).fields.first().size(), 256);
        QCOMPARE(table.records.at(2).fields.size(), 64);
    }

    // The input size limit counts every byte read, empty lines too, and the reader stops reading there.
    void inputOverItsLimit()
    {
        CsvLimits limits;
        limits.inputBytes = 1000;
        const CsvText within = readCsvText(QByteArray(1000, '\n'), limits);
        QCOMPARE(within.error, QString());
        const CsvText over = readCsvText(QByteArray(1001, '\n'), limits, 7);
        QCOMPARE(over.error, "the input is larger than 1000 bytes, the most this program reads");
        QCOMPARE(over.errorLine, 995); // 994 lines ended by the 994 bytes read before the last piece
    }

    // A pipe hands the text over in pieces of any size: the records are the same however it is cut, the
    // byte-order mark and CR LF split over pieces included.
    void piecesOfAnySize_data()
    {
        QTest::addColumn<qint64>("step");
        for (qint64 step : {1, 2, 3, 5, 64})
            QTest::addRow("%lld bytes at a time", step) << step;
    }
    void piecesOfAnySize()
    {
        QFETCH(qint64, step);
        const QByteArray text = "\xEF\xBB\xBFitem,version\r\n\"a\r\n\"\"b\",\xC3\xA9\r\n\r\nX,\xF0\x9F\x98\x80\r\n";
        const CsvText whole = readCsvText(text);
        const CsvText pieces = readCsvText(text, {}, step);
        QCOMPARE(whole.error, QString());
        QCOMPARE(pieces.error, QString());
        QCOMPARE(pieces.records.size(), 4);
        for (qsizetype i = 0; i < whole.records.size(); ++i) {
            QCOMPARE(pieces.records.at(i).fields, whole.records.at(i).fields);
            QCOMPARE(pieces.records.at(i).line, whole.records.at(i).line);
        }
        QCOMPARE(pieces.records.at(1).fields.first(), "a\r\n\"b");
    }

    void readErrorIsNamed()
    {
        TrickleDevice device("item\nA\n", 3, true);
        CsvReader reader(device);
        CsvRecord record;
        while (reader.next(record)) {
        }
        QCOMPARE(reader.error(), "cannot read on: the test device broke");
        QCOMPARE(reader.errorLine(), 3);
    }

    // A CSV row makes the same job as the same label given as options, whatever the column order, the case
    // of the header and the columns left out.
    void rowIsTheLabelFromOptions()
    {
        const CheckedCsv fromCsv = checkCsvText(optionsFor("6M"), " Qty ,CHECKSUM,item\r\n3,57,AB1234\r\n,,X\r\n");
        QVERIFY2(fromCsv.problems.isEmpty(), qPrintable(fromCsv.problems.join('\n')));
        QCOMPARE(fromCsv.jobs.size(), 2);

        const QList<QByteArray> first =
            batchJobs({"--size", "6M", "--item", "AB1234", "--checksum", "57", "--qty", "3"}, {});
        QCOMPARE(fromCsv.jobs.at(0), first.value(0));
        QCOMPARE(fromCsv.labels.at(0).values[kQuantityColumn], "3");
        QCOMPARE(fromCsv.jobs.at(1), batchJobs({"--size", "6M", "--item", "X"}, {}).value(0));
        QCOMPARE(fromCsv.labels.at(1).values[kQuantityColumn], "1"); // an empty qty cell takes --qty
        QCOMPARE(fromCsv.labels.at(1).row, 3);
    }

    void emptyLinesAreSkippedButCounted()
    {
        const CheckedCsv list = checkCsvText(optionsFor("3M"), "item\n\nA\n\nB\n");
        QVERIFY(list.problems.isEmpty());
        QCOMPARE(list.labels.size(), 2);
        QCOMPARE(list.labels.at(0).row, 3);
        QCOMPARE(list.labels.at(1).row, 5);
    }

    // Each bad row is reported with its row, the line it starts on and its column, and no job is kept.
    void badRowsAreReported_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("errors");
        const QString f = QStringLiteral("labels.csv: ");
        QTest::addRow("unknown column")
            << "3M" << QByteArray("item,colour\nA,red\n")
            << QStringList{f + "row 1, column 2: unknown column \"colour\" (the columns are item, version, data, "
                               "checksum and qty)"};
        QTest::addRow("column twice") << "3M" << QByteArray("item,ITEM\nA,B\n")
                                      << QStringList{f + "row 1, column 2: \"ITEM\" names a column a second time"};
        QTest::addRow("no header") << "3M" << QByteArray("")
                                   << QStringList{f + "row 1: the first row must name the columns (item, version, "
                                                      "data, checksum, qty)"};
        QTest::addRow("header only") << "3M" << QByteArray("item\r\n")
                                     << QStringList{f + "no labels after the header row"};
        QTest::addRow("too many fields") << "3M" << QByteArray("item,version\nA,B,C\n")
                                         << QStringList{f + "row 2 (line 2): 3 fields where the header has 2"};
        QTest::addRow("too long, after a quoted line break")
            << "3M" << QByteArray("item,version\n\"A\nB\",V\nAB1234,V1234567\n")
            << QStringList{f + "row 2 (line 2), column item: contains a line break",
                           f + "row 3 (line 4), column version: \"V1234567\" is longer than 6 characters"};
        QTest::addRow("blanks around six characters are not counted")
            << "3M" << QByteArray("item,version\n AB1234 ,V12345678\n")
            << QStringList{f + "row 2 (line 2), column version: \"V12345678\" is longer than 6 characters"};
        QTest::addRow("outside ASCII in data")
            << "9M" << QByteArray("item,data\nA,06\xE2\x82\xAC\n")
            << QStringList{f + "row 2 (line 2), column data: contains a character outside ASCII (U+20AC)"};
        QTest::addRow("control character in checksum")
            << "3M" << QByteArray("checksum\n\"a\x1B\"\n")
            << QStringList{f + "row 2 (line 2), column checksum: contains a control character (U+001B)"};
        QTest::addRow("data under 2M") << "2M" << QByteArray("item,data\nA,\nB,0623\n")
                                       << QStringList{f + "row 3 (line 3), column data: must be empty: 2M labels "
                                                          "print only Item and Version"};
        QTest::addRow("checksum under 1M") << "1M" << QByteArray("item,checksum\nA,7\n")
                                           << QStringList{f + "row 2 (line 2), column checksum: must be empty: 1M "
                                                              "labels print only Item and Version"};
        QTest::addRow("quantity")
            << "3M" << QByteArray("item,qty\nA,0\nB,65536\nC,2x\nD,65535\n")
            << QStringList{f + "row 2 (line 2), column qty: \"0\" is not a whole number from 1 to 65535",
                           f + "row 3 (line 3), column qty: \"65536\" is not a whole number from 1 to "
                               "65535",
                           f + "row 4 (line 4), column qty: \"2x\" is not a whole number from 1 to 65535"};
        QTest::addRow("values are quoted safely")
            << "3M" << QByteArray("item,\"\x1B[2J\r\"\nABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789,\n")
            << QStringList{f + "row 1, column 2: unknown column \"\\x1B[2J\\r\" (the columns are item, version, data, "
                               "checksum and qty)"};
        QTest::addRow("long value cut")
            << "3M" << QByteArray("item\nABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\n")
            << QStringList{f + "row 2 (line 2), column item: \"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345...\" (36 characters) "
                               "is longer than 6 characters"};
        QTest::addRow("tab in a text") << "3M" << QByteArray("item,version\nA,\"V\t1\"\n")
                                       << QStringList{f + "row 2 (line 2), column version: contains a tab (texts are "
                                                          "printable ASCII)"};
        QTest::addRow("bad rows then broken text")
            << "3M" << QByteArray("item\nTOOLONG\nA\xFF\n")
            << QStringList{f + "row 2 (line 2), column item: \"TOOLONG\" is longer than 6 characters",
                           f + "line 3: the text is not UTF-8"};
        QTest::addRow("broken text") << "3M" << QByteArray("item\n\"A\n")
                                     << QStringList{f + "line 2: a field in double quotes is not closed (it opens on "
                                                        "line 2)"};
    }
    void badRowsAreReported()
    {
        QFETCH(QString, size);
        QFETCH(QByteArray, text);
        QFETCH(QStringList, errors);
        const CheckedCsv list = checkCsvText(optionsFor(size), text);
        QCOMPARE(list.problems, errors);
        QVERIFY(list.jobs.isEmpty());
    }
};

QTEST_MAIN(BatchCsvTest)
#include "tst_batch_csv.moc"
