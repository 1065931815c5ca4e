// The label picture window: it opens from the Printer menu, follows the main window, names the fields that
// run past an edge, says why there is no picture, draws every dot as a square, and closes with Escape.
#include "printing/epl2_job.h"
#include "windows/frm_label_picture.h"
#include "windows/frm_main.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStackedWidget>
#include <QtTest>

namespace {

// The open picture window of `w`, once the changes made so far have reached it.
Frm_LabelPicture& openPicture(Frm_Main& w)
{
    if (!w.pictureWindow() || !w.pictureWindow()->isVisible())
        w.Mnu_LabelPicture->trigger();
    QCoreApplication::processEvents();
    return *w.pictureWindow();
}

// Pixels of the view's own colour `color` in its picture on screen.
int pixelsOfColor(LabelPictureView* view, QRgb color)
{
    const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < shown.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
        count += int(std::count(line, line + shown.width(), color));
    }
    return count;
}

constexpr QRgb kRed = 0xFFE00000;

} // namespace

class TestLabelPicture : public QObject
{
    Q_OBJECT

private slots:
    void menuBetweenFileAndHelp();
    void overrunsAreNamed_data();
    void overrunsAreNamed();
    void reasonInPlaceOfThePicture_data();
    void reasonInPlaceOfThePicture();
    void dotsAreWholeSquares_data();
    void dotsAreWholeSquares();
    void followsOnlyWhileOpen();
    void placedBesideTheMainWindow_data();
    void placedBesideTheMainWindow();
    void accessibleNames();
};

void TestLabelPicture::menuBetweenFileAndHelp()
{
    Frm_Main w;
    QStringList titles;
    for (const QAction* action : w.menuBar()->actions())
        titles << action->text();
    QCOMPARE(titles, (QStringList{"File", "Printer", "Help"}));
    QCOMPARE(w.Mnu_Printer->actions(), (QList<QAction*>{w.Mnu_LabelPicture, w.Mnu_PrinterStatus, w.Mnu_AskAfterPrint}));
    QCOMPARE(w.Mnu_PrinterStatus->text(), QStringLiteral("Status"));
    QCOMPARE(w.Mnu_AskAfterPrint->text(), QStringLiteral("Ask after each Print"));
    QCOMPARE(w.Mnu_LabelPicture->text(), QStringLiteral("Label Picture"));

    // One window, whatever the number of times it is asked for; it is not modal.
    w.Mnu_LabelPicture->trigger();
    Frm_LabelPicture* first = w.pictureWindow();
    w.Mnu_LabelPicture->trigger();
    QCOMPARE(w.pictureWindow(), first);
    QVERIFY(first->isVisible() && first->isWindow());
    QVERIFY(!first->isModal());
    QCOMPARE(first->parentWidget(), &w);
}

void TestLabelPicture::overrunsAreNamed_data()
{
    QTest::addColumn<int>("size"); // the option button handler's index: 1M, 2M, 3M
    QTest::addColumn<bool>("fiveAcross");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QStringList>("clicks"); // nudge buttons, by name
    QTest::addColumn<QStringList>("overruns");

    QTest::addRow("1M, six-character Item")
        << 0 << false << "AB1234" << QStringList() << QStringList{"Item runs 30 dots past the bottom edge"};
    QTest::addRow("1M, three characters")
        << 0 << false << "ABC" << QStringList() << QStringList{"Item runs 6 dots past the bottom edge"};
    QTest::addRow("1M, two characters fit") << 0 << false << "AB" << QStringList() << QStringList{};
    QTest::addRow("five-across, Version nudged off the left")
        << 1 << true << "AB" << QStringList(8, "SSCmd_VerXM")
        << QStringList{"Version (copy 1) runs 4 dots past the left edge"};
    QTest::addRow("3M, every field on the label") << 2 << false << "AB1234" << QStringList() << QStringList{};
    QTest::addRow("3M, Data and Item nudged off the top")
        << 2 << false << "AB1234" << QStringList(5, "SSCmd_DataYM") + QStringList(2, "SSCmd_ItemYM")
        << QStringList{"Item runs 2 dots past the top edge", "Data runs 5 dots past the top edge"};
}

