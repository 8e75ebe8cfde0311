#include "InstrumentLock.h"

#include "Octets.h"
#include "SystemError.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMap>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr int kOpenFlags = O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
// A file that another process replaces or removes between our opening and our lock is opened
// again; this many times at most.
constexpr int kAttempts = 8;
// What is read of a file that says who holds a lock, and shown of each of its values.
constexpr qsizetype kDetailsBytes = 4096;
constexpr qsizetype kShownCharacters = 512;

QString normalisedAddress(const QString &address)
{
    QStringList octets = address.split(QLatin1Char('.'));
    for (QString &octet : octets)
        octet = Octets::normalised(octet.trimmed());
    return octets.join(QLatin1Char('.'));
}

bool sameFile(const struct stat &opened, const QByteArray &path)
{
    struct stat named = {};
    return ::lstat(path.constData(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

// Into a file of our own, readable by every user whatever the umask. Whether they were written:
// without them the next one is told the holder's pid alone.
bool writeDetails(int fd, const LockHolder &holder)
{
    const QByteArray bytes = "pid=" + QByteArray::number(QCoreApplication::applicationPid()) +
                             "\nprogram=" + holder.program.toUtf8() +
                             "\nactivity=" + (holder.procedure == Procedure::Check ? "checked" : "upgraded") +
                             "\nsince=" + QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8() +
                             "\nlog=" + QFile::encodeName(holder.log) + '\n';
    return ::fchmod(fd, 0644) == 0 && ::ftruncate(fd, 0) == 0 &&
           ::pwrite(fd, bytes.constData(), static_cast<size_t>(bytes.size()), 0) == bytes.size();
}

// What a lock file or side file says, as key=value lines, each value cut and its control
// characters replaced: it is only shown.
QMap<QString, QString> readDetails(int fd)
{
    QByteArray bytes(kDetailsBytes, Qt::Uninitialized);
    const ssize_t got = ::pread(fd, bytes.data(), static_cast<size_t>(bytes.size()), 0);
    bytes.truncate(std::max<ssize_t>(got, 0));
    QMap<QString, QString> details;
    for (const QByteArray &line : bytes.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        QString value = QString::fromUtf8(line.mid(equals + 1)).left(kShownCharacters);
        for (QChar &c : value)
            if (!c.isPrint())
                c = u'?';
        details.insert(QString::fromUtf8(line.left(equals)), value);
    }
    return details;
}

// The process holding the flock of the file, as the kernel lists it; 0 when it cannot be told.
qint64 holderPid(const struct stat &file)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    // "1: FLOCK  ADVISORY  WRITE 4711 fe:00:5678 0 EOF"; a process waiting for it is marked "->". The
    // file's size reads 0: it is read to its end instead.
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] != "FLOCK")
            continue;
        const QList<QByteArray> where = fields[5].split(':'); // the device's major and minor in hex, the inode
        if (where.size() == 3 && where[0].toUInt(nullptr, 16) == major(file.st_dev) &&
            where[1].toUInt(nullptr, 16) == minor(file.st_dev) && where[2].toULongLong() == file.st_ino)
            return fields[4].toLongLong();
    }
    return 0;
}

// What the holder wrote of itself where it could: in the lock file, or in its side file when the
// lock file is another user's. A side file counts only when its owner is the holder's.
QMap<QString, QString> holderDetails(int fd, const QByteArray &path, qint64 pid)
{
    QMap<QString, QString> details = readDetails(fd);
    if (pid == 0 || details.value(QStringLiteral("pid")) == QString::number(pid))
        return details;
    struct stat process = {};
    if (::stat(("/proc/" + QByteArray::number(pid)).constData(), &process) != 0)
        return {};
    const int side = ::open(path + '.' + QByteArray::number(pid), O_RDONLY | kOpenFlags);
    if (side < 0)
        return {};
    struct stat file = {};
    if (::fstat(side, &file) == 0 && S_ISREG(file.st_mode) && file.st_uid == process.st_uid)
        details = readDetails(side);
    else
        details.clear();
    ::close(side);
    return details.value(QStringLiteral("pid")) == QString::number(pid) ? details : QMap<QString, QString>();
}

