#include "LogFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

} // namespace

LogFile::LogFile(QString primaryPath, QString fallbackPath, Clock clock)
    : mPrimaryPath(std::move(primaryPath)), mFallbackPath(std::move(fallbackPath)), mClock(std::move(clock))
{
}

LogFile::~LogFile()
{
    closeFile();
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
    if (ensureOpen())
        return QString();
    mOpenFailureReported = true;
    return QString::fromLocal8Bit(std::strerror(mOpenError));
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

void LogFile::Log_Add(QByteArrayView text)
{
    if (!ensureOpen()) {
        if (!std::exchange(mOpenFailureReported, true)) {
            const QString places = mFallbackPath.isEmpty() || mFallbackPath == mPrimaryPath
                                       ? mPrimaryPath
                                       : mPrimaryPath + " or " + mFallbackPath;
            std::fprintf(stderr, "%s: cannot open the log file %s: %s\n",
                         qPrintable(QCoreApplication::applicationName()), qPrintable(places),
                         std::strerror(mOpenError));
        }
        return;
    }
    refreshStamp(mClock ? mClock() : std::time(nullptr));
    mEntry.clear();
    mEntry.append(kLineEnd, 2);
    mEntry.append(mStamp);
    mEntry.append(text.data(), static_cast<size_t>(text.size()));
    mEntry.append(kLineEnd, 2);
    if (!writeAll(mFd, mEntry.data(), mEntry.size()) && !mWriteFailureReported) {
        mWriteFailureReported = true;
        std::fprintf(stderr, "%s: cannot write to the log file %s: %s\n",
                     qPrintable(QCoreApplication::applicationName()), mActiveName.constData(), std::strerror(errno));
    }
}
