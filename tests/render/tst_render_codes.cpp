// Bar codes and two-dimensional codes in label pictures: each one read back with ZXing at every rotation
// (2-D codes, which take no rotation, under ZT and ZB), and every bar and module measured in dots.
#include "render/barcodes.h"
#include "render/label_render.h"
#include "support/code_reader.h"
#include "support/label_pictures.h"

#include <QtTest>

namespace {

constexpr int kNarrow = 2;
constexpr int kWide = 5;
constexpr int kHeight = 60;

QByteArray codeJob(const QByteArray& line, const QByteArray& before = QByteArray())
{
    return "N\r\nq800\r\nQ800,24\r\n" + before + line + "\r\nP1\r\n";
}

// The dots of each black and white run along a row (or a column) from the first black dot on.
QList<int> runs(const QImage& image, bool alongRow, int at)
{
    QList<int> widths;
    const int length = alongRow ? image.width() : image.height();
    bool started = false;
    int run = 0;
    bool black = true;
    for (int i = 0; i < length; ++i) {
        const bool dot = (alongRow ? image.constScanLine(at)[i] : image.constScanLine(i)[at]) == 0;
        if (!started) {
            if (!dot)
                continue;
            started = true;
        }
        if (dot == black) {
            ++run;
            continue;
        }
        widths << run;
        black = dot;
        run = 1;
    }
    if (black && run > 0)
        widths << run;
    return widths;
}

} // namespace

class RenderCodesTest : public QObject
{
    Q_OBJECT

private slots:
    void linearCodes_data();
    void linearCodes();
    void matrixCodes_data();
    void matrixCodes();
    void refusedData_data();
    void refusedData();
    void variableData();
};

void RenderCodesTest::linearCodes_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("read");

    QTest::addRow("Code 39") << QByteArray("3") << QByteArray("ABC-12.3") << "Code39"
                             << "ABC-12.3";
    QTest::addRow("Code 39 full ASCII") << QByteArray("3") << QByteArray("Ab1") << "Code39"
                                        << "Ab1";
    // 1 + 2 + 3 = 6, modulo 43: the check character is "6".
    QTest::addRow("Code 39 with check digit") << QByteArray("3C") << QByteArray("123") << "Code39"
                                              << "1236";
    QTest::addRow("Code 93") << QByteArray("9") << QByteArray("CODE93") << "Code93"
                             << "CODE93";
    QTest::addRow("Code 128 auto") << QByteArray("1") << QByteArray("Hello 128") << "Code128"
                                   << "Hello 128";
    QTest::addRow("Code 128 A") << QByteArray("1A") << QByteArray("ABC123") << "Code128"
                                << "ABC123";
    QTest::addRow("Code 128 B") << QByteArray("1B") << QByteArray("abc") << "Code128"
                                << "abc";
    QTest::addRow("Code 128 C") << QByteArray("1C") << QByteArray("123456") << "Code128"
                                << "123456";
    QTest::addRow("UCC/EAN-128") << QByteArray("1E") << QByteArray("0195012345678903") << "Code128"
                                 << "0195012345678903";
    QTest::addRow("EAN-13: the printer adds the check digit")
        << QByteArray("E30") << QByteArray("590123412345") << "EAN-13"
        << "5901234123457";
    QTest::addRow("EAN-13: a sent check digit is replaced")
        << QByteArray("E30") << QByteArray("5901234123450") << "EAN-13"
        << "5901234123457";
    QTest::addRow("EAN-8") << QByteArray("E80") << QByteArray("9638507") << "EAN-8"
                           << "96385074";
    QTest::addRow("UPC-A") << QByteArray("UA0") << QByteArray("03600029145") << "UPC-A"
                           << "036000291452";
    QTest::addRow("UPC-E") << QByteArray("UE0") << QByteArray("123456") << "UPC-E"
                           << "01234565";
    QTest::addRow("Interleaved 2 of 5") << QByteArray("2") << QByteArray("123456") << "ITF"
                                        << "123456";
    // 5*3 + 4 + 3*3 + 2 + 1*3 = 33: the check digit is 7.
    QTest::addRow("Interleaved 2 of 5 with check digit") << QByteArray("2C") << QByteArray("12345") << "ITF"
                                                         << "123457";
    // ZXing reports Codabar without its start and stop characters.
    QTest::addRow("Codabar") << QByteArray("K") << QByteArray("A40156B") << "Codabar"
                             << "40156";
}

