// Lines, boxes and pictures exact to the dot, binary GW and GM data read by count, stored graphics, code
// pages, the reference point and the print direction.
#include "render/label_render.h"
#include "support/label_pictures.h"

#include <QtTest>

namespace {

QByteArray labelJob(int width, int length, const QByteArray& lines)
{
    return "N\r\nq" + QByteArray::number(width) + "\r\nQ" + QByteArray::number(length) + ",24\r\n" + lines + "P1\r\n";
}

// Three rows of two bytes with a line feed, a carriage return and a NUL among them.
const QByteArray kGraphicBits("\x0A\xFF\x0D\x00\xFF\xFE", 6);
const QStringList kGraphicArt = {
    "####.#.#........",
    "####..#.########",
    "...............#",
};

} // namespace

class RenderGraphicsTest : public QObject
{
    Q_OBJECT

private slots:
    void exactToTheDot_data();
    void exactToTheDot();
    void graphicDataReadByCount();
    void storedGraphics();
    void codePages();
    void settingsKept();
    void boundedMemory();
};

void RenderGraphicsTest::exactToTheDot_data()
{
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<QStringList>("art");

    QTest::addRow("LO black") << labelJob(10, 4, "LO1,1,4,2\r\n")
                              << QStringList{"..........", ".####.....", ".####.....", ".........."};
    QTest::addRow("LW clears") << labelJob(10, 4, "LO0,0,10,4\r\nLW2,1,3,2\r\n")
                               << QStringList{"##########", "##...#####", "##...#####", "##########"};
    QTest::addRow("LE inverts") << labelJob(10, 4, "LO0,0,5,4\r\nLE3,1,4,2\r\n")
                                << QStringList{"#####.....", "###..##...", "###..##...", "#####....."};
    QTest::addRow("LO clipped at the edges")
        << labelJob(6, 3, "LO-2,2,4,5\r\nLO4,-1,9,2\r\n") << QStringList{"....##", "......", "##...."};
    QTest::addRow("X: box with lines 2 thick, ends included")
        << labelJob(10, 7, "X1,1,2,8,5\r\n") << QStringList{"..........", ".########.", ".########.", ".##....##.",
                                                            ".########.", ".########.", ".........."};
    QTest::addRow("X: ends given first") << labelJob(6, 5, "X4,3,1,1,0\r\n")
                                         << QStringList{".####.", ".#..#.", ".#..#.", ".####.", "......"};
    QTest::addRow("LS shallow: columns 2 thick")
        << labelJob(10, 6, "LS0,0,2,9,3\r\n")
        << QStringList{"##........", "#####.....", "..######..", ".....#####", "........##", ".........."};
    QTest::addRow("LS steep: rows 2 thick")
        << labelJob(5, 5, "LS0,0,2,2,4\r\n") << QStringList{"##...", ".##..", ".##..", "..##.", "..##."};
    QTest::addRow("LS upwards") << labelJob(5, 3, "LS0,2,1,4,0\r\n") << QStringList{"...##", ".##..", "#...."};
    QTest::addRow("GW with CR, LF and NUL in its data")
        << labelJob(16, 3, "GW0,0,2,3," + kGraphicBits + "\r\n") << kGraphicArt;
    QTest::addRow("GW ORs into what is there") << labelJob(16, 3, "LO8,2,8,1\r\nGW0,0,2,3," + kGraphicBits + "\r\n")
                                               << QStringList{kGraphicArt[0], kGraphicArt[1], "........########"};
    QTest::addRow("GW data followed at once by the next command")
        << labelJob(16, 3, "GW0,0,2,3," + kGraphicBits + "LO0,2,2,1\r\n")
        << QStringList{kGraphicArt[0], kGraphicArt[1], "##.............#"};
    QTest::addRow("R moves later positions") << labelJob(8, 4, "LO0,0,1,1\r\nR3,1\r\nLO0,0,2,2\r\n")
                                             << QStringList{"#.......", "...##...", "...##...", "........"};
    QTest::addRow("ZB turns the label") << labelJob(6, 3, "ZB\r\nLO0,0,2,1\r\n")
                                        << QStringList{"......", "......", "....##"};
    // Soft fonts: each character's bitmap (1 bits print) at its spacing, its 0 bytes and line ends read by count.
    QTest::addRow("soft font: bitmaps at their spacing")
        << labelJob(15, 3, softFontF() + "A0,0,0,f,1,1,N,\"ABC\"\r\n")
        << QStringList{"#.#.##.....#.#.", ".#.........##.#", "###..#........."};
    QTest::addRow("soft font: multiplier 2 across, 2 along")
        << labelJob(6, 6, softFontF() + "A1,0,0,f,2,2,N,\"B\"\r\n")
        << QStringList{".####.", ".####.", "......", "......", "...##.", "...##."};
    QTest::addRow("soft font: reverse") << labelJob(3, 3, softFontF() + "A0,0,0,f,1,1,R,\"B\"\r\n")
                                        << QStringList{"..#", "###", "#.#"};
    QTest::addRow("soft font without a 90 degree set: its bitmaps turned")
        << labelJob(3, 3, softFontF() + "A3,0,1,f,1,1,N,\"A\"\r\n") << QStringList{"#.#", "##.", "#.#"};
    QTest::addRow("soft font with both sets: the 90 degree one at rotation 1")
        << labelJob(4, 2,
                    softFontStore('g', 1, 2, 2, {{'A', 2, 2, 0xC0, 0x00}, {'A', 2, 2, 0x80, 0x80}}) +
                        "A0,0,0,g,1,1,N,\"A\"\r\nA4,0,1,g,1,1,N,\"A\"\r\n")
        << QStringList{"####", "...."};
}

