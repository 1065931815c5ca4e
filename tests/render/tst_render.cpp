// Label pictures from job bytes: where every field's ink lands, stored forms with variables and counters, edge
// warnings, and lines that are not understood.
#include "render/glyph_cells.h"
#include "render/label_render.h"
#include "support/label_pictures.h"

#include <QtTest>

namespace {

// A printer with Korean fonts 8 and 9; fonts 1 to 5 print on it as on any other.
RenderOptions korean()
{
    RenderOptions options;
    options.asian = AsianLanguage::Korean;
    return options;
}

// The letter CellGlyphs makes for `character` in an unturned cell of `cell`, black on white, turned `turns`
// quarter turns clockwise as a picture.
QImage turnedGlyph(char16_t character, QSize cell, AsianLanguage language, int turns)
{
    QString why;
    CellGlyphs* glyphs = CellGlyphs::instance(&why);
    if (!glyphs) {
        qWarning("no letters to compare with: %s", qPrintable(why));
        return QImage();
    }
    const GlyphBitmap& glyph = glyphs->glyph(character, cell.width(), cell.height(), language);
    QImage picture(cell, QImage::Format_Grayscale8);
    for (int v = 0; v < cell.height(); ++v) {
        for (int u = 0; u < cell.width(); ++u)
            picture.scanLine(v)[u] = glyph.at(u, v) ? 0 : 255;
    }
    return picture.transformed(QTransform().rotate(90.0 * turns));
}

// A direct job on a label of 400 by 300 dots around the given lines.
QByteArray directJob(const QByteArray& lines, const QByteArray& size = "q400\r\nQ300,24\r\n")
{
    return "N\r\n" + size + lines + "\r\nP1\r\n";
}

// A stored form with a variable and a counter, recalled with their data and printed `print` (e.g. "P3").
QByteArray counterJob(const QByteArray& counter, const QByteArray& start, const QByteArray& print)
{
    return "N\r\nFK\"CNT\"\r\nFS\"CNT\"\r\nV00,6,C,\"\"\r\n" + counter +
           "\r\nQ86,24\r\nq150\r\nA100,0,1,1,1,1,N,V00\r\nA55,0,1,1,1,1,N,C0\r\nFE\r\nFR\"CNT\"\r\n?\r\nAB\r\n" +
           start + "\r\n" + print + "\r\n";
}

} // namespace

class RenderTest : public QObject
{
    Q_OBJECT

private slots:
    void fieldInk_data();
    void fieldInk();
    void letterTopsFollowRotation_data();
    void letterTopsFollowRotation();
    void storedFormExample_data();
    void storedFormExample();
    void counterSteps_data();
    void counterSteps();
    void fiveAcrossShowsTenFields();
    void edgeWarnings_data();
    void edgeWarnings();
    void notUnderstood_data();
    void notUnderstood();
    void scaleAndBounds();
    void hostileBytes();
    void streamKeepsMemory();
};

