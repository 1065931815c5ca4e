// The README's table of EPL2 commands says for each one whether the pictures draw it, keep it as state or
// report it as not understood; this keeps the table and the reader in step.
#include "render/label_render.h"
#include "support/label_pictures.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace {

struct Example
{
    QByteArray before; // lines that set the command up
    QByteArray line;   // the command itself
    QByteArray after;  // what follows it
};

QHash<QString, Example> examples()
{
    const QByteArray form = "FK\"T\"\r\nFS\"T\"\r\n";
    const QByteArray pcx = pcxFile({QStringLiteral("########")}); // 8 by 1 dots, all black
    const QByteArray stored = "GM\"L\"" + QByteArray::number(pcx.size()) + "\r\n" + pcx + "\r\n";
    return {
        {"A", {"", "A10,10,0,1,1,1,N,\"X\"", ""}},
        {"AUTOFR", {"", "AUTOFR", ""}},
        {"B", {"", "B10,10,0,1,2,4,30,N,\"X1\"", ""}},
        {"b", {"", "b10,10,Q,s2,\"X\"", ""}},
        {"C", {form, "C0,3,L,+1,\"\"", "FE\r\n"}},
        {"D", {"", "D8", ""}},
        {"dump", {"", "dump", ""}},
        {"EI", {"", "EI", ""}},
        {"EK", {"", "EK\"F\"", ""}},
        {"eR", {"", "eR,0,0", ""}},
        {"ES",
         {"",
          "ES\"F\"" + QByteArray("\x01\x00\x01"
                                 "A\x01\x01\x80",
                                 7),
          ""}},
        {"FE", {form, "FE", ""}},
        {"FI", {"", "FI", ""}},
        {"FK", {"", "FK\"T\"", ""}},
        {"FR", {form + "FE\r\n", "FR\"T\"", ""}},
        {"FS", {"FK\"T\"\r\n", "FS\"T\"", "FE\r\n"}},
        {"GG", {stored, "GG0,0,\"L\"", ""}},
        {"GI", {"", "GI", ""}},
        {"GK", {"", "GK\"L\"", ""}},
        {"GM", {"", "GM\"L\"" + QByteArray::number(pcx.size()), pcx + "\r\n"}},
        {"GW", {"", QByteArray("GW0,0,1,1,\0", 11), ""}},
        {"I", {"", "I8,1,001", ""}},
        {"i", {"", "i8", ""}},
        {"JB", {"", "JB", ""}},
        {"JC", {"", "JC", ""}},
        {"JF", {"", "JF", ""}},
        {"LE", {"", "LE0,0,5,5", ""}},
        {"LO", {"", "LO0,0,5,5", ""}},
        {"LS", {"", "LS0,0,2,20,10", ""}},
        {"LW", {"LO0,0,30,30\r\n", "LW0,0,5,5", ""}},
        {"M", {"", "M32", ""}},
        {"N", {"", "N", ""}},
        {"o", {"", "o", ""}},
        {"oB", {"", "oB", ""}},
        {"oE", {"", "oEa,b", ""}},
        {"oH", {"", "oH10,10", ""}},
        {"oM", {"", "oM", ""}},
        {"oR", {"", "oR", ""}},
        {"oW", {"", "oW2,2", ""}},
        {"O", {"", "OD", ""}},
        {"P", {"", "P1", ""}},
        {"PA", {"", "PA1", ""}},
        {"q", {"", "q200", ""}},
        {"Q", {"", "Q100,24", ""}},
        {"r", {"", "rN", ""}},
        {"R", {"", "R5,5", ""}},
        {"S", {"", "S2", ""}},
        {"TD", {"", "TDy2.mn.dd", ""}},
        {"TS", {"", "TS01,01,01,01,01,01", ""}},
        {"TT", {"", "TTh:m", ""}},
        {"U", {"", "U", ""}},
        {"UE", {"", "UE", ""}},
        {"UF", {"", "UF", ""}},
        {"UG", {"", "UG", ""}},
        {"UI", {"", "UI", ""}},
        {"UM", {"", "UM", ""}},
        {"UN", {"", "UN", ""}},
        {"UP", {"", "UP", ""}},
        {"UQ", {"", "UQ", ""}},
        {"US", {"", "US", ""}},
        {"V", {form, "V00,5,L,\"\"", "FE\r\n"}},
        {"W", {"", "WN", ""}},
        {"X", {"", "X1,1,2,20,20", ""}},
        {"xa", {"", "xa", ""}},
        {"Y", {"", "Y96,N,8,1", ""}},
        {"Z", {"", "ZB", ""}},
        {"?", {form + "V00,5,L,\"\"\r\nFE\r\nFR\"T\"\r\n", "?", "ABC\r\n"}},
        {"^@", {"", "^@", ""}},
        {"^default", {"", "^default", ""}},
        {"^ee", {"", "^ee", ""}},
    };
}

