#include "EventWait.h"

#include <QEventLoop>
#include <QTimer>

void waitWithEvents(int milliseconds, double timeScale)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(milliseconds * timeScale), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}
