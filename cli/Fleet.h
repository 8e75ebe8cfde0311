#pragma once

#include "FleetDisplay.h"
#include "Interrupts.h"
#include "Options.h"
#include "UpgradeFolder.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QTimer>

#include <memory>
#include <vector>

// The command line's own process: it confirms a run, starts one process of this program for each
// instrument (at most --jobs at once), reads their events, draws them and sums them up, also in
// DIR/summary.json. It sends nothing to any instrument itself. A first SIGINT or SIGTERM starts no
// more instruments and stops those that have changed nothing yet; a second stops them all.
class Fleet : public QObject
{
public:
    explicit Fleet(Options options);
    ~Fleet() override;

    // The exit status: the highest of the instruments'.
    int exec();

private:
    // The folder of the logs, or empty after its problem has been shown.
    QString makeLogFolder() const;
    void listFolder(const FolderCheck &check) const;
    void startNext();
    void readEvents(qsizetype index);
    void finished(qsizetype index, int exitCode, QProcess::ExitStatus exitStatus);
    int exitStatus() const;
    void interrupted(int signal);
    // Tells every running instrument's process.
    void request(const char *request);
    void writeSummary(const QJsonObject &summary) const;

    Options mOptions;
    QString mLogFolder;
    QList<InstrumentStatus> mInstruments;
    std::vector<std::unique_ptr<QProcess>> mProcesses;
    std::vector<QElapsedTimer> mClocks;
    // Each process's own exit status.
    std::vector<int> mExitCodes;
    qsizetype mNext = 0;
    qsizetype mRunning = 0;
    qsizetype mFinished = 0;
    FleetDisplay mDisplay;
    QTimer mRedraw;
    int mInterrupts = 0;
    // Taken from the confirmation on: Ctrl-C at the question ends the program, as it always does.
    std::unique_ptr<Interrupts> mSignals;
};