QByteArray jobWith(const Example& e, bool withLine, bool print)
{
    return "N\r\nq100\r\nQ60,24\r\n" + e.before + (withLine ? e.line + "\r\n" : QByteArray()) + e.after +
           (print ? "P1\r\n" : "");
}

} // namespace

class CommandTableTest : public QObject
{
    Q_OBJECT

private slots:
    void everyCommand_data();
    void everyCommand();
};

void CommandTableTest::everyCommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("status");

    QFile readme(QFINDTESTDATA("../../README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    // The table stands in its own section; other tables of the README are not read.
    QString text = QString::fromUtf8(readme.readAll());
    const qsizetype section = text.indexOf(QLatin1String("\n### Jobs from other programs\n"));
    QVERIFY2(section >= 0, "the README has no section \"Jobs from other programs\"");
    text = text.mid(section + 1);
    text.truncate(text.indexOf(QLatin1String("\n#"), 1) < 0 ? text.size() : text.indexOf(QLatin1String("\n#"), 1));
    static const QRegularExpression row(QStringLiteral("^\\| `([^`]+)` \\| [^|]+ \\| ([a-z ]+) \\|$"),
                                        QRegularExpression::MultilineOption);
    const QHash<QString, Example> known = examples();
    QSet<QString> listed;
    for (auto it = row.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString command = match.captured(1);
        QVERIFY2(known.contains(command), qPrintable(command + " is in the table but has no example here"));
        listed << command;
        QTest::addRow("%s", qPrintable(command)) << command << match.captured(2);
    }
    for (auto it = known.cbegin(); it != known.cend(); ++it)
        QVERIFY2(listed.contains(it.key()), qPrintable(it.key() + " is missing from the README's table"));
}

void CommandTableTest::everyCommand()
{
    QFETCH(QString, command);
    QFETCH(QString, status);
    const Example e = examples().value(command);
    const bool isPrint = command == QLatin1String("P");
    const RenderResult with = renderJob(jobWith(e, true, !isPrint));
    QVERIFY(with.error.isEmpty());

    if (status == QLatin1String("not understood")) {
        const int line = 4 + int(e.before.count('\n'));
        bool noted = false;
        for (const JobNote& note : with.notUnderstood)
            noted = noted || note.line == line;
        QVERIFY2(noted, qPrintable(command + " was read without a note"));
        return;
    }
    for (const JobNote& note : with.notUnderstood)
        QFAIL(qPrintable(QStringLiteral("%1: line %2: %3").arg(command).arg(note.line).arg(note.text)));
    if (status == QLatin1String("kept as state"))
        return;
    QCOMPARE(status, QStringLiteral("drawn"));
    const RenderResult without = renderJob(jobWith(e, false, !isPrint));
    const QImage drawn = with.labels.isEmpty() ? QImage() : with.labels.first().image;
    const QImage plain = without.labels.isEmpty() ? QImage() : without.labels.first().image;
    QVERIFY2(!drawn.isNull() && drawn != plain, qPrintable(command + " drew nothing"));
}

QTEST_MAIN(CommandTableTest)
#include "tst_command_table.moc"
