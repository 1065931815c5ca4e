#include "windows/frm_help.h"
#include "windows/frm_main.h"
#include "windows/pictures.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QSvgRenderer>
#include <QtTest>

// Every picture compiled into the program: it loads, has the size its control expects, and draws something.
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void picture_data();
    void picture();
    void everySvgIsListed();
    void drawnPicturesMatchTheirSvg();
    void windowsDrawNoPictureFromSvg();
};

namespace {

struct Picture
{
    const char* name;
    QSize size;
};

const Picture pictures[] = {
    {"button-item.svg", {113, 39}},     {"button-version.svg", {113, 39}},  {"button-date.svg", {113, 39}},
    {"button-checksum.svg", {113, 39}}, {"button-preview.svg", {90, 31}},   {"heading-x.svg", {90, 20}},
    {"heading-y.svg", {90, 20}},        {"heading-item.svg", {90, 20}},     {"heading-version.svg", {90, 20}},
    {"heading-date.svg", {90, 20}},     {"heading-checksum.svg", {90, 20}}, {"button-qty.svg", {90, 20}},
    {"button-print.svg", {180, 31}},    {"button-end.svg", {170, 28}},      {"company-logo.svg", {658, 138}},
    {"developer-logo.svg", {102, 37}},  {"app-icon.svg", {16, 16}},
};

} // namespace

void TestResources::picture_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const Picture& picture : pictures)
        QTest::addRow("%s", picture.name) << QStringLiteral(":/") + QLatin1String(picture.name) << picture.size;
}

void TestResources::picture()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);

    QVERIFY2(QFile::exists(path), qPrintable(path));
    QSvgRenderer renderer(path);
    QVERIFY(renderer.isValid());
    QCOMPARE(renderer.defaultSize(), size);
    // A viewBox that differs from the size would scale the drawing.
    QCOMPARE(renderer.viewBoxF(), QRectF(QPointF(0, 0), QSizeF(size)));

    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();

    int drawn = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            drawn += qAlpha(image.pixel(x, y)) != 0;
    QVERIFY2(drawn > 0, "nothing drawn");
    QVERIFY2(drawn < size.width() * size.height(), "the picture covers its whole area");
}

void TestResources::everySvgIsListed()
{
    QSet<QString> listed;
    for (const Picture& picture : pictures)
        listed.insert(QLatin1String(picture.name));
    const QStringList compiled = QDir(QStringLiteral(":/")).entryList({QStringLiteral("*.svg")}, QDir::Files);
    QCOMPARE(QSet<QString>(compiled.begin(), compiled.end()), listed);
}

// The pictures drawn at build time are exactly what rendering their SVG at that size gives.
void TestResources::drawnPicturesMatchTheirSvg()
{
    const QStringList drawn = QDir(QStringLiteral(":/drawn")).entryList(QDir::Files);
    QVERIFY(drawn.size() >= 30);
    const QRegularExpression name(QStringLiteral("^(.+)-([0-9]+)x([0-9]+)\\.argb$"));
    for (const QString& file : drawn) {
        const QRegularExpressionMatch match = name.match(file);
        QVERIFY2(match.hasMatch(), qPrintable(file));
        const QString svg = QStringLiteral(":/%1.svg").arg(match.captured(1));
        const QSize size(match.captured(2).toInt(), match.captured(3).toInt());
        QImage rendered(size, QImage::Format_ARGB32_Premultiplied);
        rendered.fill(Qt::transparent);
        QPainter painter(&rendered);
        painter.setRenderHint(QPainter::Antialiasing);
        QSvgRenderer(svg).render(&painter);
        painter.end();
        const int before = picturesRenderedFromSvg();
        const QImage shown = ::picture(svg, size);
        QCOMPARE(picturesRenderedFromSvg(), before); // read as drawn, not rendered again
        QVERIFY2(shown == rendered, qPrintable(file));
    }
}

// Both windows at one device pixel to the pixel show only pictures drawn at build time, so a start renders
// no SVG; a size that is not drawn is still shown, rendered from its SVG.
void TestResources::windowsDrawNoPictureFromSvg()
{
    Frm_Main window;
    window.grab();
    auto* help = new Frm_Help;
    help->grab();
    delete help;
    QCOMPARE(picturesRenderedFromSvg(), 0);
    QVERIFY(!appIcon().availableSizes().isEmpty());

    const QImage odd = ::picture(QStringLiteral(":/button-end.svg"), QSize(170, 28), 1.5);
    QCOMPARE(picturesRenderedFromSvg(), 1);
    QCOMPARE(odd.size(), QSize(255, 42));
    QCOMPARE(odd.devicePixelRatio(), 1.5);
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
