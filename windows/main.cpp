#include "output/destination.h"
#include "windows/start.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // A printer or pipe that goes away is a failed Print, not the end of the program.
    ignoreBrokenPipes();
    QApplication app(argc, argv);
    startMainWindow();
    return app.exec();
}