void TestLabelPicture::overrunsAreNamed()
{
    QFETCH(int, size);
    QFETCH(bool, fiveAcross);
    QFETCH(QString, item);
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, overruns);

    Frm_Main w;
    Frm_LabelPicture& picture = openPicture(w);
    const std::array<void (Frm_Main::*)(qint16), 3> sizes{&Frm_Main::SSOpt_1M_Click, &Frm_Main::SSOpt_2M_Click,
                                                          &Frm_Main::SSOpt_3M_Click};
    (w.*sizes[size_t(size)])(1);
    w.Chk_Print5->setChecked(fiveAcross);
    w.Txt_Item->setText(item);
    w.Txt_Version->setText(QStringLiteral("V1"));
    w.Txt_Data->setText(QStringLiteral("230623")); // all six: a shorter value is centred in its six cells
    for (const QString& button : clicks)
        w.findChild<SSCommand*>(button)->click();
    QCoreApplication::processEvents();

    QCOMPARE(picture.picture().overruns, overruns);
    QCOMPARE(picture.Lbl_Overruns->text(),
             overruns.isEmpty() ? QStringLiteral("Every field lies on the label.") : overruns.join(QLatin1Char('\n')));
    QCOMPARE(picture.picture().outlined.size(), overruns.size());
    if (!overruns.isEmpty())
        QVERIFY(picture.Pic_Label->accessibleDescription().endsWith(QStringLiteral("; ") + overruns.join("; ")));
    // The red outline is drawn exactly when a field runs past an edge.
    QCOMPARE(pixelsOfColor(picture.Pic_Label, kRed) > 0, !overruns.isEmpty());
}

void TestLabelPicture::reasonInPlaceOfThePicture_data()
{
    QTest::addColumn<QString>("box"); // the object name of the text box typed into; empty for Item Y
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cause");

    QTest::addRow("Item outside ASCII") << "Txt_Item" << QStringLiteral("AB\u00e9")
                                        << "Item: contains a character outside ASCII (U+00E9)";
    QTest::addRow("Gap with a control character") << "Txt_Gap" << QStringLiteral("1\x1b")
                                                  << "Gap: contains a "
                                                     "control character "
                                                     "(U+001B)";
    QTest::addRow("Item Y past the 16-bit range under 1M") << ""
                                                           << "40000"
                                                           << "Item Y position: out of range";
}

void TestLabelPicture::reasonInPlaceOfThePicture()
{
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(QString, cause);

    Frm_Main w;
    Frm_LabelPicture& picture = openPicture(w);
    QVERIFY(picture.picture().ok());
    const QString before = box.isEmpty() ? Module1::ItemY : w.findChild<TextBox*>(box)->text();
    const auto enter = [&](const QString& value) {
        if (box.isEmpty()) {
            w.SSOpt_1M_Click(1);
            Module1::ItemY = value; // only a fault could put it there; the next nudge makes it show
            w.SSCmd_VerXP_Click();
        } else {
            w.findChild<TextBox*>(box)->setText(value);
        }
        QCoreApplication::processEvents();
    };

    enter(text);
    QCOMPARE(picture.Lbl_Reason->text(), QStringLiteral("No picture: Print would refuse this label.\n\n") + cause);
    auto* stack = picture.findChild<QStackedWidget*>();
    QCOMPARE(stack->currentWidget(), picture.Lbl_Reason);
    QCOMPARE(picture.Lbl_Overruns->text(), QString());
    QVERIFY(picture.Pic_Label->accessibleDescription().endsWith(QStringLiteral("no picture: ") + cause));
    QCOMPARE(QApplication::activeModalWidget(), nullptr); // said in the window, not in a message box

    enter(before);
    QCOMPARE(stack->currentWidget(), picture.Pic_Label);
    QVERIFY(picture.picture().ok());
}

