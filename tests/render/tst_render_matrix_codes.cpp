// Two-dimensional codes, and whole labels as other programs send them, in label pictures: each code read back
// with ZXing (under ZT and ZB for a lone code) and its place and modules measured in dots.
#include "render/label_render.h"
#include "render/qr_model1.h"
#include "support/code_reader.h"
#include "support/label_pictures.h"
#include "support/qr_model1_reader.h"

#include <QtTest>

namespace {

// A code expected on a label: where, what and what it reads.
struct ExpectedCode
{
    QRect area;
    QString format;
    QString text;
    int sequenceIndex = -1; // structured append: its place in its set, from 0; -1 outside one
    int sequenceSize = -1;
    QString sequenceId = QString(); // QR Code: the parity byte in decimal
};

// A symbol made directly, as the rows of modules the reader takes.
QList<QByteArray> modulesOf(const QrModel1Symbol& made)
{
    QList<QByteArray> rows;
    for (int y = 0; y < made.size; ++y)
        rows << made.dark.mid(y * made.size, made.size).replace('\0', '.').replace('\1', '#');
    return rows;
}

// GW of `picture` (black prints) at x,y: rows of bytes, the leftmost dot in the high bit, 0 printing.
QByteArray graphicWrite(int x, int y, const QImage& picture)
{
    const int across = (picture.width() + 7) / 8;
    QByteArray bits(qsizetype(across) * picture.height(), char(0xFF));
    for (int v = 0; v < picture.height(); ++v) {
        for (int u = 0; u < picture.width(); ++u) {
            if (picture.constScanLine(v)[u] == 0)
                bits[qsizetype(v) * across + u / 8] =
                    char(uchar(bits[qsizetype(v) * across + u / 8]) & ~(0x80 >> (u % 8)));
        }
    }
    return "GW" + QByteArray::number(x) + ',' + QByteArray::number(y) + ',' + QByteArray::number(across) + ',' +
           QByteArray::number(picture.height()) + ',' + bits + "\r\n";
}

} // namespace

Q_DECLARE_METATYPE(QList<ExpectedCode>)

class RenderMatrixCodesTest : public QObject
{
    Q_OBJECT

private slots:
    void matrixCodes_data();
    void matrixCodes();
    void wholeLabels_data();
    void wholeLabels();
    void qrModel1Masks_data();
    void qrModel1Masks();
    void qrModel1EveryVersion_data();
    void qrModel1EveryVersion();
};

