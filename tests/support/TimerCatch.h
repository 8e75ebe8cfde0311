#pragma once

#include <QCoreApplication>
#include <QTimer>

// Takes a timer that the code keeps to itself out of the clock's hands: the first QTimer of the
// given interval to come due is caught, that tick and every later one held back, and from then on
// it ticks only when the test says so. It must go before the timer does.
struct TimerCatch : QObject
{
    const int interval;
    QTimer *timer = nullptr;

    explicit TimerCatch(int milliseconds) : interval(milliseconds) { qApp->installEventFilter(this); }

    // One tick, none while the timer is stopped.
    void tick()
    {
        if (timer->isActive())
            QMetaObject::invokeMethod(timer, "timeout");
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *due = event->type() == QEvent::Timer ? qobject_cast<QTimer *>(watched) : nullptr;
        if (!timer && due && due->interval() == interval)
            timer = due;
        return due && due == timer;
    }
};