void TestLabelPicture::dotsAreWholeSquares_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("fiveAcross");
    QTest::addColumn<QSize>("window");
    QTest::addRow("1M, large dots with the grid") << 0 << false << QSize(900, 700);
    QTest::addRow("2M five-across, small dots") << 1 << true << QSize(560, 400);
    QTest::addRow("9M, a narrow window") << 4 << false << QSize(300, 500);
}

// Dot (x, y) of the label is the square of zoom by zoom pixels at its place, all of the dot's colour; with the
// grid, the square's top row and left column are the grid line.
void TestLabelPicture::dotsAreWholeSquares()
{
    QFETCH(int, size);
    QFETCH(bool, fiveAcross);
    QFETCH(QSize, window);

    Frm_Main w;
    const std::array<void (Frm_Main::*)(qint16), 5> sizes{&Frm_Main::SSOpt_1M_Click, &Frm_Main::SSOpt_2M_Click,
                                                          &Frm_Main::SSOpt_3M_Click, &Frm_Main::SSOpt_9M_Click,
                                                          &Frm_Main::SSOpt_6M_Click};
    (w.*sizes[size_t(size)])(1);
    w.Chk_Print5->setChecked(fiveAcross);
    w.Txt_Item->setText(QStringLiteral("AB")); // on every label: the label alone decides the zoom
    w.Txt_Version->setText(QStringLiteral("V1"));
    Frm_LabelPicture& picture = openPicture(w);
    picture.resize(window);
    QCoreApplication::processEvents();

    LabelPictureView* view = picture.Pic_Label;
    const QImage dots = picture.picture().label.image;
    const int zoom = view->zoom();
    QVERIFY(zoom >= 1);
    const QRect label = view->labelPixels();
    QCOMPARE(label.size(), dots.size() * zoom);
    QVERIFY(view->rect().contains(label));
    // The largest whole number at which the label, its edge line and a margin of 8 pixels fit.
    const QSize room = view->size() - QSize(16, 16);
    QVERIFY((dots.width() + 2) * (zoom + 1) > room.width() || (dots.height() + 2) * (zoom + 1) > room.height());

    const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const bool grid = zoom >= LabelPictureView::kGridZoom;
    const int skip = grid ? 1 : 0;
    int wrong = 0;
    for (int y = 0; y < dots.height(); ++y) {
        for (int x = 0; x < dots.width(); ++x) {
            const QRgb expected = dots.constScanLine(y)[x] == 0 ? 0xFF000000 : 0xFFFFFFFF;
            const QPoint corner = label.topLeft() + QPoint(x, y) * zoom;
            for (int v = skip; v < zoom; ++v) {
                for (int u = skip; u < zoom; ++u)
                    wrong += shown.pixel(corner + QPoint(u, v)) != expected ? 1 : 0;
            }
        }
    }
    QCOMPARE(wrong, 0);
    // Between the two white dots of the top left corner lies a grid line, or nothing.
    QCOMPARE(dots.constScanLine(0)[0] + dots.constScanLine(0)[1], 2 * 255);
    QCOMPARE(shown.pixel(label.topLeft() + QPoint(zoom, zoom / 2)) != 0xFFFFFFFF, grid);
}

void TestLabelPicture::followsOnlyWhileOpen()
{
    Frm_Main w;
    Frm_LabelPicture& picture = openPicture(w);
    const auto showsTheWindowsJob = [&] { return picture.picture().job.bytes == composeJob(w.labelSettings()).bytes; };

    // Text, size, nudge, gap and five-across box each bring the picture up to date (the five-across job has a
    // gap of its own).
    const std::function<void()> changes[] = {
        [&] { w.Txt_Item->setText(QStringLiteral("AB12")); },
        [&] { w.SSOpt_2M_Click(1); },
        [&] { w.SSCmd_ItemYP_Click(); },
        [&] { w.Txt_Gap->setText(QStringLiteral("15")); },
        [&] { w.Chk_Print5->setChecked(true); },
    };
    for (const auto& change : changes) {
        const QByteArray before = picture.picture().job.bytes;
        change();
        QCoreApplication::processEvents();
        QVERIFY(picture.picture().job.bytes != before);
        QVERIFY(showsTheWindowsJob());
    }

    QTest::keyClick(&picture, Qt::Key_Escape);
    QVERIFY(!picture.isVisible());
    w.Txt_Item->setText(QStringLiteral("CD"));
    QCoreApplication::processEvents();
    QVERIFY(!showsTheWindowsJob()); // closed, it composes nothing

    w.Mnu_LabelPicture->trigger();
    QCOMPARE(w.pictureWindow(), &picture);
    QVERIFY(showsTheWindowsJob()); // drawn anew as it opens

    w.Mnu_End_Click();
    QVERIFY(!picture.isVisible()); // it goes with the main window
}

