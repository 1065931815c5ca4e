#include "support/event_loop.h"
#include "windows/frm_help.h"
#include "windows/frm_main.h"
#include "windows/web_opener.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTest>
#include <QTimer>

class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void startFocusAndTabOrder();
    void nothingElseTakesFocusByTab();
    void headingButtonsDoNothing();
    void helpTwiceGivesOneAboutWindow();
    void aboutWindowAfterOkIsLoadedAgain();
    void aboutWindowTable_data();
    void aboutWindowTable();
    void logoClicksStartTheOpenerEachTime();
    void failedBrowserStartLeavesTheProgramRunning();
    void endWithAboutOpenEndsWhenAboutCloses_data();
    void endWithAboutOpenEndsWhenAboutCloses();
    void endWithNothingElseOpenEndsAtOnce_data();
    void endWithNothingElseOpenEndsAtOnce();
    void koreanCaptionsHaveGlyphs();
};

void TestWindows::cleanup()
{
    setUrlOpener({});
    QList<QPointer<QWidget>> windows;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<Frm_Main*>(window) || qobject_cast<Frm_Help*>(window))
            windows << window;
    }
    qDeleteAll(windows);
}

void TestWindows::startFocusAndTabOrder()
{
    auto* w = new Frm_Main;
    w->showCentred();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QCOMPARE(QApplication::focusWidget(), w->Txt_Item);

    const QStringList expected = {"Txt_Version", "Txt_Data", "Txt_Chksum", "Txt_Qty",      "SSCmd_Print",
                                  "SSCmd_End",   "Txt_Gap",  "Chk_Print5", "Txt_DarkNess", "Txt_Item"};
    QStringList visited;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, expected);

    // Under 2M the Data and Checksum boxes are disabled and skipped.
    w->SSOpt_2M_Click(1);
    w->Txt_Version->setFocus();
    QTest::keyClick(w->Txt_Version, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w->Txt_Qty);
}

void TestWindows::nothingElseTakesFocusByTab()
{
    Frm_Main w;
    const QSet<QString> tabStops = {"Txt_Item",   "Txt_Version", "Txt_Data",   "Txt_Chksum",
                                    "Txt_Qty",    "SSCmd_Print", "SSCmd_End",  "SSCmd_Qty",
                                    "SSCommand2", "Txt_Gap",     "Chk_Print5", "Txt_DarkNess"};
    for (QWidget* child : w.findChildren<QWidget*>()) {
        if (child->objectName().isEmpty() || qobject_cast<QMenu*>(child))
            continue;
        const bool takesTab = (child->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
        QVERIFY2(takesTab == tabStops.contains(child->objectName()), qPrintable(child->objectName()));
    }
}

void TestWindows::headingButtonsDoNothing()
{
    Frm_Main w;
    const LabelSettings before = w.labelSettings();
    for (const char* name :
         {"SSCmd_Item", "SSCmd_Version", "SSCmd_Data", "SSCmd_Checksum", "SSCmd_Pos_Item", "SSCmd_Pos_Version",
          "SSCmd_Pos_Data", "SSCmd_Pos_Checksum", "SSCmd_X", "SSCmd_Y", "SSCommand2", "SSCmd_Qty"}) {
        auto* button = w.findChild<SSCommand*>(QString::fromLatin1(name));
        QVERIFY2(button && !button->isEnabled(), name);
        QSignalSpy clicks(button, &QAbstractButton::clicked);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 0);
    }
    const LabelSettings after = w.labelSettings();
    QVERIFY(after.positions == before.positions);
    QCOMPARE(after.item, before.item);
    QVERIFY(!w.helpWindow());
}

void TestWindows::helpTwiceGivesOneAboutWindow()
{
    Frm_Main w;
    w.Mnu_Help->trigger();
    QPointer<Frm_Help> first = w.helpWindow();
    QVERIFY(first && first->isVisible());
    first->lblVersion->setText(QStringLiteral("marker")); // a second load step would overwrite it
    w.Mnu_Help->trigger();
    QCOMPARE(w.helpWindow(), first.data());
    QCOMPARE(first->lblVersion->text(), QStringLiteral("marker"));
    int aboutWindows = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
        aboutWindows += qobject_cast<Frm_Help*>(window) ? 1 : 0;
    QCOMPARE(aboutWindows, 1);
    // The main window stays usable: nothing modal.
    QVERIFY(!first->isModal());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!first->parent());
}

