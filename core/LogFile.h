#pragma once

#include "LogSink.h"

#include <QByteArray>
#include <QString>

#include <csignal>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

// logfile.txt: an append-only record of every run. Each entry is an empty line end, the stamp
// "I|yyyymmdd-hhmmss|" of the moment it was made, the text and a closing CR LF.
//
// The entries made while the event loop handles one event are written together, in one write, when
// that event has been handled: before the thread's loop handles its next event or goes to sleep (so
// also before any wait with a local event loop starts waiting), at flush(), when the LogFile ends,
// and, as far as it can be done safely, when a signal ends the process. An event that logs more
// than kMaxPending bytes writes each such block as it fills. Where there is no event loop to mark
// the events (no application object, or another thread than the application's), each entry is
// written at once.
//
// The file is kept open for appending between writes and never truncated. Before each write the
// file at the path is checked to be the one still open: if it was deleted, renamed or never opened,
// the write opens (and creates) the file at the path again. Entries that cannot be written whole (a
// full disk, an error of the device) are said once on standard error, and the log remembers the
// first such loss for the run to act on.
class LogFile final : public LogSink
{
public:
    using Clock = std::function<std::time_t()>;

    static constexpr size_t kMaxPending = 256 << 10;
    static constexpr size_t kKeptCapacity = 64 << 10;

    // The first entry that could not be written whole: the system's error number and the file (or
    // the places it could not be opened in). error 0: no entry has been lost.
    struct Loss
    {
        int error = 0;
        QString path;

        // "PATH: REASON"; empty when nothing was lost.
        QString text() const;
    };

    // The log beside the executable; if that folder is not writable, fallbackPath. Both empty: a
    // log that keeps nothing, whose entries go nowhere and are never counted lost.
    explicit LogFile(QString primaryPath = defaultPath(), QString fallbackPath = defaultFallbackPath(),
                     Clock clock = nullptr);
    ~LogFile() override;
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    void Log_Add(QByteArrayView text) override;
    // Writes the entries made since the last write.
    void flush();
    // Opens the file now: empty when it is open, otherwise why it cannot be (not reported again
    // on standard error).
    QString openProblem();
    // The file entries go to: the one open, else the first place tried.
    QString path() const;
    const Loss &loss() const { return mLoss; }

    static QString defaultPath();
    static QString defaultFallbackPath();

private:
    class EventBoundary;

    // A signal that ends the process: what each log holds goes to its open file, by write alone.
    static void onEndingSignal(int signal, siginfo_t *info, void *);
    // The entries written, or dropped when the file cannot be opened.
    void writePending();
    void dropPending();

    bool stillAtItsPath() const;
    // Keeps the error number of a failure to open in mOpenError.
    bool ensureOpen();
    void closeFile();
    void refreshStamp(std::time_t now);
    // Keeps the first loss.
    void lost(int error, const QString &path);

    QString mPrimaryPath;
    QString mFallbackPath;
    Clock mClock;
    QByteArray mActiveName;
    int mFd = -1;
    dev_t mDevice = 0;
    ino_t mInode = 0;
    int mOpenError = 0;
    bool mOpenFailureReported = false;
    bool mWriteFailureReported = false;
    std::time_t mStampTime = -1;
    std::string mStamp;
    // The entries not written yet.
    std::string mPending;
    Loss mLoss;
    std::unique_ptr<EventBoundary> mEventBoundary;
    // The process's logs, for the signal handler.
    LogFile *mNext = nullptr;
    LogFile *mPrevious = nullptr;
};
