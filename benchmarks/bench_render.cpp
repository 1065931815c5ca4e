#include "layout/label_preset_settings.h"
#include "printing/epl2_job.h"
#include "render/label_render.h"

#include <QtTest>

// Drawing the first label of one job of each kind at one pixel per dot, with full six-character texts; the
// font is loaded before the measuring starts.
class BenchRender : public QObject
{
    Q_OBJECT

private slots:
    void render_data();
    void render();
};

void BenchRender::render_data()
{
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<int>("scale");

    const auto jobFor = [](LabelSize size, bool fiveAcross) {
        LabelSettings s = presetSettings(size).settings;
        s.fiveAcross = fiveAcross ? 1 : 0;
        s.item = QStringLiteral("AB1234");
        s.version = QStringLiteral("V1.0\"\\");
        s.data = QStringLiteral("0623");
        return composeJob(s).bytes;
    };
    QTest::addRow("1M") << jobFor(LabelSize::M1, false) << 1;
    QTest::addRow("2M") << jobFor(LabelSize::M2, false) << 1;
    QTest::addRow("2M five-across") << jobFor(LabelSize::M2, true) << 1;
    QTest::addRow("3M stored form") << jobFor(LabelSize::M3, false) << 1;
    QTest::addRow("9M stored form") << jobFor(LabelSize::M9, false) << 1;
    QTest::addRow("9M stored form, scale 8") << jobFor(LabelSize::M9, false) << 8;
}

void BenchRender::render()
{
    QFETCH(QByteArray, job);
    QFETCH(int, scale);
    QVERIFY(renderJob(job).notUnderstood.isEmpty());
    QBENCHMARK
    {
        const RenderResult result = renderJob(job, RenderOptions{scale, 1});
        if (result.labels.isEmpty())
            QFAIL("no label");
    }
}

QTEST_MAIN(BenchRender)
#include "bench_render.moc"