void TestWindows::aboutWindowAfterOkIsLoadedAgain()
{
    Frm_Main w;
    w.Mnu_Help_Click();
    QPointer<Frm_Help> first = w.helpWindow();
    QTest::mouseClick(first->Cmd_OK, Qt::LeftButton);
    QVERIFY(!first->isVisible());
    QTRY_VERIFY(!first); // destroyed
    w.Mnu_Help_Click();
    QVERIFY(w.helpWindow());
    QCOMPARE(w.helpWindow()->lblVersion->text(), QStringLiteral("Ver1.0.9"));
}

void TestWindows::aboutWindowTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("text");
    QTest::newRow("Image1") << "Image1" << QRect(20, 18, 123, 36) << "";
    QTest::newRow("Label11") << "Label11" << QRect(148, 26, 222, 21) << "Quorlex Label";
    QTest::newRow("lblVersion") << "lblVersion" << QRect(32, 64, 259, 15) << "Ver1.0.9";
    QTest::newRow("Label9") << "Label9" << QRect(32, 90, 315, 14) << "";
    QTest::newRow("Label7") << "Label7" << QRect(32, 114, 129, 17) << "Tel)  ";
    QTest::newRow("Label3") << "Label3" << QRect(32, 138, 313, 17) << "Homepage : ";
    QTest::newRow("Label8") << "Label8" << QRect(32, 162, 313, 17) << "";
    QTest::newRow("Label6") << "Label6" << QRect(32, 186, 57, 17) << "사용자 :";
    QTest::newRow("lblCompany") << "lblCompany" << QRect(96, 186, 257, 17) << "Quorlex";
    QTest::newRow("Picture1") << "Picture1" << QRect(248, 194, 102, 37) << "";
    QTest::newRow("Label5") << "Label5" << QRect(16, 208, 212, 21) << "(주)";
    QTest::newRow("lblDisclaimer") << "lblDisclaimer" << QRect(16, 252, 233, 30) << QString(16, QLatin1Char(' '));
    QTest::newRow("Cmd_OK") << "Cmd_OK" << QRect(256, 256, 106, 23) << "확  인";
}

void TestWindows::aboutWindowTable()
{
    QFETCH(QString, name);
    QFETCH(QRect, place);
    QFETCH(QString, text);
    Frm_Help about;
    about.setAttribute(Qt::WA_DeleteOnClose, false);
    QCOMPARE(about.windowTitle(), QStringLiteral("프로그램 정보"));
    QCOMPARE(about.size(), QSize(386, 293));
    QCOMPARE(about.Frame1->geometry(), QRect(4, 0, 377, 289));
    auto* control = about.findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget(), about.Frame1);
    QCOMPARE(control->geometry(), place);
    QString shown;
    if (auto* label = qobject_cast<QLabel*>(control))
        shown = label->text();
    else if (auto* button = qobject_cast<QPushButton*>(control))
        shown = button->text();
    if (!text.isEmpty())
        QVERIFY2(shown.startsWith(text), qPrintable(shown));
    if (name == QLatin1String("lblDisclaimer"))
        QVERIFY(shown.size() > 16 && shown.at(16) != QLatin1Char(' '));
}

void TestWindows::logoClicksStartTheOpenerEachTime()
{
    QList<QUrl> opened;
    setUrlOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    Frm_Main w;
    QTest::mouseClick(w.SSCommand1, Qt::LeftButton);
    QTest::mouseClick(w.SSCommand1, Qt::LeftButton);
    QCOMPARE(opened, (QList<QUrl>{companyWebSite(), companyWebSite()}));
    QCOMPARE(companyWebSite().host(), QStringLiteral("www.example.com"));

    w.Mnu_Help_Click();
    Frm_Help* about = w.helpWindow();
    QTest::mouseClick(about->Image1, Qt::LeftButton);
    QTest::mouseClick(about->Label11, Qt::LeftButton);
    QCOMPARE(opened.size(), 2); // only the developer's logo opens a site
    QTest::mouseClick(about->Picture1, Qt::LeftButton);
    QCOMPARE(opened.size(), 3);
    QCOMPARE(opened.last(), developerWebSite());
    QVERIFY(developerWebSite().host().endsWith(QLatin1String("example.org")));
}