QString sinceText(const QString &stamp)
{
    const QDateTime since = QDateTime::fromString(stamp, Qt::ISODate).toLocalTime();
    if (!since.isValid())
        return stamp;
    return since.toString(since.date() == QDate::currentDate() ? QStringLiteral("HH:mm:ss")
                                                               : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString heldMessage(const QString &address, int fd, const QByteArray &path)
{
    struct stat file = {};
    const qint64 pid = ::fstat(fd, &file) == 0 ? holderPid(file) : 0;
    const QMap<QString, QString> details = holderDetails(fd, path, pid);
    const QString holder = pid ? QString::number(pid) : details.value(QStringLiteral("pid"));
    if (holder.isEmpty())
        return QStringLiteral("%1 is being upgraded or checked by another process (its lock: %2)")
            .arg(address, QFile::decodeName(path));
    if (!details.contains(QStringLiteral("program")))
        return QStringLiteral("%1 is being upgraded or checked by process %2").arg(address, holder);
    return QStringLiteral("%1 is being %2 by process %3 (%4, since %5; log %6)")
        .arg(address,
             details.value(QStringLiteral("activity")) == QLatin1String("checked") ? QStringLiteral("checked")
                                                                                   : QStringLiteral("upgraded"),
             holder, details.value(QStringLiteral("program")), sinceText(details.value(QStringLiteral("since"))),
             details.value(QStringLiteral("log")));
}

// One try at a lock file: taken, held by another process, a folder where no lock file can be, or a
// file that must not be used.
struct Attempt
{
    enum Outcome
    {
        Taken,
        Held,
        NoFolder,
        Refused,
        Again,
    } outcome;
    int fd = -1;
    bool writable = false;
    QString problem;
};

Attempt tryLock(const QByteArray &path)
{
    bool writable = true;
    int fd = ::open(path.constData(), O_RDWR | kOpenFlags);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        // Another user's file, or a folder that cannot be written: a lock needs no more than reading.
        writable = false;
        fd = ::open(path.constData(), O_RDONLY | kOpenFlags);
    }
    if (fd < 0 && errno == ENOENT) {
        writable = true;
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | kOpenFlags, 0644);
        if (fd < 0 && errno != EEXIST)
            return {Attempt::NoFolder, -1, false, systemError(errno)};
    }
    // Removed or made by another process meanwhile.
    const QString changing = QStringLiteral("it keeps changing");
    if (fd < 0 && (errno == EEXIST || errno == ENOENT))
        return {Attempt::Again, -1, false, changing};
    if (fd < 0)
        return {Attempt::Refused, -1, false, systemError(errno)};
    struct stat opened = {};
    Attempt attempt{Attempt::Taken, fd, writable, QString()};
    if (::fstat(fd, &opened) != 0)
        attempt = {Attempt::Refused, -1, false, systemError(errno)};
    else if (!S_ISREG(opened.st_mode))
        attempt = {Attempt::Refused, -1, false, QStringLiteral("it is not a regular file")};
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        attempt = {errno == EWOULDBLOCK ? Attempt::Held : Attempt::Refused, fd, false, systemError(errno)};
    else if (!sameFile(opened, path))
        // Released and removed by its holder between our opening and our lock: a new file is needed.
        attempt = {Attempt::Again, -1, false, changing};
    if (attempt.fd < 0)
        ::close(fd);
    return attempt;
}

} // namespace

InstrumentLock::~InstrumentLock()
{
    release();
}

QStringList InstrumentLock::defaultFolders()
{
    QStringList folders{QStringLiteral("/run/lock")};
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR"); !runtime.isEmpty())
        folders << runtime;
    return folders;
}

QString InstrumentLock::fileName(const QString &address, quint16 telnetPort)
{
    const QString port = telnetPort == 23 ? QString() : '-' + QString::number(telnetPort);
    return QStringLiteral("qd8400upgrade-%1%2.lock").arg(normalisedAddress(address), port);
}

QString InstrumentLock::take(const QString &address, quint16 telnetPort, const LockHolder &holder,
                             const QStringList &folders)
{
    release();
    const QString instrument = normalisedAddress(address);
    QStringList unusable;
    for (const QString &folder : folders) {
        const QByteArray path = QFile::encodeName(QDir(folder).filePath(fileName(instrument, telnetPort)));
        Attempt attempt{Attempt::Again, -1, false, QString()};
        for (int n = 0; n < kAttempts && attempt.outcome == Attempt::Again; ++n)
            attempt = tryLock(path);
        switch (attempt.outcome) {
        case Attempt::Taken:
            break;
        case Attempt::Held: {
            const QString message = heldMessage(instrument, attempt.fd, path);
            ::close(attempt.fd);
            return message;
        }
        case Attempt::NoFolder:
            unusable << folder + ": " + attempt.problem;
            continue;
        case Attempt::Refused:
        case Attempt::Again:
            return QStringLiteral("cannot take the lock %1: %2").arg(QFile::decodeName(path), attempt.problem);
        }
        mFd = attempt.fd;
        struct stat file = {};
        const bool own = ::fstat(mFd, &file) == 0 && file.st_uid == ::geteuid();
        if (own && attempt.writable) {
            mPath = path;
            writeDetails(mFd, holder);
        } else if (!own) {
            // Another user's file is never written: the details go into a side file of our own.
            const QByteArray side = path + '.' + QByteArray::number(QCoreApplication::applicationPid());
            int fd = ::open(side.constData(), O_WRONLY | O_CREAT | O_EXCL | kOpenFlags, 0644);
            if (fd < 0 && errno == EEXIST)
                fd = ::open(side.constData(), O_WRONLY | kOpenFlags);
            struct stat sideFile = {};
            if (fd >= 0 && ::fstat(fd, &sideFile) == 0 && S_ISREG(sideFile.st_mode) && sideFile.st_uid == ::geteuid()) {
                mSidePath = side;
                writeDetails(fd, holder);
            }
            if (fd >= 0)
                ::close(fd);
        }
        return QString();
    }
    return QStringLiteral("no folder can hold the lock of %1: %2").arg(instrument, unusable.join(QLatin1String("; ")));
}

void InstrumentLock::release()
{
    if (mFd < 0)
        return;
    if (!mSidePath.isEmpty())
        ::unlink(mSidePath.constData());
    // Removed while it is still locked, so that the next one makes a new file rather than locking
    // this one after us.
    struct stat file = {};
    if (!mPath.isEmpty() && ::fstat(mFd, &file) == 0 && sameFile(file, mPath))
        ::unlink(mPath.constData());
    ::close(mFd);
    mFd = -1;
    mPath.clear();
    mSidePath.clear();
}
