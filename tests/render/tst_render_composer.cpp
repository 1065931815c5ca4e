// The renderer as a check of the composer: every job the window or the batch can send is understood in full
// and prints the texts that were typed, where the positions put them.
#include "printing/epl2_job.h"
#include "printing/presets.h"
#include "render/label_render.h"
#include "support/label_pictures.h"

#include <QtTest>

Q_DECLARE_METATYPE(LabelSettings)

namespace {

struct JobShape
{
    LabelSize size;
    bool fiveAcross;
    int fields;
    QSize dots;
};

const JobShape kShapes[] = {
    {LabelSize::M1, false, 2, {48, 38}},  {LabelSize::M2, false, 2, {48, 130}},  {LabelSize::M2, true, 10, {304, 81}},
    {LabelSize::M3, false, 4, {150, 86}}, {LabelSize::M6, false, 4, {150, 100}}, {LabelSize::M9, false, 4, {150, 144}},
};

QString shapeName(const JobShape& shape)
{
    return labelSizeName(shape.size) + (shape.fiveAcross ? QStringLiteral(" five-across") : QString());
}

// Up to six characters Print lets through: printable ASCII, blanks at either end included.
QString randomText(QRandomGenerator& random)
{
    QString text;
    const int length = int(random.bounded(7));
    for (int i = 0; i < length; ++i)
        text += QLatin1Char(char(0x20 + random.bounded(0x5F)));
    return text;
}

} // namespace

class RenderComposerTest : public QObject
{
    Q_OBJECT

private slots:
    void everyJobIsUnderstood_data();
    void everyJobIsUnderstood();
};

void RenderComposerTest::everyJobIsUnderstood_data()
{
    QTest::addColumn<LabelSettings>("settings");
    QTest::addColumn<int>("fields");
    QTest::addColumn<QSize>("dots");

    QRandomGenerator random(1717);
    for (const JobShape& shape : kShapes) {
        LabelSettings startUp = presetSettings(shape.size).settings;
        startUp.fiveAcross = shape.fiveAcross ? 1 : 0;
        QTest::addRow("%s, start-up values", qPrintable(shapeName(shape))) << startUp << shape.fields << shape.dots;
        for (int round = 0; round < 40; ++round) {
            LabelSettings settings = startUp;
            settings.item = randomText(random);
            settings.version = randomText(random);
            if (presetFor(shape.size).dataAndChecksumUsed) {
                settings.data = randomText(random);
                settings.checksum = round % 2 == 0 ? QString() : randomText(random);
            }
            settings.darkness = QString::number(random.bounded(16));
            settings.quantity = QString::number(1 + random.bounded(65535));
            if (round % 3 == 0)
                settings.gap = QStringLiteral("%1.%2").arg(random.bounded(40)).arg(random.bounded(10));
            QTest::addRow("%s, random texts %d", qPrintable(shapeName(shape)), round)
                << settings << shape.fields << shape.dots;
        }
    }
}

void RenderComposerTest::everyJobIsUnderstood()
{
    QFETCH(LabelSettings, settings);
    QFETCH(int, fields);
    QFETCH(QSize, dots);

    const ComposedJob job = composeJob(settings);
    QVERIFY2(job.ok(), qPrintable(job.cause()));
    const RenderResult result = renderJob(job.bytes);
    QVERIFY(result.error.isEmpty());
    for (const JobNote& note : result.notUnderstood)
        qWarning("line %d: %s", note.line, qPrintable(note.text));
    QVERIFY(result.notUnderstood.isEmpty());
    QCOMPARE(result.labelsPrinted, quint64(settings.quantity.toUInt()));
    QCOMPARE(result.labels.size(), 1);
    const RenderedLabel& label = result.labels.first();
    QCOMPARE(label.dots, dots);
    QCOMPARE(label.fields.size(), fields);

    // Field order as the composer writes the lines; an empty checksum prints the counter's first value.
    QStringList typed;
    if (settings.fiveAcross && settings.size == LabelSize::M2) {
        for (int copy = 0; copy < 5; ++copy)
            typed << settings.version << settings.item;
    } else {
        typed << settings.item << settings.version;
        if (fields == 4)
            typed << settings.data << (trimBlanks(settings.checksum).isEmpty() ? "0001" : settings.checksum);
    }
    for (int i = 0; i < fields; ++i) {
        const RenderedField& field = label.fields.at(i);
        QCOMPARE(trimBlanks(field.text), trimBlanks(typed.at(i)));
        // Ink where the letters are, and none where a field has nothing to print.
        QCOMPARE(field.ink.isEmpty(), blackPixels(label.image, field.cells) == 0);
    }
}

QTEST_MAIN(RenderComposerTest)
#include "tst_render_composer.moc"
