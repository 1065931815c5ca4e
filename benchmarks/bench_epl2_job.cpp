#include "printing/epl2_job.h"
#include "printing/presets.h"

#include <QtTest>

Q_DECLARE_METATYPE(LabelSettings)

// Composing one job of each kind, with the positions of the size presets and full six-character texts.
class BenchEpl2Job : public QObject
{
    Q_OBJECT

private slots:
    void compose_data();
    void compose();
};

void BenchEpl2Job::compose_data()
{
    QTest::addColumn<LabelSettings>("settings");

    const auto settingsFor = [](LabelSize size) {
        const SizePreset& preset = presetFor(size);
        LabelSettings s;
        s.size = size;
        s.gap = QString::fromLatin1(preset.gap);
        s.positions = applyPresetPositions(preset, LabelPositions());
        s.item = QStringLiteral("AB1234");
        s.version = QStringLiteral("V1.0\"\\");
        s.data = QStringLiteral("0623");
        return s;
    };
    QTest::addRow("1M") << settingsFor(LabelSize::M1);
    QTest::addRow("2M") << settingsFor(LabelSize::M2);
    LabelSettings fiveAcross = settingsFor(LabelSize::M2);
    fiveAcross.fiveAcross = 1;
    fiveAcross.ItemXOffset = QStringLiteral("-3");
    fiveAcross.VerYOffset = QStringLiteral("2");
    QTest::addRow("2M five-across") << fiveAcross;
    QTest::addRow("stored form, counter") << settingsFor(LabelSize::M3);
    LabelSettings checksum = settingsFor(LabelSize::M9);
    checksum.checksum = QStringLiteral("57");
    QTest::addRow("stored form, checksum") << checksum;
}

void BenchEpl2Job::compose()
{
    QFETCH(LabelSettings, settings);
    QVERIFY(composeJob(settings).ok());
    QBENCHMARK
    {
        const ComposedJob job = composeJob(settings);
        // Keep the result observable so the call cannot be optimised away.
        if (job.bytes.isEmpty())
            QFAIL("no job");
    }
}

QTEST_GUILESS_MAIN(BenchEpl2Job)
#include "bench_epl2_job.moc"