void RenderMatrixCodesTest::matrixCodes_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("read");
    QTest::addColumn<int>("module");    // dots; 0 where modules are not square
    QTest::addColumn<QPoint>("corner"); // the top left module's corner under ZT
    QTest::addColumn<int>("side");      // dots across the symbol; 0 where not checked

    QTest::addRow("Data Matrix, modules of 4 dots inside a quiet zone of one")
        << QByteArray("b100,120,D,h4,\"Quorlex 2D \\\"code\\\"\"") << "DataMatrix"
        << "Quorlex 2D \"code\"" << 4 << QPoint(104, 124) << 0;
    QTest::addRow("Data Matrix 16 by 16, default modules of 5")
        << QByteArray("b100,120,D,c16,r16,\"12345\"") << "DataMatrix"
        << "12345" << 5 << QPoint(105, 125) << 0;
    QTest::addRow("QR Code, scale 4, error correction H")
        << QByteArray("b100,120,Q,m2,s4,eH,\"https://example.org/label?id=42\"") << "QRCode"
        << "https://example.org/label?id=42" << 4 << QPoint(100, 120) << 0;
    QTest::addRow("QR Code, options without commas, manual alphanumeric")
        << QByteArray("b100,120,Qs5iM,\"AHELLO 123\"") << "QRCode"
        << "HELLO 123" << 5 << QPoint(100, 120) << 0;
    // 10 Kanji of 13 bits fit version 1 (21 modules) at error correction L; as 20 bytes they would not.
    QTest::addRow("QR Code, manual Kanji in Shift JIS")
        << QByteArray("b100,120,QeLiM,\"K\x8A\xBF\x8E\x9A\x83\x65\x83\x58\x83\x67\x88\xF3\x8D\xFC\x93\xFA\x96\x7B"
                      "\x8C\xEA\"")
        << "QRCode" << QString::fromUtf8("漢字テスト印刷日本語") << 3 << QPoint(100, 120) << 21 * 3;
    // A second byte of 5C is a backslash in quoted data, so it is sent doubled: 95 5C 5C is one character.
    QTest::addRow("QR Code, manual Kanji with 5C as second byte")
        << QByteArray("b100,120,QeLiM,\"K\x95\\\\\x83\\\\\"") << "QRCode" << QString::fromUtf8("表ソ") << 3
        << QPoint(100, 120) << 21 * 3;
    // Aztec sides from the symbology: compact symbols are 11 + 4 layers modules across, full ones 15 + 4 layers
    // (and their reference grid lines from 16 layers on).
    QTest::addRow("Aztec with every default, the manual's example: modules of 3")
        << QByteArray("b100,120,A,\"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ\"") << "Aztec"
        << "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ" << 3 << QPoint(100, 120) << 0;
    QTest::addRow("Aztec compact of 4 layers (e104), modules of 4")
        << QByteArray("b100,120,A,d4,e104,\"Quorlex\"") << "Aztec"
        << "Quorlex" << 4 << QPoint(100, 120) << 27 * 4;
    QTest::addRow("Aztec full of 2 layers (e202), options without commas")
        << QByteArray("b100,120,Ae202d2,\"Q\"") << "Aztec"
        << "Q" << 2 << QPoint(100, 120) << 23 * 2;
    QTest::addRow("Aztec with 60 percent check words asked: 50, the most there is")
        << QByteArray("b100,120,A,e60,d3,\"LOT 4711\"") << "Aztec"
        << "LOT 4711" << 3 << QPoint(100, 120) << 0;
    QTest::addRow("Aztec menu symbol (m), white on black (r) in a dark margin of one module")
        << QByteArray("b100,120,A,m,r1,d3,e101,\"SET\"") << "Aztec"
        << "SET" << 3 << QPoint(100, 120) << (15 + 2) * 3;
    QTest::addRow("Aztec with an ECI (f): UTF-8 data read as such")
        << QByteArray("b100,120,A,f,\"\x1b"
                      "226Gr\xc3\xbc\xc3\x9f\x65\"")
        << "Aztec" << QString::fromUtf8("Grüße") << 3 << QPoint(100, 120) << 0;
    QTest::addRow("Aztec rune (e300): 11 modules across")
        << QByteArray("b100,120,A,e300,d5,\"123\"") << "Aztec" << QString() << 5 << QPoint(100, 120) << 11 * 5;
    // Model 1, read by the tests' own reader: the smallest version that holds the data, its extension patterns
    // checked (none in version 1, 1 pair in 2, 3 in 6 and 7, 6 in 13).
    QTest::addRow("QR Code model 1, alphanumeric at M: version 1")
        << QByteArray("b100,120,Q,m1,s4,\"QUORLEX M1\"") << "QRCodeModel1"
        << "QUORLEX M1" << 4 << QPoint(100, 120) << 21 * 4;
    QTest::addRow("QR Code model 1, 40 digits at H: version 3")
        << QByteArray("b100,120,Qm1eHs3,\"0123456789012345678901234567890123456789\"") << "QRCodeModel1"
        << "0123456789012345678901234567890123456789" << 3 << QPoint(100, 120) << 29 * 3;
    QTest::addRow("QR Code model 1, manual Kanji at Q: version 2")
        << QByteArray("b100,120,Q,m1,eQ,iM,\"K\x8A\xBF\x8E\x9A\x83\x65\x83\x58\x83\x67\x88\xF3\x8D\xFC\x93\xFA"
                      "\x96\x7B\x8C\xEA\"")
        << "QRCodeModel1"
        << QString::fromLatin1("\x8A\xBF\x8E\x9A\x83\x65\x83\x58\x83\x67\x88\xF3\x8D\xFC\x93\xFA\x96\x7B\x8C\xEA") << 3
        << QPoint(100, 120) << 25 * 3;
    QTest::addRow("QR Code model 1, 120 counted bytes at L: version 6")
        << QByteArray("b100,120,Q,m1,eL,s2,iM,\"B0120" + QByteArray(60, 'a') + QByteArray(60, '\xE9') + "tail\"")
        << "QRCodeModel1" << QString(QString(60, u'a') + QString(60, QChar(0xE9))) << 2 << QPoint(100, 120) << 41 * 2;
    QTest::addRow("QR Code model 1, 300 bytes at M: version 13 of 4 blocks")
        << QByteArray("b100,120,Q,m1,eM,s2,\"" + QByteArray(150, 'm') + QByteArray(150, '\xF6') + "\"")
        << "QRCodeModel1" << QString(QString(150, u'm') + QString(150, QChar(0xF6))) << 2 << QPoint(100, 120) << 69 * 2;
    QTest::addRow("QR Code model 1, 168 bytes at L: version 7")
        << QByteArray("b100,120,Q,m1,eL,s2,\"" + QByteArray(84, 'q') + QByteArray(84, 'Z') + "\"") << "QRCodeModel1"
        << QString(QString(84, u'q') + QString(84, u'Z')) << 2 << QPoint(100, 120) << 45 * 2;
    QTest::addRow("PDF417 from its top left corner")
        << QByteArray("b100,120,P,600,400,f0,x3,\"PDF417 label data 0123456789\"") << "PDF417"
        << "PDF417 label data 0123456789" << 0 << QPoint(100, 120) << 0;
    QTest::addRow("MaxiCode mode 2: the postal code padded with zeros")
        << QByteArray("b100,120,M,m2,\"999,840,93065,Shipped with care\"") << "MaxiCode"
        << QString::fromLatin1("930650000\x1d"
                               "840\x1d"
                               "999\x1dShipped with care")
        << 0 << QPoint(100, 120) << 0;
    QTest::addRow("MaxiCode mode 4") << QByteArray("b100,120,M,m4,\"Label 4711\"") << "MaxiCode"
                                     << "Label 4711" << 0 << QPoint(100, 120) << 0;
    QTest::addRow("MaxiCode: the ZIP+4 a field of its own, as in the manual")
        << QByteArray("b100,120,M,\"300,840,93065,1692,This is MaxiCode, 2 commas\"") << "MaxiCode"
        << QString::fromLatin1("930651692\x1d"
                               "840\x1d"
                               "300\x1dThis is MaxiCode, 2 commas")
        << 0 << QPoint(100, 120) << 0;
    QTest::addRow("MaxiCode mode 3: a postal code of letters, cut to 6")
        << QByteArray("b100,120,M,\"001,826,NW11AA99,Parcel\"") << "MaxiCode"
        << QString::fromLatin1("NW11AA\x1d"
                               "826\x1d"
                               "001\x1dParcel")
        << 0 << QPoint(100, 120) << 0;
    QTest::addRow("MaxiCode in the AIM format") << QByteArray("b100,120,M,\"[)>\x1e"
                                                              "01\x1d"
                                                              "96930651692\x1d"
                                                              "840\x1d"
                                                              "001\x1d"
                                                              "1Z00004951\x1dUPSN\x1e\x04\"")
                                                << "MaxiCode"
                                                << QString::fromLatin1("[)>\x1e"
                                                                       "01\x1d"
                                                                       "96930651692\x1d"
                                                                       "840\x1d"
                                                                       "001\x1d"
                                                                       "1Z00004951\x1dUPSN\x1e\x04")
                                                << 0 << QPoint(100, 120) << 0;
    QTest::addRow("PDF417 with every option, as a carrier sends it")
        << QByteArray("b100,120,P,600,400,s5,c0,p0,f0,x2,y10,r80,l14,t0,o0,\"SHIP TO 0123456789\"") << "PDF417"
        << "SHIP TO 0123456789" << 0 << QPoint(100, 120) << 0;
    QTest::addRow("PDF417 turned a quarter (o1), its room turned with it")
        << QByteArray("b100,120,P,200,600,f0,x3,o1,\"Turned 90\"") << "PDF417"
        << "Turned 90" << 0 << QPoint(100, 120) << 0;
    QTest::addRow("PDF417 upside down (o2), centred on X,Y")
        << QByteArray("b400,400,P,600,400,x3,y12,o2,\"Upside down\"") << "PDF417"
        << "Upside down" << 0 << QPoint(118, 382) << 0;
    QTest::addRow("PDF417 with its data printed under it (p1), binary compaction, security 8")
        << QByteArray("b100,120,P,700,700,p1,c1,s8,f0,x2,\"PRINTED 42\"") << "PDF417"
        << "PRINTED 42" << 0 << QPoint(100, 120) << 0;
}