void RenderGraphicsTest::exactToTheDot()
{
    QFETCH(QByteArray, job);
    QFETCH(QStringList, art);
    const RenderedLabel label = onlyLabelOf(job);
    QCOMPARE(artOf(label.image), art);
}

// GW takes its stated number of bytes whatever they are, in any pieces; the sink is offered the header and
// never the data.
void RenderGraphicsTest::graphicDataReadByCount()
{
    const QByteArray job = labelJob(16, 3, "GW0,0,2,3," + kGraphicBits + "\r\n");
    PrinterMemory memory;
    Collected byteByByte;
    LabelStream stream(memory, RenderOptions(), byteByByte);
    for (const char byte : job)
        stream.feed(QByteArrayView(&byte, 1));
    stream.finish();
    QVERIFY(byteByByte.notes.isEmpty());
    QCOMPARE(byteByByte.labels.size(), 1);
    QCOMPARE(artOf(byteByByte.labels.first().image), kGraphicArt);
    QVERIFY(byteByByte.offered.contains("GW0,0,2,3,"));
    for (const QByteArray& line : byteByByte.offered)
        QVERIFY2(!line.contains('\xFE') && !line.contains('\x0D'), line.toHex().constData());
    QCOMPARE(stream.lines(), 5); // N, q, Q, GW with its data, P

    // Data cut short by the end of the stream is noted, not read as lines.
    Collected cut;
    LabelStream shortStream(memory, RenderOptions(), cut);
    shortStream.feed("GW0,0,2,3,\x0A\n");
    shortStream.finish();
    QCOMPARE(cut.notes.size(), 1);
    QVERIFY2(cut.notes.first().text.contains(QLatin1String("4 bytes before the end of the data of GW")),
             qPrintable(cut.notes.first().text));

    // A header that is not one is read as a line and noted; the next line is read as usual.
    const RenderResult bad = renderJob(labelJob(4, 2, "GW0,0,0,3,\r\nLO0,0,1,1\r\n"));
    QCOMPARE(bad.notUnderstood.size(), 1);
    QCOMPARE(bad.notUnderstood.first().line, 4);
    QCOMPARE(artOf(bad.labels.first().image), (QStringList{"#...", "...."}));
}

