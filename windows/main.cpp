#include "windows/start.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    startMainWindow();
    return app.exec();
}
