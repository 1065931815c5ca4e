// A plain 884 by 507 window with a menu bar, linked with QtWidgets alone: what bench_startup holds the
// program's start against. It reports its first paint (first_paint.h) and quits; with --stay it stays open
// until it is ended, as the program does.
#include "first_paint.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    FirstPaintReporter reporter;
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("End"));
    window.menuBar()->addAction(QStringLiteral("Help"));
    auto* client = new QWidget(&window);
    client->setFixedSize(884, 507);
    window.setCentralWidget(client);
    if (!app.arguments().contains(QStringLiteral("--stay")))
        window.installEventFilter(&reporter);
    window.show();
    return app.exec();
}
