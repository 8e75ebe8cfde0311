#include "BlockingCall.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

// The loop of the call a worker thread is running, seen by that worker thread.
thread_local QEventLoop *tWaitingLoop = nullptr;

// How many blocking calls the thread is waiting for, and what is to run after the last of them.
thread_local int tDepth = 0;
thread_local std::vector<std::pair<QPointer<QObject>, std::function<void()>>> tAfterwards;

// One blocking call handed to a worker: the call, the loop its caller waits in, and whether the
// worker has left both.
struct Job
{
    const std::function<void()> &call;
    QEventLoop &loop;
    bool done = false;
};

// The thread that runs one calling thread's blocking calls, one after the other. A call made
// while another waits (from an event handled during that wait) queues behind it.
class Worker
{
public:
    // Throws std::system_error when the system refuses the thread.
    Worker() : mThread([this] { serve(); }) {}

    ~Worker()
    {
        {
            const std::lock_guard lock(mMutex);
            mEnding = true;
        }
        mChanged.notify_all();
        mThread.join();
    }

    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    void start(Job &job)
    {
        {
            const std::lock_guard lock(mMutex);
            mJobs.push_back(&job);
        }
        mChanged.notify_all();
    }

    // Returns once the worker has left the job, so that its loop may go.
    void finish(const Job &job)
    {
        std::unique_lock lock(mMutex);
        mChanged.wait(lock, [&job] { return job.done; });
    }

private:
    void serve()
    {
        std::unique_lock lock(mMutex);
        for (;;) {
            mChanged.wait(lock, [this] { return mEnding || !mJobs.empty(); });
            if (mJobs.empty())
                return;
            Job *job = mJobs.front();
            mJobs.pop_front();
            lock.unlock();
            tWaitingLoop = &job->loop;
            job->call();
            tWaitingLoop = nullptr;
            lock.lock();
            job->done = true;
            // Posted under the lock: the loop is there until its caller has seen the job done.
            QMetaObject::invokeMethod(&job->loop, &QEventLoop::quit, Qt::QueuedConnection);
            mChanged.notify_all();
        }
    }

    std::mutex mMutex;
    std::condition_variable mChanged;
    std::deque<Job *> mJobs;
    bool mEnding = false;
    // Last: it begins serving as soon as it is made.
    std::thread mThread;
};

thread_local std::unique_ptr<Worker> tWorker;

void post(QObject *context, std::function<void()> function)
{
    if (context)
        QMetaObject::invokeMethod(context, std::move(function), Qt::QueuedConnection);
}

void waitFor(const std::function<void()> &call)
{
    if (!QCoreApplication::instance() || !prepareBlockingCalls().isEmpty()) {
        call();
        return;
    }
    QEventLoop loop;
    Job job{call, loop};
    tWorker->start(job);
    loop.exec(QEventLoop::ExcludeSocketNotifiers);
    tWorker->finish(job);
}

} // namespace

QString prepareBlockingCalls()
{
    if (tWorker)
        return QString();
    try {
        tWorker = std::make_unique<Worker>();
    } catch (const std::system_error &refused) {
        return QString::fromStdString(refused.code().message());
    }
    return QString();
}

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