void TestLabelPicture::placedBesideTheMainWindow_data()
{
    QTest::addColumn<QString>("side"); // where the main window leaves room: "right", "left" or "none"
    QTest::addRow("room on the right") << "right";
    QTest::addRow("room on the left") << "left";
    QTest::addRow("room on neither side") << "none";
}

void TestLabelPicture::placedBesideTheMainWindow()
{
    QFETCH(QString, side);
    Frm_Main w;
    Frm_LabelPicture picture(&w, [] { return LabelSettings(); });
    const QRect screen = w.screen()->availableGeometry();
    QVERIFY(screen.width() >= 300 + 8 + 400);
    QRect frame(screen.topLeft(), QSize(300, 200));
    if (side == QLatin1String("left"))
        frame.moveRight(screen.right());
    else if (side == QLatin1String("none"))
        frame = screen.adjusted(screen.width() / 2 - 250, 0, 250 - screen.width() / 2, 0);
    picture.placeBeside(frame);

    const QRect placed = picture.geometry();
    QVERIFY(screen.contains(placed));
    QVERIFY(placed.width() >= 400);
    if (side == QLatin1String("right"))
        QCOMPARE(placed.left(), frame.right() + 1 + 8);
    else if (side == QLatin1String("left"))
        QCOMPARE(placed.right(), frame.left() - 1 - 8);
    else
        QCOMPARE(placed.right(), screen.right());
    QCOMPARE(placed.intersects(frame), side == QLatin1String("none"));
}

void TestLabelPicture::accessibleNames()
{
    Frm_Main w;
    const char* fields[] = {"Item", "Version", "Data", "Checksum"};
    const char* buttons[] = {"Item", "Ver", "Data", "Chksum"};
    for (int f = 0; f < 4; ++f) {
        for (const char* axis : {"X", "Y"}) {
            for (const auto& [sign, words] : {std::pair{"M", "minus"}, std::pair{"P", "plus"}}) {
                const QString name = QStringLiteral("SSCmd_%1%2%3").arg(buttons[f], axis, sign);
                auto* button = w.findChild<SSCommand*>(name);
                QVERIFY2(button, qPrintable(name));
                QCOMPARE(button->accessibleName(), QStringLiteral("%1 %2 %3").arg(fields[f], axis, words));
                QCOMPARE(button->text(), QString::fromLatin1(*sign == 'M' ? "-" : "+")); // drawn as before
            }
        }
    }
    QCOMPARE(w.SSCommand2->accessibleName(), QStringLiteral("Preview"));
    QCOMPARE(w.SSCmd_Qty->accessibleName(), QStringLiteral("Quantity"));
    QCOMPARE(w.SSCommand1->accessibleName(), QStringLiteral("Company web site"));

    w.Txt_Item->setText(QStringLiteral("AB1234"));
    Frm_LabelPicture& picture = openPicture(w);
    QCOMPARE(picture.Pic_Label->accessibleName(), QStringLiteral("Label picture"));
    // Item at X 100 reads downwards, so its 8 by 12 cells lie left of X; the empty checksum prints the counter.
    QCOMPARE(picture.Pic_Label->accessibleDescription(),
             QStringLiteral("3M label, 150 by 86 dots, Item AB1234 at x 88 to 99, y 0 to 47, Version empty, "
                            "Data empty, Checksum 0001 at x 43 to 54, y 0 to 31"));
}

QTEST_MAIN(TestLabelPicture)
#include "tst_label_picture.moc"
