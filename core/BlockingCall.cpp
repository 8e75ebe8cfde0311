#include "BlockingCall.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <thread>

namespace {

// The loop of the innermost wait, seen by the worker thread of that wait.
thread_local QEventLoop *tWaitingLoop = nullptr;

} // namespace

void runBlockingCall(const std::function<void()> &call)
{
    if (!QCoreApplication::instance()) {
        call();
        return;
    }
    QEventLoop loop;
    std::thread worker([&] {
        tWaitingLoop = &loop;
        call();
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeSocketNotifiers | QEventLoop::ExcludeUserInputEvents);
    worker.join();
}

void postToWaitingThread(std::function<void()> function)
{
    if (tWaitingLoop)
        QMetaObject::invokeMethod(tWaitingLoop, std::move(function), Qt::QueuedConnection);
}
