// The figures the README states that the code also holds, so that the prose keeps in step with it: the
// table of time-outs under "Printers and ports".
#include "output/destination.h"
#include "output/serial_port.h"

#include <QFile>
#include <QtTest>

namespace {

// The rows of the README's table whose header is `header`: each row's cells, without the outer bars.
QList<QStringList> readmeTable(const QString& header)
{
    QFile file(QStringLiteral(QUORLEX_SOURCE_DIR "/README.md"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QList<QStringList> rows;
    const qsizetype start = lines.indexOf(header);
    for (qsizetype i = start + 2; start >= 0 && i < lines.size() && lines[i].startsWith(QLatin1Char('|')); ++i) {
        QStringList cells = lines[i].split(QLatin1Char('|'));
        cells = cells.mid(1, cells.size() - 2);
        for (QString& cell : cells)
            cell = cell.trimmed();
        rows << cells;
    }
    return rows;
}

QString seconds(std::chrono::milliseconds ms)
{
    return secondsText(ms) + QStringLiteral(" s");
}

} // namespace

class ReadmeTest : public QObject
{
    Q_OBJECT

private slots:
    void timeouts_data()
    {
        QTest::addColumn<QString>("wait");    // how the row's first cell begins
        QTest::addColumn<QString>("timeout"); // its second cell
        const DestinationTimeouts timeouts;
        const QString perBlock = QStringLiteral("%1 plus %2 for every 10 KB")
                                     .arg(seconds(timeouts.transferBase), seconds(timeouts.transferPer10KB));
        QTest::addRow("connecting") << "looking up a network printer's host" << seconds(timeouts.connect);
        QTest::addRow("taking a job") << "a device, pipe or network printer taking a job" << perBlock + " of the job";
        QTest::addRow("acknowledging") << "a network printer acknowledging" << perBlock + " sent";
        QTest::addRow("serial port") << "a serial port sending"
                                     << QStringLiteral("twice the job's time on the wire at %1 baud, plus %2")
                                            .arg(LineSettings().baudRate)
                                            .arg(seconds(SerialPort().drainTimeout(0)));
        QTest::addRow("CUPS request")
            << "a CUPS server answering a request"
            << QStringLiteral("%1 (for the document: %1 in which it takes nothing)").arg(seconds(timeouts.service));
        QTest::addRow("CUPS cancel") << "a CUPS server confirming that a job given up on is cancelled"
                                     << seconds(timeouts.connect) + QStringLiteral(", asked again and again meanwhile");
    }
    void timeouts()
    {
        QFETCH(QString, wait);
        QFETCH(QString, timeout);
        const QList<QStringList> rows = readmeTable(QStringLiteral("| Wait | Time-out |"));
        QCOMPARE(rows.size(), 6); // one for each row here
        QStringList found;
        for (const QStringList& row : rows) {
            if (row.size() == 2 && row[0].startsWith(wait))
                found << row[1];
        }
        QCOMPARE(found, QStringList{timeout});
    }
};

QTEST_GUILESS_MAIN(ReadmeTest)
#include "tst_readme.moc"
