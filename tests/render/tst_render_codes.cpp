// Bar codes in label pictures: each one read back with ZXing at every rotation and every bar measured in
// dots; refused data and data from variables, for 2-D codes too.
#include "render/barcodes.h"
#include "render/label_render.h"
#include "support/code_reader.h"
#include "support/label_pictures.h"

#include <QtTest>

#include <numeric>

namespace {

constexpr int kNarrow = 2;
constexpr int kWide = 5;
constexpr int kHeight = 60;

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
    void postalCodes_data();
    void postalCodes();
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
    // 3*(9+7+5+3+1+4+4+6+1) + (8+6+4+2+1+1+1+0) = 143: the container code's check digit is 7, after AI 00.
    QTest::addRow("UCC/EAN-128 serial shipping container code")
        << QByteArray("0") << QByteArray("10614141123456789") << "Code128"
        << "00106141411234567897";
    // 4*8 + 7*6 + 3*4 + 1*2 + 2*3 + 4*5 + 8*9 + 2*7 = 200 = 18*11 + 2: the check digit is 11 - 2 = 9.
    QTest::addRow("Code 128 with Deutsche Post check digit")
        << QByteArray("1D") << QByteArray("RR47312482DE") << "Code128"
        << "RR473124829DE";
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
    QTest::addRow("Interleaved 2 of 5 with check digit shown") << QByteArray("2D") << QByteArray("12345") << "ITF"
                                                               << "123457";
    // 3*(6+8+2+4+0+4+1) + (7+8+1+1+0+5) = 97: the check digit is 3.
    QTest::addRow("UPC Interleaved 2 of 5") << QByteArray("2U") << QByteArray("1540014128876") << "ITF"
                                            << "15400141288763";
    // 3*(0+8+6+4+2+0+0) + (9+7+5+3+1+0) = 85: the check digit is 5; a leading 2 adds 6.
    QTest::addRow("RSS-14") << QByteArray("R14") << QByteArray("0001234567890") << "DataBar"
                            << "00012345678905";
    QTest::addRow("RSS-14 stacked") << QByteArray("RS") << QByteArray("2401234567890") << "DataBar"
                                    << "24012345678905";
    QTest::addRow("RSS Limited") << QByteArray("RL") << QByteArray("1001234567890") << "DataBarLimited"
                                 << "(01)10012345678902";
    QTest::addRow("RSS-14 truncated") << QByteArray("RT") << QByteArray("2001234567890") << "DataBar"
                                      << "20012345678909";
    // Weights 4 and 9 from the left: 20+54+12+9+0+18+16+27+0+27+4 = 187, so 3; 8+9+12+36+32+0+28+45+0+9+24+36+0
    // = 239, so 1.
    QTest::addRow("German Post Code: Identcode") << QByteArray("2G") << QByteArray("56310243031") << "ITF"
                                                 << "563102430313";
    QTest::addRow("German Post Code: Leitcode") << QByteArray("2G") << QByteArray("21348075016409") << "ITF"
                                                << "21348075016401";
    QTest::addRow("Matrix 2 of 5") << QByteArray("2M") << QByteArray("9031") << "Matrix25"
                                   << "9031";
    // MSI's mod-10 check: from the rightmost digit, every other one doubled, all summed digit by digit. 1234:
    // 8 + 3 + 4 + 1 = 16, so 4; 12344: 8 + 4 + 6 + 2 + 2 = 22, so 8; 80523: 6 + 2 + (1 + 0) + 0 + (1 + 6) = 16.
    QTest::addRow("Plessey (MSI)") << QByteArray("L") << QByteArray("1234") << "MSI"
                                   << "12344";
    QTest::addRow("MSI with check digit") << QByteArray("M") << QByteArray("80523") << "MSI"
                                          << "805234";
    QTest::addRow("MSI with two check digits") << QByteArray("1M") << QByteArray("1234") << "MSI"
                                               << "123448";
    // ZXing reports Codabar without its start and stop characters.
    QTest::addRow("Codabar") << QByteArray("K") << QByteArray("A40156B") << "Codabar"
                             << "40156";
}