void RenderTest::fieldInk_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<QRect>("cells");
    QTest::addColumn<QRect>("ink");

    QTest::addRow("rotation 0") << QByteArray("A10,20,0,1,1,1,N,\"AB\"") << "AB" << 0 << QRect(10, 20, 16, 12)
                                << QRect(10, 20, 16, 12);
    QTest::addRow("rotation 1: left of X, below Y")
        << QByteArray("A200,20,1,1,1,1,N,\"AB\"") << "AB" << 1 << QRect(188, 20, 12, 16) << QRect(188, 20, 12, 16);
    QTest::addRow("rotation 2: left of X, above Y")
        << QByteArray("A200,150,2,1,1,1,N,\"AB\"") << "AB" << 2 << QRect(184, 138, 16, 12) << QRect(184, 138, 16, 12);
    QTest::addRow("rotation 3: right of X, above Y")
        << QByteArray("A10,150,3,1,1,1,N,\"AB\"") << "AB" << 3 << QRect(10, 134, 12, 16) << QRect(10, 134, 12, 16);
    QTest::addRow("font 2") << QByteArray("A0,0,0,2,1,1,N,\"XYZ\"") << "XYZ" << 0 << QRect(0, 0, 30, 16)
                            << QRect(0, 0, 30, 16);
    QTest::addRow("font 3") << QByteArray("A5,5,0,3,1,1,N,\"W\"") << "W" << 0 << QRect(5, 5, 12, 20)
                            << QRect(5, 5, 12, 20);
    QTest::addRow("font 4, rotation 1") << QByteArray("A100,10,1,4,1,1,N,\"Q9\"") << "Q9" << 1 << QRect(76, 10, 24, 28)
                                        << QRect(76, 10, 24, 28);
    QTest::addRow("font 5, multipliers 2 and 3")
        << QByteArray("A0,0,0,5,2,3,N,\"M\"") << "M" << 0 << QRect(0, 0, 64, 144) << QRect(0, 0, 64, 144);
    QTest::addRow("font 1, multipliers 8 and 9, rotation 2")
        << QByteArray("A300,200,2,1,8,9,N,\"K\"") << "K" << 2 << QRect(236, 92, 64, 108) << QRect(236, 92, 64, 108);
    QTest::addRow("escaped quote and backslash are one character each")
        << QByteArray(R"(A5,5,0,1,1,1,N,"a\"b\\c")") << "a\"b\\c" << 0 << QRect(5, 5, 40, 12) << QRect(5, 5, 40, 12);
    QTest::addRow("blanks take cells but no ink")
        << QByteArray("A10,10,0,1,1,1,N,\"  AB \"") << "  AB " << 0 << QRect(10, 10, 40, 12) << QRect(26, 10, 16, 12);
    QTest::addRow("blanks, rotation 3") << QByteArray("A10,150,3,1,1,1,N,\" A \"") << " A " << 3
                                        << QRect(10, 126, 12, 24) << QRect(10, 134, 12, 8);
    QTest::addRow("reverse inks every cell")
        << QByteArray("A10,10,0,2,1,1,R,\" A \"") << " A " << 0 << QRect(10, 10, 30, 16) << QRect(10, 10, 30, 16);
    QTest::addRow("nothing to print") << QByteArray("A10,10,0,1,1,1,N,\"\"") << "" << 0 << QRect(10, 10, 0, 12)
                                      << QRect();
    // Korean (EUC-KR) B6 F3 BA A7 is U+B77C U+BCA8.
    QTest::addRow("Korean font 8: a pair of bytes in a cell of 16 by 16")
        << QByteArray("A10,20,0,8,1,1,N,\"\xB6\xF3\xBA\xA7\"") << QString::fromUtf8("라벨") << 0
        << QRect(10, 20, 32, 16) << QRect(10, 20, 32, 16);
    QTest::addRow("Korean font 9, rotation 5: top to bottom, turned a quarter: the line runs right to left")
        << QByteArray("A200,20,5,9,1,1,N,\"\xB6\xF3\xBA\xA7\"") << QString::fromUtf8("라벨") << 5
        << QRect(152, 20, 48, 24) << QRect(152, 20, 48, 24);
    QTest::addRow("Korean font 8 after i4, doubled across: ASCII in half cells, 8 dots apart")
        << QByteArray("i4\r\nA10,20,0,8,2,1,N,\"\xB6\xF3"
                      "A \"")
        << QString::fromUtf8("라A ") << -1 << QRect(10, 20, 32 + 8 + 16 + 8 + 16, 16) << QRect(10, 20, 32 + 8 + 16, 16);
}

void RenderTest::fieldInk()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, text);
    QFETCH(int, rotation);
    QFETCH(QRect, cells);
    QFETCH(QRect, ink);

    const RenderedLabel label = onlyLabelOf(directJob(line), korean());
    QCOMPARE(label.dots, QSize(400, 300));
    QCOMPARE(label.image.size(), QSize(400, 300));
    QVERIFY(onlyBlackAndWhite(label.image));
    QCOMPARE(label.fields.size(), 1);
    const RenderedField& field = label.fields.first();
    QCOMPARE(field.text, text);
    QCOMPARE(field.line, 4 + int(line.count('\n')));
    QCOMPARE(field.cells, cells);
    QCOMPARE(field.ink, ink);
    QVERIFY(label.overruns.isEmpty());

    const QRect black = blackBounds(label.image);
    if (field.reverse) {
        QCOMPARE(black, cells);
        return;
    }
    QVERIFY2(ink.isEmpty() ? black.isNull() : ink.contains(black), "ink outside the field's printing cells");
    if (rotation < 0) // cells of differing widths: their places are checked by cells and ink alone
        return;
    // Every letter inks its own cell, in reading order (top to bottom turns with the rotation), with the very
    // letter of its font turned as the field is; blanks ink nothing.
    const int turns = rotation % 4;
    const int reading = rotation >= 4 ? (turns + 1) % 4 : turns;
    const int font = line.split(',').at(3).toInt();
    for (int i = 0; i < text.size(); ++i) {
        const QRect cell = characterCell(cells, reading, i, int(text.size()));
        const int inked = blackPixels(label.image, cell);
        if (text.at(i) == QLatin1Char(' '))
            QVERIFY2(inked == 0, qPrintable(QStringLiteral("blank %1 has ink").arg(i)));
        else
            QVERIFY2(inked > 0, qPrintable(QStringLiteral("character %1 has no ink").arg(i)));
        const QSize upright = turns % 2 == 0 ? cell.size() : cell.size().transposed();
        QCOMPARE(label.image.copy(cell), turnedGlyph(char16_t(text.at(i).unicode()), upright,
                                                     font >= 8 ? AsianLanguage::Korean : AsianLanguage::None, turns));
    }
}

