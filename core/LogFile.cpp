#include "LogFile.h"

#include "SystemError.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

constexpr char kLogName[] = "logfile.txt";
constexpr char kLineEnd[] = "\r\n";

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Held while the process's logs, their entries or their files change. The signal handler takes it
// only if it is free and never waits for it: a signal that interrupts a change writes nothing.
std::atomic<bool> gBusy{false};

class Busy
{
public:
    Busy()
    {
        while (gBusy.exchange(true, std::memory_order_acquire))
            std::this_thread::yield();
    }
    ~Busy() { gBusy.store(false, std::memory_order_release); }
    Busy(const Busy &) = delete;
    Busy &operator=(const Busy &) = delete;
};

// The process's logs, for the signal handler.
LogFile *gFirstLog = nullptr;

// The signals that end a process by default, and what was there before the log's handler.
constexpr int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};
struct sigaction gPrevious[NSIG];

} // namespace

// Writes the log's entries before the application's event loop handles its next event or goes to
// sleep.
class LogFile::EventBoundary final : public QObject
{
public:
    explicit EventBoundary(LogFile &log) : mLog(log)
    {
        QCoreApplication::instance()->installEventFilter(this);
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
                [this] { mLog.flush(); });
    }

protected:
    bool eventFilter(QObject *, QEvent *) override
    {
        mLog.flush();
        return false;
    }

private:
    LogFile &mLog;
};

LogFile::LogFile(QString primaryPath, QString fallbackPath, Clock clock)
    : mPrimaryPath(std::move(primaryPath)), mFallbackPath(std::move(fallbackPath)), mClock(std::move(clock))
{
    static std::once_flag signalsTaken;
    std::call_once(signalsTaken, [] {
        for (const int signal : kEndingSignals) {
            struct sigaction action = {};
            action.sa_sigaction = &LogFile::onEndingSignal;
            action.sa_flags = SA_SIGINFO;
            sigemptyset(&action.sa_mask);
            // A signal ignored stays ignored.
            if (::sigaction(signal, nullptr, &gPrevious[signal]) == 0 && gPrevious[signal].sa_handler != SIG_IGN)
                ::sigaction(signal, &action, nullptr);
        }
    });
    if (const QCoreApplication *application = QCoreApplication::instance();
        application && application->thread() == QThread::currentThread())
        mEventBoundary = std::make_unique<EventBoundary>(*this);
    const Busy busy;
    mNext = std::exchange(gFirstLog, this);
    if (mNext)
        mNext->mPrevious = this;
}

LogFile::~LogFile()
{
    mEventBoundary.reset();
    flush();
    const Busy busy;
    closeFile();
    (mPrevious ? mPrevious->mNext : gFirstLog) = mNext;
    if (mNext)
        mNext->mPrevious = mPrevious;
}

void LogFile::onEndingSignal(int signal, siginfo_t *info, void *)
{
    const int savedErrno = errno;
    if (!gBusy.exchange(true, std::memory_order_acquire)) {
        for (LogFile *log = gFirstLog; log; log = log->mNext)
            if (log->mFd >= 0 && writeAll(log->mFd, log->mPending.data(), log->mPending.size()))
                log->mPending.clear();
        gBusy.store(false, std::memory_order_release);
    }
    // What was there before takes its course: a fault comes back as the instruction runs again,
    // a signal that was sent is sent again.
    ::sigaction(signal, &gPrevious[signal], nullptr);
    if (info->si_code <= 0)
        ::raise(signal);
    errno = savedErrno;
}

QString LogFile::defaultPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(kLogName));
}

QString LogFile::defaultFallbackPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty())
        state = QDir::home().filePath(QStringLiteral(".local/state"));
    return QDir(state).filePath(QStringLiteral("qd8400upgrade/") + QLatin1String(kLogName));
}

bool LogFile::stillAtItsPath() const
{
    struct stat named = {};
    return ::stat(mActiveName.constData(), &named) == 0 && named.st_dev == mDevice && named.st_ino == mInode;
}

bool LogFile::ensureOpen()
{
    if (mFd >= 0 && stillAtItsPath())
        return true;
    closeFile();
    for (const QString &path : {mPrimaryPath, mFallbackPath}) {
        if (path.isEmpty())
            continue;
        if (path == mFallbackPath)
            QDir().mkpath(QFileInfo(path).absolutePath());
        const QByteArray name = QFile::encodeName(path);
        const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        struct stat opened = {};
        if (fd < 0 || ::fstat(fd, &opened) != 0) {
            mOpenError = errno;
            if (fd >= 0)
                ::close(fd);
            continue;
        }
        mFd = fd;
        mActiveName = name;
        mDevice = opened.st_dev;
        mInode = opened.st_ino;
        mOpenFailureReported = false;
        return true;
    }
    return false;
}

QString LogFile::openProblem()
{
    const Busy busy;
    if (ensureOpen())
        return QString();
    mOpenFailureReported = true;
    return systemError(mOpenError);
}

QString LogFile::path() const
{
    return mActiveName.isEmpty() ? mPrimaryPath : QFile::decodeName(mActiveName);
}

void LogFile::closeFile()
{
    if (mFd >= 0)
        ::close(mFd);
    mFd = -1;
    mActiveName.clear();
}

void LogFile::refreshStamp(std::time_t now)
{
    if (now == mStampTime)
        return;
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "I|%Y%m%d-%H%M%S|", &local);
    mStamp.assign(stamp);
    mStampTime = now;
}

QString LogFile::Loss::text() const
{
    return error == 0 ? QString() : path + ": " + systemError(error);
}

void LogFile::lost(int error, const QString &path)
{
    if (mLoss.error == 0)
        mLoss = {error, path};
}

void LogFile::Log_Add(QByteArrayView text)
{
    if (mPrimaryPath.isEmpty() && mFallbackPath.isEmpty())
        return;
    refreshStamp(mClock ? mClock() : std::time(nullptr));
    const Busy busy;
    mPending.append(kLineEnd, 2);
    mPending.append(mStamp);
    mPending.append(text.data(), static_cast<size_t>(text.size()));
    mPending.append(kLineEnd, 2);
    if (!mEventBoundary || mPending.size() >= kMaxPending)
        writePending();
}

void LogFile::dropPending()
{
    mPending.clear();
    // The memory of an event that logged much goes back; an ordinary event's stays for the next.
    if (mPending.capacity() > kKeptCapacity)
        std::string().swap(mPending);
}

void LogFile::flush()
{
    const Busy busy;
    if (!mPending.empty())
        writePending();
}

void LogFile::writePending()
{
    if (!ensureOpen()) {
        dropPending();
        const QString places = mFallbackPath.isEmpty() || mFallbackPath == mPrimaryPath
                                   ? mPrimaryPath
                                   : mPrimaryPath + " or " + mFallbackPath;
        lost(mOpenError, places);
        if (!std::exchange(mOpenFailureReported, true))
            std::fprintf(stderr, "%s: cannot open the log file %s: %s\n",
                         qPrintable(QCoreApplication::applicationName()), qPrintable(places),
                         std::strerror(mOpenError));
        return;
    }
    const int error = writeAll(mFd, mPending.data(), mPending.size()) ? 0 : errno;
    dropPending();
    if (error == 0)
        return;
    lost(error, QFile::decodeName(mActiveName));
    if (!std::exchange(mWriteFailureReported, true))
        std::fprintf(stderr, "%s: cannot write to the log file %s: %s\n",
                     qPrintable(QCoreApplication::applicationName()), mActiveName.constData(), std::strerror(error));
}