// RSS-14 stacked turned upright: a top row 5 modules high, a separator 1 and a bottom row 7, in 13ths of the
// height, each 50 modules across with its guards (a space and a bar of one module at the top row's left, the
// bottom row's first and last bars of one module).
void verifyStacked(const QImage& picture)
{
    const QRect box = blackBounds(picture);
    QCOMPARE(box.size(), QSize(50 * kNarrow, kHeight));
    QList<QList<int>> bands;
    QList<int> heights;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        QList<int> widths{0};
        bool black = false;
        for (int x = box.left(); x <= box.right(); ++x) {
            const bool dot = picture.constScanLine(y)[x] == 0;
            if (dot != black && widths.last() > 0)
                widths << 0;
            black = dot;
            ++widths.last();
        }
        if (bands.isEmpty() || bands.last() != widths) {
            bands << widths;
            heights << 0;
        }
        ++heights.last();
    }
    QCOMPARE(heights, (QList<int>{23, 5, 32}));
    for (const QList<int>& band : bands) {
        QCOMPARE(std::accumulate(band.begin(), band.end(), 0), 50 * kNarrow);
        for (const int dots : band)
            QVERIFY2(dots % kNarrow == 0, qPrintable(QString::number(dots)));
    }
    const bool topStartsWhite = picture.constScanLine(box.top())[box.left()] != 0;
    QVERIFY(topStartsWhite);
    QCOMPARE(bands.first().mid(0, 2), (QList<int>{kNarrow, kNarrow}));
    QCOMPARE(bands.first().mid(bands.first().size() - 2), (QList<int>{kNarrow, kNarrow}));
    // The separator leaves 4 modules light at the left and has bars of single modules between the rows' finders.
    QCOMPARE(bands.at(1).first(), 4 * kNarrow);
    QVERIFY(bands.at(1).mid(1).contains(kNarrow));
    QCOMPARE(bands.last().first(), kNarrow);
    QCOMPARE(bands.last().last(), kNarrow);
    QCOMPARE(picture.constScanLine(box.bottom())[box.left()], uchar(0));
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
    const bool twoWidths =
        QList<QByteArray>{"3", "3C", "2", "2C", "2D", "2U", "2G", "2M", "L", "M", "1M", "K"}.contains(type);
    const int widestModules = type.startsWith('R') ? 8 : 4; // a DataBar finder pattern has a space of 8
    int length = 0;
    for (const int each : code.elements)
        length += each;

    for (int rotation = 0; rotation < 4; ++rotation) {
        const QByteArray line = "B400,400," + QByteArray::number(rotation) + "," + type + "," +
                                QByteArray::number(kNarrow) + "," + QByteArray::number(kWide) + "," +
                                QByteArray::number(kHeight) + ",B,\"" + data + "\"";
        const RenderedLabel label = onlyLabelOf(codeJob(line));
        QVERIFY(!label.image.isNull());
        if (type == "RS") {
            const ReadCode scanned = readCode(label.image, format);
            QVERIFY2(scanned.format == format,
                     qPrintable(QStringLiteral("rotation %1: read %2").arg(rotation).arg(scanned.format)));
            QCOMPARE(scanned.text, read);
            verifyStacked(label.image.transformed(QTransform().rotate(-90.0 * rotation)));
            continue;
        }

        // Across the middle of the bars: every bar and space in whole dots of the command's widths.
        const bool across = rotation % 2 == 0;
        const int middle = rotation == 0   ? 400 + kHeight / 2
                           : rotation == 2 ? 400 - kHeight / 2
                           : rotation == 1 ? 400 - kHeight / 2
                                           : 400 + kHeight / 2;
        QList<int> measured = runs(label.image, across, middle);
        if (rotation >= 2)
            std::reverse(measured.begin(), measured.end());

        if (format == QLatin1String("MSI") || format == QLatin1String("Matrix25")) {
            QCOMPARE(readByWidths(format, measured, kNarrow, kWide), read);
        } else if (format == QLatin1String("DataBarLimited")) {
            // Not read by ZXing: a guard of a space and a bar each side, two characters of 26 modules and a check
            // character of 18 between them, 14 elements each; the first space is quiet zone.
            QCOMPARE(measured.size(), 45);
            QCOMPARE(std::accumulate(measured.begin(), measured.end(), 0), 73 * kNarrow);
            QCOMPARE(QString::fromLatin1(code.readable), read);
        } else {
            const ReadCode scanned = readCode(label.image, format);
            QVERIFY2(scanned.format == format,
                     qPrintable(QStringLiteral("rotation %1: read %2").arg(rotation).arg(scanned.format)));
            QCOMPARE(scanned.text, read);
        }
        QCOMPARE(measured.size(), code.elements.size());
        int total = 0;
        for (const int dots : measured) {
            total += dots;
            if (twoWidths)
                QVERIFY2(dots == kNarrow || dots == kWide, qPrintable(QString::number(dots)));
            else
                QVERIFY2(dots % kNarrow == 0 && dots / kNarrow >= 1 && dots / kNarrow <= widestModules,
                         qPrintable(QString::number(dots)));
        }
        QCOMPARE(total, length);
        QCOMPARE(measured, code.elements);
        const QRect bars = label.fields.first().ink;
        // The text under the bars is font 2 (by the narrow width), cells 10 dots wide, centred on the bars.
        QCOMPARE(across ? bars.width() : bars.height(), std::max(length, int(code.readable.size()) * 10));
        if (twoWidths) {
            QVERIFY(measured.contains(kNarrow));
            QVERIFY(measured.contains(kWide));
        }
    }
}

