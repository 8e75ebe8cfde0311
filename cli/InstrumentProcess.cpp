#include "InstrumentProcess.h"

#include "ProcessStarter.h"
#include "SystemError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace {

void closeEnd(int &descriptor)
{
    if (descriptor >= 0)
        ::close(std::exchange(descriptor, -1));
}

// Calls read each time the pipe's end has something, without blocking.
std::unique_ptr<QSocketNotifier> watched(int descriptor, std::function<void()> read)
{
    ::fcntl(descriptor, F_SETFL, O_NONBLOCK);
    auto notifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, std::move(read));
    return notifier;
}

} // namespace

InstrumentProcess::InstrumentProcess(Watchers watchers) : mWatchers(std::move(watchers)) {}

InstrumentProcess::~InstrumentProcess()
{
    close();
}

QString InstrumentProcess::start(const QStringList &arguments, const QByteArray &environmentEntry)
{
    // Close-on-exec, all of them: the process gets its own copies through the starter. The
    // fleet's ends are closed with this object, the process's once it has them.
    int input[2] = {-1, -1}, output[2] = {-1, -1}, errors[2] = {-1, -1};
    const bool made = ::pipe2(input, O_CLOEXEC) == 0 && ::pipe2(output, O_CLOEXEC) == 0 &&
                      (!mWatchers.errors || ::pipe2(errors, O_CLOEXEC) == 0);
    const ProcessStarter::Started started =
        made ? ProcessStarter::start(arguments, environmentEntry,
                                     {input[0], output[1], mWatchers.errors ? errors[1] : STDERR_FILENO})
             : ProcessStarter::Started{-1, systemError(errno)};
    mInput = input[1];
    mOutputEnd = output[0];
    mErrorEnd = errors[0];
    for (const int end : {input[0], output[1], errors[1]})
        if (end >= 0)
            ::close(end);
    if (started.pid < 0)
        return started.problem;
    mPid = started.pid;
    mOutputNotifier = watched(mOutputEnd, [this] { readOutput(); });
    if (mErrorEnd >= 0)
        mErrorNotifier = watched(mErrorEnd, [this] { readErrors(); });
    return QString();
}

void InstrumentProcess::write(const QByteArray &bytes) const
{
    // A few bytes into an empty pipe: they go at once, or the process has gone.
    if (mInput >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(mInput, bytes.constData(), static_cast<size_t>(bytes.size()));
    }
}

QByteArray InstrumentProcess::readLine()
{
    const qsizetype end = mOutput.indexOf('\n') + 1;
    QByteArray line = mOutput.left(end);
    mOutput.remove(0, end);
    return line;
}

bool InstrumentProcess::readInto(int descriptor, QByteArray &bytes)
{
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
        if (got > 0)
            bytes.append(buffer, got);
        else if (got < 0 && errno == EINTR)
            continue;
        else
            return got < 0; // nothing more now; 0: its end
    }
}

void InstrumentProcess::readOutput()
{
    const bool open = readInto(mOutputEnd, mOutput);
    if (!open)
        mOutputNotifier->setEnabled(false);
    if (canReadLine())
        mWatchers.output();
    if (!open && mOrphaned && !mEnded)
        finish({-1, false, true});
}

void InstrumentProcess::readErrors()
{
    QByteArray bytes;
    if (!readInto(mErrorEnd, bytes))
        mErrorNotifier->setEnabled(false);
    if (!bytes.isEmpty())
        mWatchers.errors(bytes);
}

void InstrumentProcess::ended(int status)
{
    finish({WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status), WIFSIGNALED(status), false});
}

void InstrumentProcess::orphaned()
{
    mOrphaned = true;
    if (mOutputNotifier && !mOutputNotifier->isEnabled())
        finish({-1, false, true});
}

void InstrumentProcess::finish(End end)
{
    mEnded = true;
    // All it wrote is in the pipes now, even if a process it started holds them open still.
    if (mOutputNotifier)
        readOutput();
    if (mErrorNotifier)
        readErrors();
    close();
    mWatchers.finished(end);
}

void InstrumentProcess::close()
{
    mOutputNotifier.reset();
    mErrorNotifier.reset();
    closeEnd(mInput);
    closeEnd(mOutputEnd);
    closeEnd(mErrorEnd);
}