void TestWindows::failedBrowserStartLeavesTheProgramRunning()
{
    int attempts = 0;
    setUrlOpener([&](const QUrl&) {
        ++attempts;
        return false;
    });
    Frm_Main w;
    w.show();
    w.SSCommand1_Click();
    w.Mnu_Help_Click();
    w.helpWindow()->Picture1_Click();
    QCOMPARE(attempts, 2);
    QVERIFY(w.isVisible());
    QVERIFY(w.helpWindow()->isVisible());
    w.SSCmd_ItemXP_Click(); // still usable
    QCOMPARE(w.SSP_ItemX->Caption(), QStringLiteral("1"));
}

void TestWindows::endWithAboutOpenEndsWhenAboutCloses_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("menu") << "menu";
    QTest::newRow("button") << "button";
    QTest::newRow("close box") << "close";
}

namespace {

void endMainWindow(Frm_Main* w, const QString& how)
{
    if (how == QLatin1String("menu"))
        w->Mnu_End->trigger();
    else if (how == QLatin1String("button"))
        QTest::mouseClick(w->SSCmd_End, Qt::LeftButton);
    else
        w->close();
}

} // namespace

void TestWindows::endWithAboutOpenEndsWhenAboutCloses()
{
    QFETCH(QString, how);
    QPointer<Frm_Main> w = new Frm_Main;
    w->showCentred();
    w->Mnu_Help_Click();
    QPointer<Frm_Help> about = w->helpWindow();

    // What happens, in order: the main window goes at once, the program runs on while About is open, and
    // ends when About is closed.
    QStringList steps;
    QObject watcher; // the connections end with the test
    connect(w, &QObject::destroyed, &watcher, [&] {
        steps << "main window gone";
        if (!about || !about->isVisible())
            return;
        steps << "About still open";
        QTimer::singleShot(0, &watcher, [&] {
            if (!about)
                return;
            QTest::mouseClick(about->Cmd_OK, Qt::LeftButton);
            steps << "About closed";
        });
    });
    connect(qApp, &QCoreApplication::aboutToQuit, &watcher, [&] { steps << "program ends"; });
    QTimer::singleShot(0, this, [&] { endMainWindow(w, how); });
    QVERIFY2(execUntilProgramEnds(), qPrintable(steps.join(", ")));
    QCOMPARE(steps, (QStringList{"main window gone", "About still open", "About closed", "program ends"}));
    QTRY_VERIFY(about.isNull());
}

void TestWindows::endWithNothingElseOpenEndsAtOnce_data()
{
    endWithAboutOpenEndsWhenAboutCloses_data();
}

void TestWindows::endWithNothingElseOpenEndsAtOnce()
{
    QFETCH(QString, how);
    QPointer<Frm_Main> w = new Frm_Main;
    w->showCentred();
    QTimer::singleShot(0, this, [&] { endMainWindow(w, how); });
    QVERIFY2(execUntilProgramEnds(), "the program did not end by itself");
    QTRY_VERIFY(w.isNull());
}

void TestWindows::koreanCaptionsHaveGlyphs()
{
    Frm_Main w;
    Frm_Help about;
    about.setAttribute(Qt::WA_DeleteOnClose, false);
    const QList<QLabel*> labels = {w.Label2, about.Label6, about.Label5, about.lblDisclaimer};
    for (QLabel* label : labels) {
        const QFontMetrics metrics(label->font());
        for (const QChar ch : label->text()) {
            if (ch.unicode() >= 0xAC00 && ch.unicode() <= 0xD7A3)
                QVERIFY2(metrics.inFont(ch), qPrintable(label->objectName() + QStringLiteral(": ") + ch));
        }
    }
    QVERIFY(!w.grab().isNull());
    QVERIFY(!about.grab().isNull());
}

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
