#pragma once

#include <QByteArray>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <sys/types.h>

// One instrument's process as the fleet holds it, started from the starter. Its standard input
// takes the fleet's requests, its output's lines are its events, and its end, as the starter
// tells it, comes after what it wrote has been read.
class InstrumentProcess
{
public:
    struct End
    {
        int code = 0;           // its exit status, or the signal that ended it
        bool signalled = false; // a signal ended it
        bool unknown = false;   // the starter went before it could tell
    };
    struct Watchers
    {
        std::function<void()> output;                        // lines may be read
        std::function<void(const QByteArray &bytes)> errors; // null: its standard error is the fleet's
        std::function<void(End end)> finished;               // after the last output
    };

    explicit InstrumentProcess(Watchers watchers);
    ~InstrumentProcess();
    InstrumentProcess(const InstrumentProcess &) = delete;
    InstrumentProcess &operator=(const InstrumentProcess &) = delete;

    // Empty when it has started; otherwise why not.
    QString start(const QStringList &arguments, const QByteArray &environmentEntry);
    pid_t pid() const { return mPid; }
    bool running() const { return mPid > 0 && !mEnded; }
    // To its standard input; lost if it has closed it.
    void write(const QByteArray &bytes) const;
    bool canReadLine() const { return mOutput.contains('\n'); }
    QByteArray readLine();
    // Its end as waitpid gave it to the starter.
    void ended(int status);
    // The starter has gone, and with it any word of this process's end: it is taken to have ended
    // when its output closes.
    void orphaned();

private:
    // Reads what a descriptor holds now into bytes; false at its end.
    static bool readInto(int descriptor, QByteArray &bytes);
    void readOutput();
    void readErrors();
    void finish(End end);
    void close();

    Watchers mWatchers;
    pid_t mPid = -1;
    bool mEnded = false;
    bool mOrphaned = false;
    int mInput = -1;
    int mOutputEnd = -1;
    int mErrorEnd = -1;
    QByteArray mOutput;
    std::unique_ptr<QSocketNotifier> mOutputNotifier;
    std::unique_ptr<QSocketNotifier> mErrorNotifier;
};
