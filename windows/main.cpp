#include "windows/frm_main.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    auto* window = new Frm_Main; // deletes itself when closed
    window->showCentred();
    return app.exec();
}