void RenderMatrixCodesTest::matrixCodes()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, format);
    QFETCH(QString, read);
    QFETCH(int, module);
    QFETCH(QPoint, corner);
    QFETCH(int, side);

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
        if (scanned.format.isEmpty()) { // printed white on black: read as a scanner that reads both
            QImage negative = aimed;
            negative.invertPixels();
            scanned = readCode(negative, format);
        }
        if (!read.isEmpty()) { // ZXing 1.4 reads no Aztec runes: only their size is checked
            QVERIFY2(scanned.format == format, qPrintable(direction + " read " + scanned.format));
            QCOMPARE(scanned.text, read);
            QCOMPARE(scanned.readerInit, line.contains(",m,"));
        }

        const bool turned = direction == "ZB";
        const QPoint topLeft = turned ? QPoint(799 - black.right(), 799 - black.bottom()) : black.topLeft();
        QCOMPARE(topLeft, corner);
        if (side > 0)
            QCOMPARE(black.width(), side);
        if (module > 0) {
            QCOMPARE(black.width() % module, 0);
            QCOMPARE(black.height() % module, 0);
        }
    }
}

// Jobs as other programs send them, every code of every label read back from the label's picture.
void RenderMatrixCodesTest::wholeLabels_data()
{
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<int>("labels");
    QTest::addColumn<QList<ExpectedCode>>("codes");

    QTest::addRow("shipping label: MaxiCode with its ZIP+4 apart, PDF417 with every option, Code 128")
        << QByteArray("N\r\nOD10\r\nS8\r\nD10\r\nq812\r\nQ1218,24\r\nZB\r\n"
                      "b30,30,M,\"001,840,93065,1692,1Z0000495100000001\"\r\n"
                      "b30,300,P,760,400,s5,c0,p0,f0,x2,y10,r80,l14,t0,o0,\"TRACKING 1Z0000495100000001\"\r\n"
                      "B30,800,0,1,3,6,150,B,\"1Z0000495100000001\"\r\nP1\r\n")
        << 1
        << QList<ExpectedCode>{{QRect(500, 1218 - 270, 312, 270), "MaxiCode",
                                QString::fromLatin1("930651692\x1d"
                                                    "840\x1d"
                                                    "001\x1d"
                                                    "1Z0000495100000001")},
                               {QRect(0, 1218 - 760, 812, 480), "PDF417", "TRACKING 1Z0000495100000001"},
                               {QRect(0, 1218 - 1000, 812, 230), "Code128", "1Z0000495100000001"}};
    QTest::addRow("product label: EAN-13, two labels")
        << QByteArray("N\r\nON\r\nq400\r\nQ240,24\r\nA20,10,0,3,1,1,N,\"Tea 250 g\"\r\n"
                      "B40,60,0,E30,3,3,120,B,\"400638133393\"\r\nP2\r\n")
        << 2 << QList<ExpectedCode>{{QRect(0, 40, 400, 200), "EAN-13", "4006381333931"}};
    QTest::addRow("price labels: EAN-13 and UPC-A with their add-ons, a check digit sent with the first")
        << QByteArray("N\r\nq400\r\nQ400,24\r\nB40,20,0,E32,2,4,120,B,\"590123412345712\"\r\n"
                      "B40,220,0,UA5,2,4,120,B,\"0360002914552999\"\r\nP1\r\n")
        << 1
        << QList<ExpectedCode>{{QRect(0, 0, 400, 190), "EAN-13", "5901234123457 12"},
                               {QRect(0, 200, 400, 200), "UPC-A", "036000291452 52999"}};
    QTest::addRow("MaxiCode 2 of a set of 3")
        << QByteArray("N\r\nq400\r\nQ400,24\r\nb40,40,M,m2,2,3,\"001,840,93065,1692,Part two\"\r\nP1\r\n") << 1
        << QList<ExpectedCode>{{QRect(0, 0, 400, 400), "MaxiCode",
                                QString::fromLatin1("930651692\x1d"
                                                    "840\x1d"
                                                    "001\x1dPart two"),
                                1, 3}};
    // Parity 0x23: the bytes of "Part 1 Part 2" XORed together.
    QTest::addRow("QR Code structured append: 1 and 2 of 2 on one label")
        << QByteArray("N\r\nq400\r\nQ400,24\r\nb40,40,Q,s4,Dc01d02p23,\"Part 1 \"\r\n"
                      "b40,220,QDc2d2p23,s4,\"Part 2\"\r\nP1\r\n")
        << 1
        << QList<ExpectedCode>{{QRect(0, 0, 400, 200), "QRCode", "Part 1 ", 0, 2, "35"},
                               {QRect(0, 200, 400, 200), "QRCode", "Part 2", 1, 2, "35"}};
    QTest::addRow("QR Code model 1 structured append: 1 and 2 of 2, parity left out")
        << QByteArray("N\r\nq400\r\nQ400,24\r\nb40,40,Q,m1,s4,Dc01d02,\"FIRST \"\r\n"
                      "b40,220,QDc2d2m1,s4,\"SECOND\"\r\nP1\r\n")
        << 1
        << QList<ExpectedCode>{{QRect(0, 0, 400, 200), "QRCodeModel1", "FIRST ", 0, 2, "0"},
                               {QRect(0, 200, 400, 200), "QRCodeModel1", "SECOND", 1, 2, "0"}};
    QTest::addRow("stored form: Data Matrix from a variable")
        << QByteArray("N\r\nFK\"LOT\"\r\nFS\"LOT\"\r\nV00,12,N,\"Lot\"\r\nq400\r\nQ300,24\r\n"
                      "b40,40,D,h6,V00\r\nFE\r\nFR\"LOT\"\r\n?\r\nLOT-2026-117\r\nP1\r\n")
        << 1 << QList<ExpectedCode>{{QRect(0, 0, 400, 300), "DataMatrix", "LOT-2026-117"}};
    // A picture of a QR Code, drawn first as the printer draws it, sent back as the bits of GW.
    const RenderedLabel qr = onlyLabelOf(codeJob("b4,4,Q,s4,\"GW picture\""));
    const QImage picture = qr.image.copy(blackBounds(qr.image).adjusted(-4, -4, 4, 4));
    QTest::addRow("GW picture of a QR Code")
        << QByteArray("N\r\nq400\r\nQ300,24\r\n" + graphicWrite(60, 50, picture) + "P1\r\n") << 1
        << QList<ExpectedCode>{{QRect(0, 0, 400, 300), "QRCode", "GW picture"}};
}

