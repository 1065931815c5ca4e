#include "event_loop.h"

#include <QCoreApplication>
#include <QTimer>

bool execUntilProgramEnds(std::chrono::milliseconds hangLimit)
{
    bool hung = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&hung] {
        hung = true;
        QCoreApplication::quit();
    });
    guard.start(hangLimit);
    QCoreApplication::exec();
    return !hung;
}
