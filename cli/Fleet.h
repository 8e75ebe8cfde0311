#pragma once

#include "ExitStatus.h"
#include "FleetDisplay.h"
#include "InstrumentProcess.h"
#include "Interrupts.h"
#include "Options.h"
#include "UpgradeFolder.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <deque>
#include <memory>
#include <vector>

// The command line's own process: it confirms a run, starts one process of this program for each
// instrument (at most as many at once as the machine holds, or --jobs; with --wait one for every
// instrument, and its upgrade when it is ready within --jobs), reads their events, draws
// them and sums them up, also in DIR/summary.json, and lists in DIR/retry.txt those that did not
// succeed. It sends nothing to any instrument itself. A first SIGINT or SIGTERM starts no more
// instruments and stops those that have changed nothing yet; a second stops them all.
class Fleet : public QObject
{
public:
    explicit Fleet(Options options);
    ~Fleet() override;

    // The exit status: the highest of the instruments'.
    int exec();

private:
    // One instrument: what its events have told, its process while it runs and how that went.
    struct Slot
    {
        InstrumentStatus status;
        std::unique_ptr<InstrumentProcess> process;
        // From its process's start.
        QElapsedTimer clock;
        // Its process's own exit status.
        int exitCode = code(ExitStatus::Failed);
        int startsFailed = 0;
        // With --wait: its upgrade has been given its turn.
        bool turnGiven = false;
    };

    // The folder of the logs, or empty after its problem has been shown.
    QString makeLogFolder() const;
    void listFolder(const FolderCheck &check) const;
    void startNext();
    void endOrStartNext();
    // A process that cannot be started is tried once more when the next ends, then not started.
    void failedToStart(Slot &slot, const QString &why);
    void notStarted(Slot &slot, const QString &why);
    void readEvents(Slot &slot);
    // With --wait: the upgrades of instruments found in maintenance mode begin, the first found
    // first, as long as fewer than --jobs are being upgraded.
    void giveTurns();
    // The ends of instruments' processes, as the starter tells them.
    void readEnds();
    void finished(Slot &slot, InstrumentProcess::End end);
    int exitStatus() const;
    void interrupted(int signal);
    // Tells every running instrument's process.
    void request(const char *request);
    // The contents of DIR/retry.txt: a comment, then each address that has not succeeded (yet).
    QByteArray retries() const;
    QList<Events::Result> finishedResults() const;
    // DIR/retry.txt and DIR/summary.json as the results so far make them; false if either could
    // not be written.
    bool record();
    // A file of DIR written whole or not at all; a failure is said once until it is written again.
    bool writeFile(const QString &name, const QByteArray &bytes);
    // The result the fleet gives an instrument whose process gave none: a last line in its log (the
    // log made if there is none) and its result.json; the lists are the caller's to write.
    void recordEnd(InstrumentStatus &instrument, const QByteArray &logged);

    inline static const QString kRetries = QStringLiteral("retry.txt");
    // When no instrument is running to end first, a process that could not be started is tried
    // again after this many milliseconds.
    static constexpr int kRetryAlone = 1000;

    Options mOptions;
    const FleetReport &mReport;
    QString mLogFolder;
    // In the order of the addresses; made once, so that the display may keep their statuses.
    std::vector<Slot> mSlots;
    // The instruments waiting for their turn, the next first.
    std::deque<Slot *> mQueued;
    // Processes at once, and instruments upgraded at once: the same, but with --wait every
    // instrument has a process from the start (as many as the machine holds), and those found in
    // maintenance mode wait for their turn in mReady.
    qsizetype mLimit = 1;
    qsizetype mTurns = 1;
    qsizetype mRunning = 0;
    qsizetype mUpgrading = 0;
    std::deque<Slot *> mReady;
    qsizetype mFinished = 0;
    std::unique_ptr<QSocketNotifier> mEnds;
    std::unique_ptr<FleetDisplay> mDisplay;
    QTimer mRedraw;
    int mInterrupts = 0;
    // The files of DIR that could not be written, said once each.
    QSet<QString> mUnwritable;
    // Taken from the confirmation on: Ctrl-C at the question ends the program, as it always does.
    std::unique_ptr<Interrupts> mSignals;
};
