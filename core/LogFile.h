#pragma once

#include "LogSink.h"

#include <QByteArray>
#include <QString>

#include <ctime>
#include <functional>
#include <string>
#include <sys/types.h>

// logfile.txt: an append-only record of every run. Each entry is an empty line end, the stamp
// "I|yyyymmdd-hhmmss|", the text and a closing CR LF, handed to the operating system in one
// write before Log_Add returns. The file is kept open for appending between entries and never
// truncated. Before each entry the file at the path is checked to be the one still open: if it was
// deleted, renamed or never opened, the entry opens (and creates) the file at the path again.
class LogFile final : public LogSink
{
public:
    using Clock = std::function<std::time_t()>;

    // The log beside the executable; if that folder is not writable, fallbackPath.
    explicit LogFile(QString primaryPath = defaultPath(), QString fallbackPath = defaultFallbackPath(),
                     Clock clock = nullptr);
    ~LogFile() override;
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    void Log_Add(QByteArrayView text) override;
    // Opens the file now: empty when it is open, otherwise why it cannot be (not reported again
    // on standard error).
    QString openProblem();
    // The file entries go to: the one open, else the first place tried.
    QString path() const;

    static QString defaultPath();
    static QString defaultFallbackPath();

private:
    bool stillAtItsPath() const;
    // Keeps the error number of a failure to open in mOpenError.
    bool ensureOpen();
    void closeFile();
    void refreshStamp(std::time_t now);

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
    std::string mEntry;
};