void RenderTest::letterTopsFollowRotation_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("topSide"); // where the bar of a T lies in its ink
    QTest::addRow("0: tops up") << QByteArray("A100,100,0,5,1,1,N,\"T\"") << "top";
    QTest::addRow("1: tops right") << QByteArray("A200,100,1,5,1,1,N,\"T\"") << "right";
    QTest::addRow("2: tops down") << QByteArray("A200,200,2,5,1,1,N,\"T\"") << "bottom";
    QTest::addRow("3: tops left") << QByteArray("A100,200,3,5,1,1,N,\"T\"") << "left";
}

void RenderTest::letterTopsFollowRotation()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, topSide);
    const RenderedLabel label = onlyLabelOf(directJob(line));
    const QRect ink = blackBounds(label.image);
    QVERIFY(!ink.isNull());
    // The T's bar is the one full line of ink at one side; its stem leaves the opposite side almost empty.
    const QRect sides[] = {QRect(ink.left(), ink.top(), ink.width(), 1), QRect(ink.right(), ink.top(), 1, ink.height()),
                           QRect(ink.left(), ink.bottom(), ink.width(), 1),
                           QRect(ink.left(), ink.top(), 1, ink.height())};
    const QString names[] = {"top", "right", "bottom", "left"};
    int densest = 0;
    for (int i = 1; i < 4; ++i) {
        if (blackPixels(label.image, sides[i]) > blackPixels(label.image, sides[densest]))
            densest = i;
    }
    QCOMPARE(names[densest], topSide);
}

void RenderTest::storedFormExample_data()
{
    QTest::addColumn<QString>("checksum");
    QTest::addColumn<QString>("fourth");
    QTest::addColumn<QRect>("fourthInk");
    QTest::addRow("counter") << ""
                             << "0001" << QRect(43, 0, 12, 32);
    QTest::addRow("checksum centred in six") << "57"
                                             << "  57  " << QRect(43, 16, 12, 16);
}

void RenderTest::storedFormExample()
{
    QFETCH(QString, checksum);
    QFETCH(QString, fourth);
    QFETCH(QRect, fourthInk);
    const QByteArray counterLines[] = {"C0,4,L,+1,\"\"", "A55,0,1,1,1,1,N,C0", "0001"};
    const QByteArray checksumLines[] = {"V03,6,C,\"\"", "A55,0,1,1,1,1,N,V03", "57"};
    const QByteArray* fourthLines = checksum.isEmpty() ? counterLines : checksumLines;
    const QByteArray job =
        "\r\n\r\nO\r\n\r\nN\r\nD8\r\nFK\"FIXEDAT0\"\r\nFS\"FIXEDAT0\"\r\nV00,6,C,\"\"\r\nV01,6,C,\"\"\r\n"
        "V02,6,C,\"\"\r\n" +
        fourthLines[0] +
        "\r\nQ86,24\r\nq150\r\nA100,0,1,1,1,1,N,V00\r\nA85,0,1,1,1,1,N,V01\r\n"
        "A70,0,1,1,1,1,N,V02\r\n" +
        fourthLines[1] + "\r\nFE\r\n\r\nFR\"FIXEDAT0\"\r\n?\r\nAB1234\r\nV1\r\n0623\r\n" + fourthLines[2] +
        "\r\nP2\r\n\r\n";

    const RenderResult result = renderJob(job);
    QVERIFY(result.error.isEmpty());
    QVERIFY(result.notUnderstood.isEmpty());
    QCOMPARE(result.labelsPrinted, quint64(2));
    QCOMPARE(result.labels.size(), 1);
    const RenderedLabel& label = result.labels.first();
    QCOMPARE(label.dots, QSize(150, 86));
    QCOMPARE(label.fields.size(), 4);

    const QString texts[] = {"AB1234", "  V1  ", " 0623 ", fourth};
    const QRect inks[] = {QRect(88, 0, 12, 48), QRect(73, 16, 12, 16), QRect(58, 8, 12, 32), fourthInk};
    for (int i = 0; i < 4; ++i) {
        const RenderedField& field = label.fields.at(i);
        QCOMPARE(field.text, texts[i]);
        QCOMPARE(field.form, QStringLiteral("FIXEDAT0"));
        QCOMPARE(field.line, 15 + i);
        QCOMPARE(field.ink, inks[i]);
        QVERIFY(blackPixels(label.image, field.ink) > 0);
        QVERIFY(field.ink.contains(blackBounds(label.image, field.cells.adjusted(-1, -1, 1, 1))));
    }
    QVERIFY(label.overruns.isEmpty());
}