void RenderGraphicsTest::storedGraphics()
{
    const QStringList logo = {"#........#", ".##....##.", "...####..."};
    const QByteArray pcx = pcxFile(logo);
    QVERIFY(pcx.contains('\n') || pcx.contains('\0'));
    const QByteArray store = "GK\"LOGO\"\r\nGM\"LOGO\"" + QByteArray::number(pcx.size()) + "\r\n" + pcx + "\r\n";
    PrinterMemory memory;
    Collected first;
    LabelStream stream(memory, RenderOptions(), first);
    stream.feed(store);
    stream.finish();
    QVERIFY(first.notes.isEmpty());
    QCOMPARE(memory.graphics.keys(), QList<QByteArray>{"LOGO"});
    QVERIFY(memory.generation >= 2);
    QVERIFY(!first.offered.join().contains(pcx.mid(128)));

    // Recalled by a later stream, as a printer keeps it.
    Collected second;
    LabelStream recall(memory, RenderOptions(), second);
    recall.feed(labelJob(12, 5, "GG1,1,\"LOGO\"\r\n"));
    recall.finish();
    QVERIFY(second.notes.isEmpty());
    QCOMPARE(artOf(second.labels.first().image),
             (QStringList{"............", ".#........#.", "..##....##..", "....####....", "............"}));

    const quint64 before = memory.generation;
    Collected third;
    LabelStream remove(memory, RenderOptions(), third);
    remove.feed("GK\"*\"\r\n" + labelJob(12, 5, "GG1,1,\"LOGO\"\r\n"));
    remove.finish();
    QVERIFY(memory.graphics.isEmpty());
    QVERIFY(memory.generation > before);
    QCOMPARE(third.notes.size(), 1);
    QVERIFY(third.notes.first().text.contains(QLatin1String("no such graphic")));

    // Not a PCX file: noted, and the bytes are not read as commands.
    const RenderResult junk = renderJob("GM\"BAD\"5\r\nP1\r\nN" + labelJob(4, 2, "LO0,0,1,1\r\n"));
    QCOMPARE(junk.notUnderstood.size(), 1);
    QVERIFY(junk.notUnderstood.first().text.contains(QLatin1String("not a 1-bit")));
    QCOMPARE(junk.labelsPrinted, 1u);
}

// Fonts draw bytes above 0x7F from the code page I chooses; 437 until then.
void RenderGraphicsTest::codePages()
{
    const auto textOf = [](const QByteArray& select, const QByteArray& bytes = "\x9B\x82\xE9") {
        const RenderedLabel label = onlyLabelOf(labelJob(200, 30, select + "A0,0,0,2,1,1,N,\"" + bytes + "\"\r\n"));
        return label.fields.isEmpty() ? QString() : label.fields.first().text;
    };
    QCOMPARE(textOf(""), QString::fromUtf8("¢éΘ"));
    QCOMPARE(textOf("I8,0,001\r\n"), QString::fromUtf8("¢éΘ"));
    QCOMPARE(textOf("I8,1,001\r\n"), QString::fromUtf8("øéÚ"));
    QCOMPARE(textOf("I8,A,001\r\n"), QString::fromUtf8("›‚é"));
    QCOMPARE(textOf("I8,2,001\r\n"), QString::fromUtf8("ŤéÚ"));
    QCOMPARE(textOf("I8,10,001\r\n"), QString::fromUtf8("ЫВщ"));
    QCOMPARE(textOf("I8,C\r\n"), QString::fromUtf8("›‚й"));
    QCOMPARE(textOf("I8,12,001\r\n"), QString::fromUtf8("άéο"));
    // Where published tables of 851 disagree, IBM's: capital mu and nu in order, a cedilla at 0xF7.
    QCOMPARE(textOf("I8,12\r\n", "\xB7\xB8\xF7\xEF"), QString::fromUtf8("ΜΝ¸´"));

    // The same letter from two code pages draws the same dots.
    const auto cell = [](const QByteArray& select, char byte) {
        const RenderedLabel label = onlyLabelOf(labelJob(20, 20, select + "A0,0,0,2,1,1,N,\"" + byte + "\"\r\n"));
        return label.image.copy(0, 0, 10, 16);
    };
    const QImage fromDos = cell("", char(0x82));
    QCOMPARE(cell("I8,A\r\n", char(0xE9)), fromDos);
    QVERIFY(blackPixels(fromDos, fromDos.rect()) > 0);
    QVERIFY(cell("", 'e') != fromDos);

    // 7-bit national sets put their letters at ASCII positions; German [ draws 437's Ä.
    QCOMPARE(textOf("I7,1\r\n", "#@[~"), QString::fromUtf8("£@[‾"));
    QCOMPARE(textOf("I7,2,001\r\n", "#@[~\x82"), QString::fromUtf8("#§Äßé"));
    QCOMPARE(textOf("I7,7\r\n", "$@^`"), QString::fromUtf8("¤ÉÜé"));
    QCOMPARE(cell("I7,2\r\n", '['), cell("", char(0x8E)));

    const RenderResult unknown = renderJob(labelJob(20, 20, "I8,14,001\r\nI7,9,001\r\nA0,0,0,1,1,1,N,\"A\"\r\n"));
    QCOMPARE(unknown.notUnderstood.size(), 2);
    QVERIFY(unknown.notUnderstood.at(0).text.contains(QLatin1String("code page 14 is not drawn")));
    QVERIFY(unknown.notUnderstood.at(1).text.contains(QLatin1String("7-bit national set 9 is not drawn")));
}

