#include "printing/epl2_job.h"
#include "printing/label_preset_settings.h"
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
    void codes_data();
    void codes();
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

// A label of ten codes of one kind, each with its own data, drawn whole: encoding and drawing together.
// `format` has %1 and %2 for X and Y and %3 for a number that differs from code to code.
void BenchRender::codes_data()
{
    QTest::addColumn<QByteArray>("job");
    const auto tenOf = [](const char* format) {
        QByteArray job = "N\r\nq800\r\nQ1200,24\r\n";
        for (int i = 0; i < 10; ++i)
            job +=
                QString::fromLatin1(format).arg(20 + (i % 2) * 400).arg(20 + (i / 2) * 230).arg(1000 + i).toLatin1() +
                "\r\n";
        return job + "P1\r\n";
    };
    QTest::addRow("Code 128") << tenOf("B%1,%2,0,1,2,4,100,B,\"ITEM-%3\"");
    QTest::addRow("Code 39") << tenOf("B%1,%2,0,3,2,5,100,B,\"PART%3\"");
    QTest::addRow("EAN-13") << tenOf("B%1,%2,0,E30,2,4,100,B,\"59012341%3\"");
    QTest::addRow("Interleaved 2 of 5") << tenOf("B%1,%2,0,2,2,5,100,B,\"1234%3\"");
    QTest::addRow("Data Matrix") << tenOf("b%1,%2,D,h5,\"Lot %3, expires 2027-01\"");
    QTest::addRow("QR Code") << tenOf("b%1,%2,Q,s4,\"https://example.org/item/%3\"");
    QTest::addRow("PDF417") << tenOf("b%1,%2,P,360,200,f0,\"Shipment %3 to dock 7, 12 cartons\"");
    QTest::addRow("MaxiCode") << tenOf("b%1,%2,M,m2,\"999,840,%3,Parcel\"");
}

void BenchRender::codes()
{
    QFETCH(QByteArray, job);
    QVERIFY(renderJob(job).notUnderstood.isEmpty());
    QBENCHMARK
    {
        const RenderResult result = renderJob(job);
        if (result.labels.isEmpty())
            QFAIL("no label");
    }
}

QTEST_MAIN(BenchRender)
#include "bench_render.moc"