void RenderTest::counterSteps_data()
{
    QTest::addColumn<QByteArray>("counter");
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QByteArray>("print");
    QTest::addColumn<int>("maxLabels");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<quint64>("printed");

    const QByteArray up = "C0,4,L,+1,\"\"";
    QTest::addRow("quantity 3") << up << QByteArray("0001") << QByteArray("P3") << 10
                                << QStringList{"0001", "0002", "0003"} << quint64(3);
    QTest::addRow("rolls over past its digits")
        << up << QByteArray("9998") << QByteArray("P3") << 10 << QStringList{"9998", "9999", "0000"} << quint64(3);
    QTest::addRow("counts down") << QByteArray("C0,4,L,-1,\"\"") << QByteArray("0002") << QByteArray("P4") << 10
                                 << QStringList{"0002", "0001", "0000", "9999"} << quint64(4);
    QTest::addRow("grows from a short start")
        << up << QByteArray("9") << QByteArray("P2") << 10 << QStringList{"9", "10"} << quint64(2);
    QTest::addRow("steps of 5, right justified") << QByteArray("C0,3,R,+5,\"\"") << QByteArray("1") << QByteArray("P3")
                                                 << 10 << QStringList{"  1", "  6", " 11"} << quint64(3);
    QTest::addRow("copies do not step") << up << QByteArray("0001") << QByteArray("P2,2") << 10
                                        << QStringList{"0001", "0001", "0002", "0002"} << quint64(4);
    QTest::addRow("a second P goes on") << up << QByteArray("0001") << QByteArray("P2\r\nP2") << 10
                                        << QStringList{"0001", "0002", "0003", "0004"} << quint64(4);
    QTest::addRow("drawn labels are bounded, all are counted")
        << up << QByteArray("0001") << QByteArray("P65535,65535") << 2 << QStringList{"0001", "0001"}
        << quint64(65535) * 65535;
}

void RenderTest::counterSteps()
{
    QFETCH(QByteArray, counter);
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, print);
    QFETCH(int, maxLabels);
    QFETCH(QStringList, texts);
    QFETCH(quint64, printed);

    const RenderResult result = renderJob(counterJob(counter, start, print), RenderOptions{1, maxLabels});
    QVERIFY(result.notUnderstood.isEmpty());
    QCOMPARE(result.labelsPrinted, printed);
    QStringList counted;
    for (const RenderedLabel& label : result.labels) {
        QCOMPARE(label.fields.size(), 2);
        QCOMPARE(label.fields.at(0).text, QStringLiteral("  AB  "));
        counted << label.fields.at(1).text;
        QCOMPARE(label.number, int(counted.size()));
    }
    QCOMPARE(counted, texts);
}

void RenderTest::fiveAcrossShowsTenFields()
{
    const RenderResult result = renderJob(presetJob(LabelSize::M2, true, {"AB1234", "V1"}));
    QVERIFY(result.notUnderstood.isEmpty());
    QCOMPARE(result.labels.size(), 1);
    const RenderedLabel& label = result.labels.first();
    QCOMPARE(label.dots, QSize(304, 81));
    QCOMPARE(label.fields.size(), 10);
    const int versionX[] = {16, 79, 144, 206, 272};
    const int itemX[] = {31, 94, 159, 223, 287};
    for (int copy = 0; copy < 5; ++copy) {
        const RenderedField& version = label.fields.at(2 * copy);
        const RenderedField& item = label.fields.at(2 * copy + 1);
        QCOMPARE(version.text, QStringLiteral("V1"));
        QCOMPARE(item.text, QStringLiteral("AB1234"));
        QCOMPARE(version.ink, QRect(versionX[copy] - 12, 30, 12, 16));
        QCOMPARE(item.ink, QRect(itemX[copy] - 12, 30, 12, 48));
        QVERIFY(blackPixels(label.image, version.ink) > 0);
        QVERIFY(blackPixels(label.image, item.ink) > 0);
    }
    QVERIFY(label.overruns.isEmpty());
}