void RenderMatrixCodesTest::wholeLabels()
{
    QFETCH(QByteArray, job);
    QFETCH(int, labels);
    QFETCH(QList<ExpectedCode>, codes);
    const RenderResult result = renderJob(job, RenderOptions{1, labels, 0});
    for (const JobNote& note : result.notUnderstood)
        qWarning("line %d: %s", note.line, qPrintable(note.text));
    QVERIFY(result.notUnderstood.isEmpty());
    QCOMPARE(result.labels.size(), labels);
    for (const RenderedLabel& label : result.labels) {
        QVERIFY(label.overruns.isEmpty());
        for (const ExpectedCode& code : codes) {
            const QImage part = label.image.copy(code.area);
            ReadCode read = readCode(part, code.format);
            // MaxiCode is read alone and upright only.
            const QImage aimed = part.copy(blackBounds(part).adjusted(-12, -12, 12, 12));
            for (const QImage& each : {aimed, aimed.mirrored(true, true)}) {
                if (read.format.isEmpty())
                    read = readCode(each, code.format, true);
            }
            QVERIFY2(read.format == code.format,
                     qPrintable(code.format + " not read in label " + QString::number(label.number)));
            QCOMPARE(read.text, code.text);
            QCOMPARE(read.sequenceIndex, code.sequenceIndex);
            QCOMPARE(read.sequenceSize, code.sequenceSize);
            QCOMPARE(read.sequenceId, code.sequenceId);
        }
    }
}

