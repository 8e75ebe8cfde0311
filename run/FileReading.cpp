#include "FileReading.h"

#include "SystemError.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype kBlockBytes = 256 * 1024;

} // namespace

FileReading::FileReading(const QString &path)
{
    mFd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    struct stat opened = {};
    if (mFd < 0 || ::fstat(mFd, &opened) != 0) {
        mError = errno;
        return;
    }
    mSize = opened.st_size;
    ::posix_fadvise(mFd, 0, 0, POSIX_FADV_SEQUENTIAL);
    mBlock.resize(kBlockBytes);
}

FileReading::~FileReading()
{
    if (mFd >= 0)
        ::close(mFd);
}

QByteArrayView FileReading::next()
{
    if (failed())
        return {};
    ssize_t got = 0;
    do
        got = ::read(mFd, mBlock.data(), static_cast<size_t>(mBlock.size()));
    while (got < 0 && errno == EINTR);
    if (got < 0) {
        mError = errno;
        return {};
    }
    return QByteArrayView(mBlock.constData(), got);
}

bool FileReading::readToEnd()
{
    while (!next().isEmpty()) {
    }
    return !failed();
}

QString FileReading::problem() const
{
    return mError ? systemError(mError) : QString();
}