void RenderCodesTest::linearCodes()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, data);
    QFETCH(QString, format);
    QFETCH(QString, read);

    BarcodeField field;
    field.symbology = type;
    field.narrow = kNarrow;
    field.wide = kWide;
    const LinearCode code = encodeLinear(field, data);
    QVERIFY2(code.error.isEmpty(), qPrintable(code.error));
    const bool twoWidths = QList<QByteArray>{"3", "3C", "2", "2C", "K"}.contains(type);
    int length = 0;
    for (const int each : code.elements)
        length += each;

    for (int rotation = 0; rotation < 4; ++rotation) {
        const QByteArray line = "B400,400," + QByteArray::number(rotation) + "," + type + "," +
                                QByteArray::number(kNarrow) + "," + QByteArray::number(kWide) + "," +
                                QByteArray::number(kHeight) + ",B,\"" + data + "\"";
        const RenderedLabel label = onlyLabelOf(codeJob(line));
        QVERIFY(!label.image.isNull());
        const ReadCode scanned = readCode(label.image, format);
        QVERIFY2(scanned.format == format,
                 qPrintable(QStringLiteral("rotation %1: read %2").arg(rotation).arg(scanned.format)));
        QCOMPARE(scanned.text, read);

        // Across the middle of the bars: every bar and space in whole dots of the command's widths.
        const bool across = rotation % 2 == 0;
        const int middle = rotation == 0   ? 400 + kHeight / 2
                           : rotation == 2 ? 400 - kHeight / 2
                           : rotation == 1 ? 400 - kHeight / 2
                                           : 400 + kHeight / 2;
        QList<int> measured = runs(label.image, across, middle);
        if (rotation >= 2)
            std::reverse(measured.begin(), measured.end());
        QCOMPARE(measured.size(), code.elements.size());
        int total = 0;
        for (const int dots : measured) {
            total += dots;
            if (twoWidths)
                QVERIFY2(dots == kNarrow || dots == kWide, qPrintable(QString::number(dots)));
            else
                QVERIFY2(dots % kNarrow == 0 && dots / kNarrow >= 1 && dots / kNarrow <= 4,
                         qPrintable(QString::number(dots)));
        }
        QCOMPARE(total, length);
        QCOMPARE(measured, code.elements);
        const QRect bars = label.fields.first().ink;
        QCOMPARE(across ? bars.width() : bars.height(), length);
        if (twoWidths) {
            QVERIFY(measured.contains(kNarrow));
            QVERIFY(measured.contains(kWide));
        }
    }
}

void RenderCodesTest::matrixCodes_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("read");
    QTest::addColumn<int>("module");    // dots; 0 where modules are not square
    QTest::addColumn<QPoint>("corner"); // the top left module's corner under ZT

    QTest::addRow("Data Matrix, modules of 4 dots inside a quiet zone of one")
        << QByteArray("b100,120,D,h4,\"Quorlex 2D \\\"code\\\"\"") << "DataMatrix"
        << "Quorlex 2D \"code\"" << 4 << QPoint(104, 124);
    QTest::addRow("Data Matrix 16 by 16, default modules of 5")
        << QByteArray("b100,120,D,c16,r16,\"12345\"") << "DataMatrix"
        << "12345" << 5 << QPoint(105, 125);
    QTest::addRow("QR Code, scale 4, error correction H")
        << QByteArray("b100,120,Q,m2,s4,eH,\"https://example.org/label?id=42\"") << "QRCode"
        << "https://example.org/label?id=42" << 4 << QPoint(100, 120);
    QTest::addRow("QR Code, options without commas, manual alphanumeric")
        << QByteArray("b100,120,Qs5iM,\"AHELLO 123\"") << "QRCode"
        << "HELLO 123" << 5 << QPoint(100, 120);
    QTest::addRow("PDF417 from its top left corner")
        << QByteArray("b100,120,P,600,400,f0,x3,\"PDF417 label data 0123456789\"") << "PDF417"
        << "PDF417 label data 0123456789" << 0 << QPoint(100, 120);
    QTest::addRow("MaxiCode mode 2: the postal code padded with zeros")
        << QByteArray("b100,120,M,m2,\"999,840,93065,Shipped with care\"") << "MaxiCode"
        << QString::fromLatin1("930650000\x1d"
                               "840\x1d"
                               "999\x1dShipped with care")
        << 0 << QPoint(100, 120);
    QTest::addRow("MaxiCode mode 4") << QByteArray("b100,120,M,m4,\"Label 4711\"") << "MaxiCode"
                                     << "Label 4711" << 0 << QPoint(100, 120);
}