void RenderCodesTest::postalCodes_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("bars");
    QTest::addColumn<QString>("read"); // the digits with their check digit; empty: four heights, not read

    // 1 + 2 + 3 + 4 + 5 = 15: the check digit is 5; a frame bar, 5 bars a digit, a frame bar.
    QTest::addRow("Postnet ZIP") << QByteArray("P") << QByteArray("12345") << 32 << "123455";
    QTest::addRow("Postnet with hyphens") << QByteArray("P") << QByteArray("12345-6789") << 52 << "1234567895";
    // 1 + 2 + ... + 9 + 0 + 1 = 46: the check digit is 4.
    QTest::addRow("Planet") << QByteArray("PL") << QByteArray("12-34567-8901") << 62 << "123456789014";
    // Start and stop of 2 bars, 20 characters padded and a check character of 3 bars each.
    QTest::addRow("Japanese Postnet") << QByteArray("J") << QByteArray("15400233-16-4-205") << 67 << QString();
}

// Bars of two or four heights: the digits read back from which bars are tall, every bar the narrow width and
// every space the wide one.
void RenderCodesTest::postalCodes()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, data);
    QFETCH(int, bars);
    QFETCH(QString, read);
    constexpr int kGap = 3; // spaces narrower than kWide, so that the longest code fits the label at every rotation

    for (int rotation = 0; rotation < 4; ++rotation) {
        const QByteArray line = "B400,400," + QByteArray::number(rotation) + "," + type + "," +
                                QByteArray::number(kNarrow) + "," + QByteArray::number(kGap) + "," +
                                QByteArray::number(kHeight) + ",N,\"" + data + "\"";
        const RenderedLabel label = onlyLabelOf(codeJob(line));
        QVERIFY(!label.image.isNull());
        // Turned back upright, the bars measured from the top of the tallest.
        const QImage picture = label.image.transformed(QTransform().rotate(-90.0 * rotation));
        int origin = 0;
        while (origin < picture.height() && blackBounds(picture.copy(0, origin, picture.width(), 1)).isNull())
            ++origin;
        QList<int> widths;                  // bar and space, a bar first
        QList<std::pair<int, int>> heights; // each bar's top and bottom, from the bar code's Y
        for (int x = 0; x < picture.width(); ++x) {
            int top = -1;
            int bottom = -1;
            for (int y = 0; y < picture.height(); ++y) {
                if (picture.constScanLine(y)[x] == 0) {
                    top = top < 0 ? y - origin : top;
                    bottom = y - origin + 1;
                }
            }
            const bool bar = top >= 0;
            if (widths.isEmpty() && !bar)
                continue;
            if (!widths.isEmpty() && (widths.size() % 2 == 1) == bar) {
                ++widths.last();
                if (bar)
                    QCOMPARE(heights.last(), std::make_pair(top, bottom));
            } else {
                widths << 1;
                if (bar)
                    heights << std::make_pair(top, bottom);
            }
        }
        if (widths.size() % 2 == 0)
            widths.removeLast(); // the label's white after the last bar
        QCOMPARE(heights.size(), bars);
        for (int i = 0; i < widths.size(); ++i)
            QCOMPARE(widths.at(i), i % 2 == 0 ? kNarrow : kGap);

        if (read.isEmpty()) {
            // Full, ascending, descending and middle-third bars, each of them used.
            const QList<std::pair<int, int>> levels = {
                {0, kHeight}, {0, kHeight * 2 / 3}, {kHeight / 3, kHeight}, {kHeight / 3, kHeight * 2 / 3}};
            for (const auto& level : levels)
                QVERIFY(heights.contains(level));
            for (const auto& each : heights)
                QVERIFY(levels.contains(each));
            continue;
        }
        // Tall bars and bars of 2/5 the height on the baseline; between the frame bars a digit is 5 bars, two of
        // them tall (Planet: short) of weights 7, 4, 2, 1 and 0 (7 + 4 is 0).
        const bool planet = type == "PL";
        QString digits;
        QCOMPARE(heights.first(), std::make_pair(0, kHeight));
        QCOMPARE(heights.last(), std::make_pair(0, kHeight));
        QCOMPARE((bars - 2) % 5, 0);
        constexpr int kWeights[5] = {7, 4, 2, 1, 0};
        for (int at = 1; at + 5 < bars; at += 5) {
            int sum = 0;
            int marked = 0;
            for (int i = 0; i < 5; ++i) {
                const std::pair<int, int> bar = heights.at(at + i);
                QVERIFY(bar == std::make_pair(0, kHeight) || bar == std::make_pair(kHeight * 3 / 5, kHeight));
                if ((bar.first == 0) != planet) {
                    sum += kWeights[i];
                    ++marked;
                }
            }
            QCOMPARE(marked, 2);
            digits += QChar(u'0' + (sum == 11 ? 0 : sum));
        }
        QCOMPARE(digits, read);
    }
}

