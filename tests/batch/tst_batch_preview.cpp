// quorlex-label-batch --preview: one picture per job of the very bytes a run would send, warnings for fields
// past an edge, usage errors, folders that cannot be written, Ctrl-C, and the installed program itself.
#include "render/label_render.h"
#include "support/batch_harness.h"
#include "support/label_pictures.h"
#include "support/test_files.h"

#include <QBuffer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

BatchRun runInProcess(const QStringList& arguments, const QByteArray& input = {}, std::function<bool()> stop = {})
{
    return runBatchInProcess(arguments, nullptr, input,
                             [&stop](BatchEnvironment& env) { env.stopRequested = std::move(stop); });
}

QByteArray rowsOf(const QByteArray& item, int rows)
{
    QByteArray csv = "item,version\n";
    for (int row = 0; row < rows; ++row)
        csv += item + ",V1\n";
    return csv;
}

} // namespace

class BatchPreviewTest : public QObject
{
    Q_OBJECT

private slots:
    void picturePerJob_data();
    void picturePerJob();
    void usageErrors_data();
    void usageErrors();
    void folderThatCannotBeWritten();
    void ctrlCBetweenPictures();
    void warningsAreBounded();
    void installedProgram();
};

void BatchPreviewTest::picturePerJob_data()
{
    QTest::addColumn<QStringList>("arguments"); // DIR stands for the folder
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<int>("scale");
    QTest::addColumn<QSize>("dots");
    QTest::addColumn<QString>("err");

    QTest::addRow("3M from options") << QStringList{"--size", "3M", "--item", "AB1234", "--preview", "DIR"}
                                     << QByteArray() << 1 << QSize(150, 86) << "";
    QTest::addRow("1M rows, one past the bottom")
        << QStringList{"--size", "1M", "--csv", "-", "--preview", "DIR"} << QByteArray("item,version\nAB,V1\nABC,V2\n")
        << 1 << QSize(48, 38)
        << "quorlex-label-batch: row 3 (line 3), job-00002.png: Item runs 6 dots past the bottom edge\n";
    QTest::addRow("five-across at scale 3, nudged off the left")
        << QStringList{"--size",    "2M", "--five-across", "--nudge", "ver-x=-8",        "--item", "AB",
                       "--version", "V1", "--preview",     "DIR",     "--preview-scale", "3"}
        << QByteArray() << 3 << QSize(304, 81)
        << "quorlex-label-batch: job-00001.png: Version (copy 1) runs 4 dots past the left edge\n";
    QTest::addRow("9M rows with a quantity, folder made")
        << QStringList{"--size", "9M", "--csv", "-", "--preview", "DIR/new/folder", "--preview-scale", "16"}
        << QByteArray("item,qty,checksum\nA,3,\nB,65535,57\n") << 16 << QSize(150, 144) << "";
}

void BatchPreviewTest::picturePerJob()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, csv);
    QFETCH(int, scale);
    QFETCH(QSize, dots);
    QFETCH(QString, err);

    QTemporaryDir temporary;
    QVERIFY(temporary.isValid());
    const int dirAt = int(arguments.indexOf(QRegularExpression(QStringLiteral("DIR.*"))));
    arguments[dirAt].replace(QLatin1String("DIR"), temporary.path());
    const BatchRun run = runInProcess(arguments, csv);
    QCOMPARE(run.err, err);
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray()); // nothing is sent, not even to standard output

    const QList<QByteArray> jobs = jobsOf(arguments, csv);
    QVERIFY(!jobs.isEmpty());
    const QDir folder(arguments.at(dirAt));
    QStringList expected;
    for (int i = 1; i <= jobs.size(); ++i)
        expected << QStringLiteral("job-%1.png").arg(i, 5, 10, QLatin1Char('0'));
    QCOMPARE(folder.entryList(QDir::Files, QDir::Name), expected);

    for (int i = 0; i < jobs.size(); ++i) {
        const QImage picture = QImage(folder.filePath(expected.at(i))).convertToFormat(QImage::Format_Grayscale8);
        QCOMPARE(picture.size(), dots * scale);
        QVERIFY(onlyBlackAndWhite(picture));
        // The picture is the drawing of the job's own bytes, scaled.
        const RenderResult drawn = renderJob(jobs.at(i), RenderOptions{scale, 1});
        QCOMPARE(drawn.labels.size(), 1);
        QVERIFY(picture == drawn.labels.first().image);
        QVERIFY(blackPixels(picture, picture.rect()) > 0);
    }
}