void RenderTest::edgeWarnings_data()
{
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<QString>("warnings"); // every overrun described, joined by "; "

    QTest::addRow("1M: three letters from Y 20 on a label of 38")
        << presetJob(LabelSize::M1, false, {"ABC", "V1"})
        << "field 1 \"ABC\" (job line 6) runs 6 dots past the bottom edge";
    QTest::addRow("1M: Item Y nudged 3 down")
        << presetJob(LabelSize::M1, false, {"AB"}, {{LabelField::Item, Axis::Y, 3}})
        << "field 1 \"AB\" (job line 6) runs 1 dot past the bottom edge";
    QTest::addRow("2M: Version X nudged 8 left")
        << presetJob(LabelSize::M2, false, {"A", "V1"}, {{LabelField::Version, Axis::X, -8}})
        << "field 2 \"V1\" (job line 6) runs 5 dots past the left edge";
    QTest::addRow("3M: Item Y nudged 3 up")
        << presetJob(LabelSize::M3, false, {"AB1234"}, {{LabelField::Item, Axis::Y, -3}})
        << "field 1 \"AB1234\" (job line 15, form FIXEDAT0) runs 3 dots past the top edge";
    QTest::addRow("3M: the variable's blanks do not count")
        << presetJob(LabelSize::M3, false, {"AB"}, {{LabelField::Item, Axis::Y, -16}}) << "";
    QTest::addRow("five-across: Version X nudged 8 left")
        << presetJob(LabelSize::M2, true, {"A", "V1"}, {{LabelField::Version, Axis::X, -8}})
        << "field 1 \"V1\" (job line 5) runs 4 dots past the left edge";
    QTest::addRow("9M at its preset") << presetJob(LabelSize::M9, false, {"AB1234", "V1", "0623", "57"}) << "";
    QTest::addRow("right and bottom at once")
        << directJob("A150,70,0,1,1,1,N,\"AB\"", "q160\r\nQ80,24\r\n")
        << "field 1 \"AB\" (job line 4) runs 6 dots past the right edge; field 1 \"AB\" (job line 4) runs 2 dots "
           "past the bottom edge";
    QTest::addRow("reverse blanks count") << directJob("A150,0,0,1,1,1,R,\"A  \"", "q160\r\nQ80,24\r\n")
                                          << "field 1 \"A\" (job line 4) runs 14 dots past the right edge";
    QTest::addRow("ZB: edges named as the label reads, not as the picture is turned")
        << directJob("A150,70,0,1,1,1,N,\"AB\"", "q160\r\nQ80,24\r\nZB\r\n")
        << "field 1 \"AB\" (job line 5) runs 6 dots past the right edge; field 1 \"AB\" (job line 5) runs 2 dots "
           "past the bottom edge";
    QTest::addRow("R moves a field past the edge")
        << directJob("A140,10,0,1,1,1,N,\"AB\"", "q160\r\nQ80,24\r\nR20,0\r\n")
        << "field 1 \"AB\" (job line 5) runs 16 dots past the right edge";
    QTest::addRow("lines, boxes and graphics past the edges")
        << directJob("LO150,10,20,2\r\nX-2,5,1,20,20\r\nGW156,70,1,12," + QByteArray(12, '\0') + "\r\nLS0,0,1,10,90",
                     "q160\r\nQ80,24\r\n")
        << "LO line (job line 4) runs 10 dots past the right edge; X box (job line 5) runs 2 dots past the left "
           "edge; GW graphic (job line 6) runs 4 dots past the right edge; GW graphic (job line 6) runs 2 dots past "
           "the bottom edge; LS line (job line 7) runs 11 dots past the bottom edge";
}

void RenderTest::edgeWarnings()
{
    QFETCH(QByteArray, job);
    QFETCH(QString, warnings);
    const RenderedLabel label = onlyLabelOf(job);
    QVERIFY(!label.image.isNull());
    QStringList described;
    for (const EdgeOverrun& overrun : label.overruns)
        described << describeOverrun(label, overrun);
    for (const ShapeOverrun& overrun : label.shapeOverruns)
        described << describeOverrun(overrun);
    QCOMPARE(described.join(QLatin1String("; ")), warnings);
}

