#pragma once

#include "Events.h"
#include "Options.h"
#include "RunFrame.h"
#include "UpgradeFolder.h"

#include <QElapsedTimer>
#include <QSocketNotifier>

// One instrument's check or upgrade in a process of its own, started by the fleet: its run's
// events go to standard output, its log to DIR/ADDRESS/logfile.txt, its result also to
// DIR/ADDRESS/result.json (a check's to DIR/ADDRESS/check.json), and the process ends with the run's exit status once
// its result is out. The terminal's signals do not reach it; the fleet's requests to stop come on standard input.
//
// The check runs the script itself while it only reads: the commands "cd /mnt/nand1", "pwd" and
// "ps aux" with their checks and log texts. Once the last of them has passed, before the first
// change is shown or sent, the run has ended for the engine; an FTP listing ends the check.
class InstrumentRun : public RunFrame
{
public:
    explicit InstrumentRun(const Options &options);

    // Starts the run in the event loop, which the end of the process leaves.
    int exec();

    void ShowTransfer(const QString &file, qint64 sent, qint64 total) override;
    UpgradeInputs Inputs() const override;
    bool ChangesMayBegin() override;

protected:
    void showState(int n) override;
    void showCaption(const QString &text) override;
    void showProgress(RunProgress::Form form) override;
    void showFailure(FailureRoutine routine, const QString &address) override;
    void showNotStarted(const QString &message) override;
    void scriptHalted() override;
    void stepReturned() override;
    void endProcess(RunResult result) override;

private:
    void start();
    void readRequests();
    // The check's last part: an FTP log-in and a listing of the instrument's working folder.
    void listWorkingFolder();
    // Ends before anything was sent: the process's status says that nothing was.
    [[noreturn]] void refuse(const QString &message);
    [[noreturn]] void exitWith(RunResult result, ExitStatus process);

    Options mOptions;
    QString mAddress;
    UpgradeFileFlags mFiles;
    EventWriter mEvents;
    QElapsedTimer mClock;
    // The check has passed the maintenance-mode check.
    bool mShellChecked = false;
    QString mFailure;
    QString mCaption; // the last one shown
    QSocketNotifier mRequests;
    QByteArray mRequestLine;
};