void RenderCodesTest::matrixCodes()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, format);
    QFETCH(QString, read);
    QFETCH(int, module);
    QFETCH(QPoint, corner);

    for (const QByteArray& direction : {QByteArray("ZT"), QByteArray("ZB")}) {
        const RenderedLabel label = onlyLabelOf(codeJob(line, direction + "\r\n"));
        QVERIFY(!label.image.isNull());
        const QRect black = blackBounds(label.image);
        // As a scanner aimed at the code: ZXing 1.4 finds small Data Matrix symbols unreliably in a whole
        // label, and reads MaxiCode only upright and alone ("pure"), so those are read so as a second try.
        const QImage aimed = label.image.copy(black.adjusted(-12, -12, 12, 12));
        ReadCode scanned = readCode(aimed, format);
        if (scanned.format.isEmpty())
            scanned = readCode(direction == "ZB" ? aimed.mirrored(true, true) : aimed, format, true);
        QVERIFY2(scanned.format == format, qPrintable(direction + " read " + scanned.format));
        QCOMPARE(scanned.text, read);

        const bool turned = direction == "ZB";
        const QPoint topLeft = turned ? QPoint(799 - black.right(), 799 - black.bottom()) : black.topLeft();
        QCOMPARE(topLeft, corner);
        if (module > 0) {
            QCOMPARE(black.width() % module, 0);
            QCOMPARE(black.height() % module, 0);
        }
    }
}

void RenderCodesTest::refusedData_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("note");
    QTest::addRow("EAN-13 of 11 digits") << QByteArray("B10,10,0,E30,2,4,50,N,\"12345678901\"")
                                         << "E30 takes 12 digits";
    QTest::addRow("letters in Interleaved 2 of 5") << QByteArray("B10,10,0,2,2,5,50,N,\"12AB\"") << "digits only";
    QTest::addRow("wide not wider than narrow") << QByteArray("B10,10,0,3,3,3,50,N,\"A\"") << "wider than the narrow";
    QTest::addRow("bar code type not drawn") << QByteArray("B10,10,0,P,2,4,50,N,\"12345\"") << "type P is not drawn";
    QTest::addRow("no such type") << QByteArray("B10,10,0,Z9,2,4,50,N,\"1\"") << "Z9 is not a bar code type";
    QTest::addRow("Data Matrix size that is none") << QByteArray("b10,10,D,c11,r13,\"1\"") << "no symbol of 13 rows";
    QTest::addRow("PDF417 too large for its room")
        << QByteArray("b10,10,P,80,20,\"" + QByteArray(300, 'x') + "\"") << "does not fit";
    QTest::addRow("QR model 1") << QByteArray("b10,10,Q,m1,\"A\"") << "model 1 is not drawn";
    QTest::addRow("Aztec") << QByteArray("b10,10,A,\"A\"") << "Aztec codes are not drawn";
}

void RenderCodesTest::refusedData()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, note);
    const RenderResult result = renderJob(codeJob(line));
    QCOMPARE(result.notUnderstood.size(), 1);
    QCOMPARE(result.notUnderstood.first().line, 4);
    QVERIFY2(result.notUnderstood.first().text.contains(note), qPrintable(result.notUnderstood.first().text));
    QCOMPARE(blackBounds(result.labels.first().image), QRect());
}

// Bar codes of a stored form take their data from variables and counters, label by label.
void RenderCodesTest::variableData()
{
    const QByteArray job =
        "N\r\nFK\"BC\"\r\nFS\"BC\"\r\nV00,10,N,\"\"\r\nC0,4,N,+1,\"\"\r\nq800\r\nQ400,24\r\n"
        "B50,50,0,1,2,4,60,N,V00\r\nb50,200,Q,s4,C0\r\nFE\r\nFR\"BC\"\r\n?\r\nITEM-42\r\n0007\r\nP2\r\n";
    const RenderResult result = renderJob(job, RenderOptions{1, 2});
    QVERIFY(result.notUnderstood.isEmpty());
    QCOMPARE(result.labels.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QImage& image = result.labels.at(i).image;
        QCOMPARE(readCode(image.copy(0, 0, 800, 150), QStringLiteral("Code128")).text, QStringLiteral("ITEM-42"));
        QCOMPARE(readCode(image.copy(0, 150, 800, 250), QStringLiteral("QRCode")).text,
                 QStringLiteral("000%1").arg(7 + i));
    }
}

QTEST_MAIN(RenderCodesTest)
#include "tst_render_codes.moc"