void RenderTest::notUnderstood_data()
{
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("note");
    QTest::addColumn<int>("fieldsDrawn"); // the understood fields still print

    const QByteArray good = "A1,1,0,1,1,1,N,\"A\"";
    auto job = [&good](const QByteArray& bad) { return directJob(bad + "\r\n" + good); };
    QTest::addRow("unknown command") << job("HXYZ") << 4 << "HXYZ: unknown command" << 1;
    QTest::addRow("commands are case-sensitive") << job("n") << 4 << "n: unknown command" << 1;
    QTest::addRow("rotation 4") << job("A1,1,4,1,1,1,N,\"A\"") << 4
                                << "A1,1,4,1,1,1,N,\"A\": the rotation of A is a whole number from 0 to 3" << 1;
    QTest::addRow("font 6") << job("A1,1,0,6,1,1,N,\"A\"") << 4 << "the font of A is a whole number from 1 to 5" << 1;
    QTest::addRow("Korean has no pair B0 41") << job("A1,1,0,8,1,1,N,\"\xB0\x41\"") << 4
                                              << "A1,1,0,8,1,1,N,\"\\xb0A\": bytes B0 41 are no Korean character" << 1;
    QTest::addRow("half a Korean character at the end")
        << job("A1,1,4,9,1,1,N,\"AB\xB0\"") << 4 << "byte B0 at the end is half a Korean character" << 1;
    QTest::addRow("i beyond 99") << job("i100") << 4 << "the spacing of i is a whole number from 0 to 99" << 1;
    QTest::addRow("multiplier 7") << job("A1,1,0,1,7,1,N,\"A\"") << 4 << "the horizontal multiplier of A is 1 to 6 or 8"
                                  << 1;
    QTest::addRow("neither N nor R") << job("A1,1,0,1,1,1,X,\"A\"") << 4 << "A prints N (normal) or R (reverse)" << 1;
    QTest::addRow("X with a fraction") << job("A1.5,1,0,1,1,1,N,\"A\"") << 4
                                       << "X of A is a whole number from -99999 to 99999" << 1;
    QTest::addRow("quote not closed") << job("A1,1,0,1,1,1,N,\"AB") << 4 << "the closing double quote is missing" << 1;
    QTest::addRow("text after the quote")
        << job("A1,1,0,1,1,1,N,\"A\"B") << 4 << "something follows the closing double quote" << 1;
    QTest::addRow("control characters are shown, not sent on")
        << job("A1,1,0,1,1,1,N,\"\x1b[2J") << 4
        << "A1,1,0,1,1,1,N,\"\\x1b[2J: the data of A: the closing double quote is missing" << 1;
    QTest::addRow("darkness 16") << job("D16") << 4 << "the darkness of D is a whole number from 0 to 15" << 1;
    QTest::addRow("label width 0") << directJob("q0\r\n" + good) << 4
                                   << "the label width of q is a whole number from 1 to 8192" << 1;
    QTest::addRow("Q without a gap") << directJob("Q80\r\n" + good) << 4
                                     << "Q takes the label length, the gap and an optional offset" << 1;
    QTest::addRow("gap that is no number")
        << directJob("Q80,x\r\n" + good) << 4 << "the gap of Q is a number of dots, or B and a number" << 1;
    QTest::addRow("P0") << QByteArray("N\r\nq100\r\nQ50,2\r\n" + good + "\r\nP0\r\n") << 5
                        << "the number of labels of P is a whole number from 1 to 65535" << 0;
    QTest::addRow("option that is no letter") << job("OD,-3") << 4 << "O: the option -3 is not a letter" << 1;
    QTest::addRow("FE without FS") << job("FE") << 4 << "FE: no FS started a form" << 1;
    QTest::addRow("form never stored") << job("FR\"NONE\"") << 4 << "no such form was stored" << 1;
    QTest::addRow("? without FR") << job("?") << 4 << "?: no form was recalled with FR" << 1;
    QTest::addRow("variable outside a form")
        << job("A1,1,0,1,1,1,N,V00") << 4 << "a variable or counter only prints from a stored form" << 1;
    QTest::addRow("declaration outside a form")
        << job("V00,6,C,\"\"") << 4 << "variables and counters belong in a stored form" << 1;
    QTest::addRow("long form name") << job("FK\"NINECHARS\"") << 4 << "a form name has 1 to 8 characters" << 1;
    QTest::addRow("form prints what it does not declare")
        << QByteArray("N\r\nFS\"F\"\r\nq100\r\nQ50,2\r\nA1,1,0,1,1,1,N,V05\r\n" + good + "\r\nFE\r\nFR\"F\"\r\nP1\r\n")
        << 5 << "the form \"F\" prints V05, which it does not declare" << 1;
    QTest::addRow("form stored twice without FK")
        << QByteArray("N\r\nq100\r\nQ50,2\r\nFS\"F\"\r\nFE\r\nFS\"F\"\r\n" + good + "\r\nP1\r\n") << 6
        << "the form is already stored; FK must delete it first" << 1;
    QTest::addRow("P inside a form") << QByteArray("N\r\nq100\r\nQ50,2\r\nFS\"F\"\r\nP1\r\nFE\r\nFR\"F\"\r\n" + good +
                                                   "\r\nP1\r\n")
                                     << 5 << "P1: cannot be stored in a form (FE is missing before it)" << 1;
    QTest::addRow("form not ended") << QByteArray("N\r\nq100\r\nQ50,2\r\n" + good + "\r\nP1\r\nFS\"F\"\r\nq100\r\n")
                                    << 6 << "the form \"F\" is not ended by FE" << 1;
    QTest::addRow("data lines missing")
        << QByteArray("N\r\nFS\"F\"\r\nV00,6,L,\"\"\r\nV01,6,L,\"\"\r\nFE\r\nq100\r\nQ50,2\r\n" + good +
                      "\r\nP1\r\nFR\"F\"\r\n?\r\nonly one")
        << 11 << "? expects 1 more data line than the job has" << 1;
    QTest::addRow("counter data that is no number")
        << QByteArray("N\r\nFS\"F\"\r\nC0,4,L,+1,\"\"\r\nq100\r\nQ50,2\r\nA50,1,0,1,1,1,N,C0\r\n" + good +
                      "\r\nFE\r\nFR\"F\"\r\n?\r\nAB\r\nP1\r\n")
        << 11 << "AB: counter C0 steps only from a number" << 2;
    QTest::addRow("variable with bytes of no Korean character")
        << QByteArray("N\r\nFS\"F\"\r\nV00,4,L,\"\"\r\nq100\r\nQ50,2\r\nA50,1,0,8,1,1,N,V00\r\n" + good +
                      "\r\nFE\r\nFR\"F\"\r\n?\r\n\xB0\x41\r\nP1\r\n")
        << 6 << "bytes B0 41 are no Korean character (blank cells); left out on the label of line 12" << 2;
    QTest::addRow("soft font never stored") << job("A1,1,0,z,1,1,N,\"A\"") << 4 << "no soft font \"z\" is stored" << 1;
    QTest::addRow("soft font deleted by EK")
        << job(softFontF() + "EK\"f\"\r\nA1,1,0,f,1,1,N,\"A\"") << 6 << "no soft font \"f\" is stored" << 1;
    QTest::addRow("soft font lacks a character")
        << job(softFontF() + "A1,1,0,f,1,1,N,\"AzB\"") << 5 << "the soft font \"f\" holds no character 7A" << 2;
    QTest::addRow("ES: width more than spacing; the next line is read")
        << job(softFontStore('w', 1, 0, 1, {{'A', 1, 2, 0xC0}})) << 4
        << "ES\"w\": character 41 is 2 dots wide, more than its spacing of 1; no font is stored" << 1;
    QTest::addRow("ES of height 0") << job(softFontStore('h', 1, 0, 0, {{'A', 1, 1}})) << 4 << "the height is 0 dots"
                                    << 1;
    // The second character's header and bitmap take all that follows: 7 + 3 + 3 bytes arrive.
    QTest::addRow("ES cut short by the end of the stream")
        << QByteArray(directJob(good) + softFontStore('t', 2, 0, 1, {{'A', 1, 1, 0x80}}) + "\r\nP1\r\n") << 6
        << "the stream ends within the data of ES, after 13 bytes of it; no font is stored" << 1;
    QTest::addRow("no label width") << QByteArray("N\r\nQ50,2\r\n" + good + "\r\nP1\r\n") << 4
                                    << "P: no q line gave the label width" << 1;
}