void RenderCodesTest::refusedData_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("note");
    QTest::addRow("EAN-13 of 11 digits") << QByteArray("B10,10,0,E30,2,4,50,N,\"12345678901\"")
                                         << "E30 takes 12 digits";
    QTest::addRow("letters in Interleaved 2 of 5") << QByteArray("B10,10,0,2,2,5,50,N,\"12AB\"") << "digits only";
    QTest::addRow("Deutsche Post code without DE")
        << QByteArray("B10,10,0,1D,2,4,50,N,\"RR47312482GB\"") << "2 characters, 8 digits and DE";
    QTest::addRow("letters in MSI") << QByteArray("B10,10,0,M,2,4,50,N,\"12A\"") << "MSI takes digits only";
    QTest::addRow("RSS Limited from 2") << QByteArray("B10,10,0,RL,2,4,50,N,\"2001234567890\"") << "start with 0 or 1";
    QTest::addRow("Postnet of 6 digits") << QByteArray("B10,10,0,P,2,4,50,N,\"123456\"")
                                         << "Postnet takes 5, 9, 11 or 13 digits";
    QTest::addRow("wide not wider than narrow") << QByteArray("B10,10,0,3,3,3,50,N,\"A\"") << "wider than the narrow";
    QTest::addRow("RSS-14 stacked of 5 digits") << QByteArray("B10,10,0,RS,2,4,50,N,\"12345\"") << "RS takes 13 digits";
    QTest::addRow("no such type") << QByteArray("B10,10,0,Z9,2,4,50,N,\"1\"") << "Z9 is not a bar code type";
    QTest::addRow("Data Matrix size that is none") << QByteArray("b10,10,D,c11,r13,\"1\"") << "no symbol of 13 rows";
    QTest::addRow("PDF417 too large for its room")
        << QByteArray("b10,10,P,80,20,\"" + QByteArray(300, 'x') + "\"") << "does not fit";
    QTest::addRow("QR Kanji of an odd byte count")
        << QByteArray("b10,10,Q,iM,\"K\x8A\xBF\x8E\"") << "pairs of Shift JIS bytes";
    QTest::addRow("QR Kanji outside Shift JIS") << QByteArray("b10,10,Q,iM,\"KAB\"") << "pairs of Shift JIS bytes";
    QTest::addRow("QR structured append of one symbol") << QByteArray("b10,10,Q,Dc01d01,\"A\"") << "count d (2 to 16)";
    QTest::addRow("QR structured append: symbol 3 of 2") << QByteArray("b10,10,Q,Dc03d02,\"A\"") << "count d";
    QTest::addRow("QR structured append parity of 1 digit")
        << QByteArray("b10,10,Q,Dc01d02p1,\"A\"") << "2 hexadecimal digits";
    QTest::addRow("font 8 on a printer without an Asian character set")
        << QByteArray("A10,10,0,8,1,1,N,\"A\"") << "fonts 8 and 9 print only on a printer with an Asian";
    QTest::addRow("Aztec Mesa") << QByteArray("b10,10,AZ,0,3,1,2,50,B,\"12345\"Z,e0,\"A\"") << "Aztec Mesa";
    QTest::addRow("Aztec compact of 1 layer, too much data")
        << QByteArray("b10,10,A,e101,\"" + QByteArray(40, '7') + "\"") << "too long";
    QTest::addRow("Aztec rune of 256") << QByteArray("b10,10,A,e300,\"256\"") << "number from 0 to 255";
    QTest::addRow("Aztec with f: an ESC in the middle") << QByteArray("b10,10,A,f,\"AB\x1b"
                                                                      "0CD\"")
                                                        << "ECI at the start";
    QTest::addRow("Aztec e105") << QByteArray("b10,10,A,e105,\"A\"") << "an option of bA is not understood: e105";
    QTest::addRow("QR Kanji with 5C as second byte not doubled")
        << QByteArray("b10,10,QiM,\"K\x95\\\x8A\xBF\"") << "pairs of Shift JIS bytes";
    QTest::addRow("QR model 1 of 1168 digits at L")
        << QByteArray("b10,10,Q,m1,eL,\"" + QByteArray(1168, '1') + "\"") << "(version 14 at most) at level L";
    QTest::addRow("QR model 1 of 487 bytes at L")
        << QByteArray("b10,10,Q,m1,eL,\"" + QByteArray(487, 'x') + "\"") << "(version 14 at most) at level L";
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
