// Outside text in messages: nothing a terminal would act on, nothing unbounded.
#include "common/safe_text.h"

#include <QtTest>

class SafeTextTest : public QObject
{
    Q_OBJECT

private slots:
    void quotedForMessage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addRow("plain") << "AB 12"
                               << "\"AB 12\"";
        QTest::addRow("empty") << ""
                               << "\"\"";
        QTest::addRow("escape sequence") << "\x1B[2J"
                                         << "\"\\x1B[2J\"";
        QTest::addRow("line ends and tab") << "a\r\nb\tc"
                                           << "\"a\\r\\nb\\tc\"";
        QTest::addRow("NUL and DEL") << QString(QChar(0)) + "x\x7F"
                                     << "\"\\x00x\\x7F\"";
        QTest::addRow("quote and backslash") << "say \"hi\" \\n"
                                             << "\"say \\\"hi\\\" \\\\n\"";
        QTest::addRow("outside ASCII") << QString::fromUtf8("\xED\x95\x9C\xC3\xA9") << "\"<U+D55C><U+00E9>\"";
        QTest::addRow("C1 control") << QString(QChar(0x9B)) + "31m"
                                    << "\"<U+009B>31m\"";
        QTest::addRow("a pair of surrogates is one character")
            << QString::fromUtf8("\xF0\x9F\x98\x80") << "\"<U+1F600>\"";
        QTest::addRow("lone surrogate") << QString(QChar(0xD800)) << "\"<U+D800>\"";
        QTest::addRow("32 characters are shown whole") << QString(32, 'A') << '"' + QString(32, 'A') + '"';
        QTest::addRow("33 are cut") << QString(33, 'A') << '"' + QString(32, 'A') + "...\" (33 characters)";
        QTest::addRow("5 MB") << QString(5 * 1024 * 1024, 'x') << '"' + QString(32, 'x') + "...\" (5242880 characters)";
        QTest::addRow("length counts characters, not halves of pairs")
            << QString::fromUtf8("\xF0\x9F\x98\x80").repeated(40)
            << '"' + QStringLiteral("<U+1F600>").repeated(32) + "...\" (40 characters)";
    }
    void quotedForMessage()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(::quotedForMessage(text), shown);
    }

    void visibleForMessage()
    {
        QCOMPARE(::visibleForMessage(QStringLiteral("/tmp/a\nb \"c\".csv")), QStringLiteral("/tmp/a\\nb \"c\".csv"));
        QCOMPARE(::visibleForMessage(QString(200, '/')), QString(160, '/') + "... (200 characters)");
    }

    // The last step before a line reaches the terminal changes only what a terminal would act on, so text
    // made visible before passes unchanged.
    void safeMessageLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("shown");
        QTest::addRow("already safe") << "row 2: \"\\x1B\" and <U+D55C>"
                                      << "row 2: \"\\x1B\" and <U+D55C>";
        QTest::addRow("raw controls") << "opening /dev/\x1B[2J\r\n"
                                      << "opening /dev/\\x1B[2J\\r\\n";
        QTest::addRow("C1 control") << QString(QChar(0x85)) << "<U+0085>";
        QTest::addRow("text outside ASCII is kept")
            << QString::fromUtf8("\xED\x95\x9C") << QString::fromUtf8("\xED\x95\x9C");
        QTest::addRow("long line") << QString(1500, 'a') << QString(1000, 'a') + "... (1500 characters)";
    }
    void safeMessageLine()
    {
        QFETCH(QString, line);
        QFETCH(QString, shown);
        QCOMPARE(::safeMessageLine(line), shown);
    }
};

QTEST_MAIN(SafeTextTest)
#include "tst_safe_text.moc"
