#include "InputGate.h"

#include "BlockingCall.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

InputGate::InputGate(QWidget *window) : QObject(window), mWindow(window)
{
    QCoreApplication::instance()->installEventFilter(this);
}

void InputGate::holdDuring(const std::function<void()> &call)
{
    ++mHolds;
    call();
    QCoreApplication::processEvents();
    --mHolds;
}

bool InputGate::eventFilter(QObject *watched, QEvent *event)
{
    if (!event->isInputEvent() || !watched->isWidgetType() || static_cast<QWidget *>(watched)->window() != mWindow)
        return false;
    return mHolds > 0 || blockingCallRunning() ||
           (event->type() == QEvent::MouseButtonDblClick && qobject_cast<QAbstractButton *>(watched));
}
