#pragma once

#include "LogSink.h"

#include <QString>

#include <ctime>
#include <functional>
#include <string>

// logfile.txt: an append-only record of every run. Each entry is an empty line end, the stamp
// "I|yyyymmdd-hhmmss|", the text and a closing CR LF, handed to the operating system in one
// write before Log_Add returns. The file is opened once for appending and never truncated.
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

    // The file the entries go to, once the first entry has been written; empty if none could be opened.
    QString activePath() const { return mActivePath; }

    static QString defaultPath();
    static QString defaultFallbackPath();

private:
    bool ensureOpen();
    void refreshStamp(std::time_t now);

    QString mPrimaryPath;
    QString mFallbackPath;
    Clock mClock;
    QString mActivePath;
    int mFd = -1;
    bool mOpenFailed = false;
    bool mWriteFailureReported = false;
    std::time_t mStampTime = -1;
    std::string mStamp;
    std::string mEntry;
};
