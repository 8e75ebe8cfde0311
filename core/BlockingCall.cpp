#include "BlockingCall.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>

#include <thread>
#include <utility>
#include <vector>

namespace {

// The loop of the innermost wait, seen by the worker thread of that wait.
thread_local QEventLoop *tWaitingLoop = nullptr;

// How many blocking calls the thread is waiting for, and what is to run after the last of them.
thread_local int tDepth = 0;
thread_local std::vector<std::pair<QPointer<QObject>, std::function<void()>>> tAfterwards;

void post(QObject *context, std::function<void()> function)
{
    if (context)
        QMetaObject::invokeMethod(context, std::move(function), Qt::QueuedConnection);
}

void waitFor(const std::function<void()> &call)
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

} // namespace

void runBlockingCall(const std::function<void()> &call)
{
    ++tDepth;
    waitFor(call);
    if (--tDepth > 0)
        return;
    for (auto &[context, function] : std::exchange(tAfterwards, {}))
        post(context, std::move(function));
}

bool blockingCallRunning()
{
    return tDepth > 0;
}

void afterBlockingCalls(QObject *context, std::function<void()> function)
{
    if (tDepth > 0)
        tAfterwards.emplace_back(context, std::move(function));
    else
        post(context, std::move(function));
}

void postToWaitingThread(std::function<void()> function)
{
    if (tWaitingLoop)
        QMetaObject::invokeMethod(tWaitingLoop, std::move(function), Qt::QueuedConnection);
}