void RenderGraphicsTest::settingsKept()
{
    PrinterMemory memory;
    Collected sink;
    LabelStream stream(memory, RenderOptions(), sink);
    stream.feed("JB\r\nOD,Cb\r\nZB\r\nR10,20\r\nI8,1\r\nA0,0,0,A,1,1,N,\"soft\"\r\n");
    stream.finish();
    QCOMPARE(sink.notes.size(), 1);
    QVERIFY(sink.notes.first().text.contains(QLatin1String("no soft font \"A\" is stored")));
    QCOMPARE(memory.settings.formBackup, QByteArray("B"));
    QCOMPARE(memory.settings.options, QByteArray("D,Cb"));
    QVERIFY(memory.settings.bottomFirst);
    QCOMPARE(memory.settings.reference, QPoint(10, 20));
    QCOMPARE(memory.settings.codePage, 850);
}

// Drawing commands without end, forms too large and pictures too many are refused with one note each.
void RenderGraphicsTest::boundedMemory()
{
    QByteArray lines;
    for (int i = 0; i <= kMaxLabelItems + 5; ++i)
        lines += "LO0,0,1,1\r\n";
    const RenderResult many = renderJob(labelJob(4, 4, lines));
    QCOMPARE(many.notUnderstood.size(), 1);
    QCOMPARE(many.notUnderstood.first().line, 4 + kMaxLabelItems);
    QVERIFY(many.notUnderstood.first().text.contains(QLatin1String("at most 20000")));

    const RenderResult form =
        renderJob("FS\"BIG\"\r\nGW0,0,1024,2048," + QByteArray(1024 * 2048, '\xFF') + "\r\nGW0,0,1024,2048," +
                  QByteArray(1024 * 2048, '\xFF') + "\r\nFE\r\nFR\"BIG\"\r\n");
    QCOMPARE(form.notUnderstood.size(), 1);
    QCOMPARE(form.notUnderstood.first().line, 3);
    QVERIFY2(form.notUnderstood.first().text.contains(QLatin1String("longer than 4194304 bytes")),
             qPrintable(form.notUnderstood.first().text));

    QByteArray pictures;
    for (int i = 0; i < 9; ++i)
        pictures += "GW0,0,1024,8192," + QByteArray(1024 * 8192, '\xFF') + "\r\n";
    const RenderResult full = renderJob(labelJob(8, 8, pictures));
    QCOMPARE(full.notUnderstood.size(), 1);
    QCOMPARE(full.notUnderstood.first().line, 12);
    QVERIFY(full.notUnderstood.first().text.contains(QLatin1String("67108864 bytes of GW pictures")));
}

QTEST_MAIN(RenderGraphicsTest)
#include "tst_render_graphics.moc"