void RenderTest::notUnderstood()
{
    QFETCH(QByteArray, job);
    QFETCH(int, line);
    QFETCH(QString, note);
    QFETCH(int, fieldsDrawn);
    const RenderResult result = renderJob(job, korean());
    QVERIFY(result.error.isEmpty());
    QCOMPARE(result.notUnderstood.size(), 1);
    QCOMPARE(result.notUnderstood.first().line, line);
    QVERIFY2(result.notUnderstood.first().text.contains(note), qPrintable(result.notUnderstood.first().text));
    const int drawn = result.labels.isEmpty() ? 0 : int(result.labels.first().fields.size());
    QCOMPARE(drawn, fieldsDrawn);
}

void RenderTest::scaleAndBounds()
{
    const QByteArray job = directJob("A10,10,0,1,1,1,N,\"AB\"", "q40\r\nQ30,2\r\n");
    const RenderedLabel one = onlyLabelOf(job);
    const RenderResult three = renderJob(job, RenderOptions{3, 1});
    QCOMPARE(three.labels.size(), 1);
    const QImage& big = three.labels.first().image;
    QCOMPARE(big.size(), QSize(120, 90));
    QCOMPARE(three.labels.first().dots, QSize(40, 30));
    // Every dot becomes a block of 3 by 3 pixels of the same colour.
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            const QRect block(3 * x, 3 * y, 3, 3);
            QCOMPARE(blackPixels(big, block), one.image.constScanLine(y)[x] == 0 ? 9 : 0);
        }
    }

    QVERIFY(renderJob(job, RenderOptions{0, 1}).error.contains(QLatin1String("scale")));
    QVERIFY(renderJob(job, RenderOptions{kMaxRenderScale + 1, 1}).error.contains(QLatin1String("scale")));
    const RenderResult none = renderJob(job, RenderOptions{1, 0});
    QVERIFY(none.labels.isEmpty());
    QCOMPARE(none.labelsPrinted, quint64(1));

    const RenderResult huge =
        renderJob(directJob("A10,10,0,1,1,1,N,\"AB\"", "q8192\r\nQ8192,2\r\n"), RenderOptions{kMaxRenderScale, 1});
    QCOMPARE(huge.labels.size(), 1);
    QCOMPARE(huge.labels.first().image.size(), QSize(8192, 8192));
    QCOMPARE(huge.notUnderstood.size(), 1);
    QVERIFY(huge.notUnderstood.first().text.contains(QLatin1String("drawn at 1")));
}