// Every mask pattern and level of model 1, the symbol made directly and read back module by module.
void RenderMatrixCodesTest::qrModel1Masks_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("level");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("version");
    QTest::addRow("mask 0, L") << 0 << 0 << QByteArray(19 - 2, 'b') << 1; // exactly full: no terminator
    QTest::addRow("mask 1, M") << 1 << 1 << QByteArray("HTTP://EXAMPLE.ORG/1") << 1;
    QTest::addRow("mask 2, Q") << 2 << 2 << QByteArray("31415926535897932384626433832795") << 2;
    QTest::addRow("mask 3, H") << 3 << 3 << QByteArray("3 of 3 masks") << 2;
    QTest::addRow("mask 4, M") << 4 << 1 << QByteArray(40, '\x01') << 3;
    QTest::addRow("mask 5, H") << 5 << 3 << QByteArray(30, '7') + "x" << 4;
    QTest::addRow("mask 6, Q") << 6 << 2 << QByteArray(60, '\xFF') << 5;
    QTest::addRow("mask 7, L") << 7 << 0 << QByteArray(120, '\0') << 6;
    // Several error correction blocks, interleaved; some versions leave codewords past the blocks unused.
    QTest::addRow("2 blocks at H: version 5") << 0 << 3 << QByteArray(40, 'h') << 5;
    QTest::addRow("3 blocks at H, 2 codewords unused: version 7") << 1 << 3 << QByteArray(64, '\x80') << 7;
    QTest::addRow("400 digits at Q, 12 count bits: version 10") << 2 << 2 << QByteArray(400, '9') << 10;
    QTest::addRow("4 blocks at M, 2 codewords unused: version 13") << 3 << 1 << QByteArray(450, 'Q') << 13;
    QTest::addRow("6 blocks at H, 4 codewords unused: version 14") << 7 << 3 << QByteArray(200, '\xA5') << 14;
    // The largest data of model 1 as its makers publish it: 1,167 digits, 707 letters, 486 bytes.
    QTest::addRow("1167 digits at L") << 4 << 0 << QByteArray(1167, '1') << 14;
    QTest::addRow("707 alphanumeric at L") << 6 << 0 << QByteArray(707, 'Z') << 14;
    QTest::addRow("486 bytes at L") << 5 << 0 << QByteArray(486, 'b') << 14;
}

