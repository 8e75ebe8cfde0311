#pragma once

#include "Procedure.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Who takes an instrument's lock, as the next one to ask is told.
struct LockHolder
{
    QString program; // "qd8400-upgrade run", "qd8400-upgrade check", "QD8400Upgrade"
    Procedure procedure = Procedure::Upgrade;
    QString log; // the path of its log
};

// One process at a time logs in to an instrument from this PC: an exclusive flock on
// FOLDER/qd8400upgrade-ADDRESS.lock (qd8400upgrade-ADDRESS-PORT.lock for a Telnet port other than
// 23), held until the lock is released or the process ends, however it ends. The folder is one every
// user shares, where another user may have made the file or planted a link: the file is opened
// without following links, only a regular file is taken, a file of another user's is only read and
// locked, never written; what a file says of its holder is only shown. The holder's pid, program,
// start time and log are written into the lock file when the file is the holder's own, and
// otherwise into the side file FILE.PID; the next one finds the holder's pid in /proc/locks.
class InstrumentLock
{
public:
    InstrumentLock() = default;
    ~InstrumentLock();
    InstrumentLock(const InstrumentLock &) = delete;
    InstrumentLock &operator=(const InstrumentLock &) = delete;

    // Takes the lock of the instrument at address (its octets in decimal, leading zeros dropped) and
    // Telnet port, in the first folder where a lock file can be made or opened. Empty when it is
    // taken; otherwise why not, to show the operator: "127.0.0.72 is being upgraded by process 4711
    // (qd8400-upgrade run, since 12:54:03; log /…/logfile.txt)", or why no lock could be had.
    QString take(const QString &address, quint16 telnetPort, const LockHolder &holder,
                 const QStringList &folders = defaultFolders());
    // The lock and its files go; a lock not taken changes nothing.
    void release();

    // /run/lock, then $XDG_RUNTIME_DIR when it is set.
    static QStringList defaultFolders();
    static QString fileName(const QString &address, quint16 telnetPort);

private:
    int mFd = -1;
    QByteArray mPath;     // the lock file, when it is the holder's own
    QByteArray mSidePath; // the side file, when the lock file is another user's
};