void RenderTest::hostileBytes()
{
    QVERIFY(renderJob(QByteArray()).notUnderstood.isEmpty());
    QVERIFY(renderJob(QByteArray()).labels.isEmpty());

    QRandomGenerator random(17);
    QByteArray noise(200000, '\0');
    for (char& c : noise)
        c = char(random.bounded(256));
    noise += "\nN\nq20\nQ20,2\nA0,0,0,1,1,1,N,\"" + QByteArray(5000, 'W') + "\"\nP1\n";
    const RenderResult result = renderJob(noise);
    QVERIFY(result.error.isEmpty());
    QVERIFY(!result.notUnderstood.isEmpty());
    QVERIFY(result.notUnderstood.size() <= 1000);
    for (const JobNote& note : result.notUnderstood) {
        QVERIFY(note.text.size() < 200);
        for (QChar c : note.text)
            QVERIFY2(c.unicode() >= 0x20 && c.unicode() < 0x7F, qPrintable(QString::number(note.line)));
    }

    // A text longer than any label is refused; a long one that fits the limit is drawn clipped.
    const RenderResult wide =
        renderJob(directJob("A0,0,0,1,1,1,N,\"" + QByteArray(1000, 'W') + "\"", "q20\r\nQ20,2\r\n"));
    QVERIFY(wide.notUnderstood.isEmpty());
    QCOMPARE(wide.labels.first().overruns.size(), 1);
    QCOMPARE(wide.labels.first().overruns.first().dots, 8000 - 20);
}

QTEST_MAIN(RenderTest)
#include "tst_render.moc"

// A printer reads a stream in whatever pieces it arrives in, and keeps forms and sizes for the next stream.
void RenderTest::streamKeepsMemory()
{
    const QByteArray store = "N\r\nFS\"KEPT\"\r\nV00,6,L,\"\"\r\nq150\r\nQ86,24\r\nA10,10,0,1,1,1,N,V00\r\nFE\r\n";
    const QByteArray recall = "FR\"KEPT\"\r\n?\r\nAB12\r\nP2\r\n";
    const RenderResult whole = renderJob(store + recall, RenderOptions{1, 2});
    QCOMPARE(whole.labels.size(), 2);

    PrinterMemory memory;
    Collected first;
    LabelStream(memory, RenderOptions{1, 10}, first).feed(store);
    QCOMPARE(memory.forms.keys(), QList<QByteArray>{"KEPT"});

    Collected second;
    LabelStream stream(memory, RenderOptions{1, 10, 1}, second);
    for (const char byte : recall)
        stream.feed(QByteArrayView(&byte, 1));
    QVERIFY(second.notes.isEmpty());
    QCOMPARE(second.labels.size(), 1); // one drawn for the P line, both counted
    QCOMPARE(stream.labelsPrinted(), 2u);
    QCOMPARE(second.labels.first().image, whole.labels.first().image);
    QCOMPARE(second.labels.first().line, 4);

    // A line without end is not held whole: it is noted once and the next line is read.
    Collected third;
    LabelStream flood(memory, RenderOptions{1, 10}, third);
    const QByteArray chunk(1 << 20, 'A');
    for (int i = 0; i < 4; ++i)
        flood.feed(chunk);
    flood.feed("\r\n" + recall);
    QCOMPARE(third.notes.size(), 1);
    QVERIFY2(third.notes.first().text.contains(QLatin1String("4194305 bytes long")),
             qPrintable(third.notes.first().text));
    QCOMPARE(third.labels.size(), 2);
}