void BatchPreviewTest::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    const QStringList base{"--size", "3M", "--item", "A"};
    QTest::addRow("scale 0") << base + QStringList{"--preview", "DIR", "--preview-scale", "0"}
                             << "--preview-scale: \"0\" is not a whole number from 1 to 16";
    QTest::addRow("scale 17") << base + QStringList{"--preview", "DIR", "--preview-scale", "17"}
                              << "--preview-scale: \"17\" is not a whole number from 1 to 16";
    QTest::addRow("scale not a number") << base + QStringList{"--preview", "DIR", "--preview-scale", "2x"}
                                        << "--preview-scale: \"2x\" is not a whole number from 1 to 16";
    QTest::addRow("scale without preview")
        << base + QStringList{"--preview-scale", "2"} << "--preview-scale is only used with --preview";
    QTest::addRow("scale twice") << base +
                                        QStringList{"--preview", "DIR", "--preview-scale", "2", "--preview-scale", "3"}
                                 << "--preview-scale is given more than once";
    QTest::addRow("with --dry-run") << base + QStringList{"--preview", "DIR", "--dry-run"}
                                    << "--preview and --dry-run cannot be used together";
    QTest::addRow("empty folder name") << base + QStringList{"--preview", ""}
                                       << "--preview needs the folder to write the pictures into";
}

void BatchPreviewTest::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QTemporaryDir temporary;
    const QString folder = temporary.filePath(QStringLiteral("pictures"));
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^DIR$")), folder);
    const BatchRun run = runInProcess(arguments);
    QCOMPARE(run.status, 2);
    QCOMPARE(run.err.section(QLatin1Char('\n'), 0, 0), QStringLiteral("quorlex-label-batch: ") + error);
    QVERIFY(!QFileInfo::exists(folder));
}

void BatchPreviewTest::folderThatCannotBeWritten()
{
    QTemporaryDir temporary;
    const QString file = temporary.filePath(QStringLiteral("a-file"));
    QFile(file).open(QIODevice::WriteOnly);
    BatchRun run = runInProcess({"--size", "3M", "--item", "A", "--preview", file});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, QStringLiteral("quorlex-label-batch: --preview: cannot make the folder %1: it is not a folder; "
                                     "nothing was written\n")
                          .arg(file));

    // The second picture's name is taken by a folder: the first is written, the run stops there.
    QVERIFY(QDir(temporary.path()).mkpath(QStringLiteral("out/job-00002.png")));
    const QString out = temporary.filePath(QStringLiteral("out"));
    run = runInProcess({"--size", "3M", "--csv", "-", "--preview", out}, rowsOf("A", 3));
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.startsWith(QStringLiteral("quorlex-label-batch: cannot write %1/job-00002.png: ").arg(out)),
             qPrintable(run.err));
    QVERIFY(run.err.endsWith(QLatin1String("; 1 of 3 pictures written\n")));
    QVERIFY(QFileInfo(out + QStringLiteral("/job-00001.png")).isFile());
    QVERIFY(!QFileInfo::exists(out + QStringLiteral("/job-00003.png")));
}

void BatchPreviewTest::ctrlCBetweenPictures()
{
    QTemporaryDir temporary;
    int asked = 0;
    const BatchRun run = runInProcess({"--size", "6M", "--csv", "-", "--preview", temporary.path()}, rowsOf("A", 3),
                                      [&asked] { return ++asked == 3; });
    QCOMPARE(run.status, 130);
    QCOMPARE(run.err, QStringLiteral("quorlex-label-batch: stopped by Ctrl-C: 2 of 3 pictures written\n"));
    QCOMPARE(QDir(temporary.path()).entryList(QDir::Files).size(), 2);
}

void BatchPreviewTest::warningsAreBounded()
{
    QTemporaryDir temporary;
    const BatchRun run = runInProcess({"--size", "1M", "--csv", "-", "--preview", temporary.path()}, rowsOf("ABC", 60));
    QCOMPARE(run.status, 0);
    const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 51);
    QCOMPARE(lines.at(49), QStringLiteral("quorlex-label-batch: row 51 (line 51), job-00050.png: Item runs 6 dots past "
                                          "the bottom edge"));
    QCOMPARE(lines.last(), QStringLiteral("quorlex-label-batch: ... and 10 more warnings"));
    QCOMPARE(QDir(temporary.path()).entryList(QDir::Files).size(), 60);
}

// The program starts its own offscreen platform for the letters, whatever display the caller has or lacks,
// and says nothing when there is nothing to warn about.
void BatchPreviewTest::installedProgram()
{
    QTemporaryDir temporary;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":no-such-display"));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    QProcess process;
    process.setProcessEnvironment(env);
    endsWithTest(process);
    process.start(QStringLiteral(QUORLEX_BATCH_EXE),
                  {"--size", "9M", "--csv", "-", "--preview", temporary.path(), "--preview-scale", "2"});
    QVERIFY(process.waitForStarted(60000));
    process.write("item,version,data\nAB1234,V1,0623\n");
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        QFAIL("the program did not end in time");
    }
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()), QString());
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    const QImage picture(temporary.filePath(QStringLiteral("job-00001.png")));
    QCOMPARE(picture.size(), QSize(300, 288));
    QVERIFY(blackPixels(picture.convertToFormat(QImage::Format_Grayscale8), picture.rect()) > 0);
}

QTEST_MAIN(BatchPreviewTest)
#include "tst_batch_preview.moc"