void RenderMatrixCodesTest::qrModel1Masks()
{
    QFETCH(int, mask);
    QFETCH(int, level);
    QFETCH(QByteArray, data);
    QFETCH(int, version);
    const QrModel1Symbol made = makeQrModel1(QrModel1Input{data, level, false, 0, 0, 0, mask});
    QVERIFY2(made.error.isEmpty(), qPrintable(made.error));
    QCOMPARE(made.version, version);
    QCOMPARE(made.size, 17 + 4 * version);
    const QrModel1Read read = readQrModel1(modulesOf(made));
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(read.mask, mask);
    QCOMPARE(read.level, level);
    QCOMPARE(read.data, data);
}

// At each level, byte data one longer at a time: every version from 1 to 14 is made in turn, and the largest
// data of each version reads back; one byte past version 14 is refused.
void RenderMatrixCodesTest::qrModel1EveryVersion_data()
{
    QTest::addColumn<int>("level");
    QTest::addRow("L") << 0;
    QTest::addRow("M") << 1;
    QTest::addRow("Q") << 2;
    QTest::addRow("H") << 3;
}

void RenderMatrixCodesTest::qrModel1EveryVersion()
{
    QFETCH(int, level);
    const auto dataOf = [&](qsizetype length) {
        QByteArray data(length, '\0');
        for (qsizetype i = 0; i < length; ++i)
            data[i] = char(i * 37 + level);
        return data;
    };
    const auto make = [&](qsizetype length) {
        return makeQrModel1(QrModel1Input{dataOf(length), level, false, 0, 0, 0, int(length % 8)});
    };
    QList<qsizetype> largest(15, 0); // the largest byte count of each version
    int lastVersion = 1;
    qsizetype length = 1;
    for (QrModel1Symbol made = make(length); made.error.isEmpty(); made = make(++length)) {
        QVERIFY2(made.version >= lastVersion && made.version <= 14, qPrintable(QString::number(made.version)));
        lastVersion = made.version;
        largest[made.version] = length;
    }
    QVERIFY2(make(length).error.contains(QLatin1String("version 14 at most")), qPrintable(make(length).error));
    for (int version = 1; version <= 14; ++version) {
        QVERIFY2(largest[version] > largest[version - 1], qPrintable(QString::number(version)));
        const QrModel1Read read = readQrModel1(modulesOf(make(largest[version])));
        QVERIFY2(read.error.isEmpty(), qPrintable(QStringLiteral("version %1: %2").arg(version).arg(read.error)));
        QCOMPARE(read.version, version);
        QCOMPARE(read.data, dataOf(largest[version]));
    }
}

QTEST_MAIN(RenderMatrixCodesTest)
#include "tst_render_matrix_codes.moc"
