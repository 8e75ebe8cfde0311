#pragma once

#include "Events.h"
#include "LogFile.h"
#include "Options.h"
#include "RunProgress.h"
#include "RunRules.h"
#include "UpgradeFolder.h"
#include "UpgradeHost.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

class UpgradeEngine;
class ucTelnet;

// One instrument's check or upgrade in this process, without a window: the upgrade engine's host.
// It writes the run's events on standard output and the log to DIR/ADDRESS/logfile.txt, and ends the
// process with the exit status once the run has ended, as the window does.
//
// The check runs the script itself up to the maintenance-mode check: the commands "cd /mnt/nand1",
// "pwd" and "ps aux" with their checks and log texts. The moment the script names the state after
// those, the run has ended for the engine, so its next command is never sent.
class InstrumentRun : public QObject, public UpgradeHost
{
public:
    explicit InstrumentRun(const Options &options);
    ~InstrumentRun() override;

    // Starts the run in the event loop, which the end of the process leaves.
    int exec();

    void Log_Add(QByteArrayView text) override;
    int UpgradeState() const override { return mState; }
    void SetUpgradeState(int n) override;
    void SetCaption(const QString &text) override;
    void AdvanceProgress(qint16 tasks) override;
    void FillProgress() override;
    void WaitWithEvents(int milliseconds) override;
    void Abort(FailureRoutine routine, const QString &address = QString()) override;
    bool RunEnded() const override { return mEnded; }
    void ResetWizard() override;
    void Halted() override;
    void CompleteUpgrade() override;
    void ShowTransfer(const QString &file, qint64 sent, qint64 total) override;
    UpgradeInputs Inputs() const override;
    bool SystemFilesInstalled() const override { return mSystemFilesInstalled; }
    void SetSystemFilesInstalled(bool installed) override { mSystemFilesInstalled = installed; }
    std::time_t Now() const override;

private:
    bool checking() const { return mOptions.command == Options::Command::Check; }
    void start();
    void telnetCommandPerformed();
    void telnetTimeout();
    void telnetError(int number, const QString &description);
    void logInTimedOut();
    // A Telnet event or the log-in limit ends the run: its log entries, then its failure routine.
    void endWith(const RunRules::Ending &ending);
    // The check's last part: an FTP log-in and a listing of the instrument's working folder.
    void listWorkingFolder();
    void endRun();
    void emitProgress();
    [[noreturn]] void end(const QString &result, int status, const QString &message = QString());

    Options mOptions;
    QString mAddress;
    UpgradeFileFlags mFiles;
    EventWriter mEvents;
    LogFile mLog;
    QElapsedTimer mClock;
    RunProgress mProgress;
    int mState = 0;
    // The last state stored other than the busy marker: where a halted script stopped.
    int mLastState = 0;
    bool mSystemFilesInstalled = false;
    bool mEnded = false;
    // The check has passed the maintenance-mode check.
    bool mShellChecked = false;
    // Set by an abort routine or a halt of a step: the process ends once the step has returned.
    std::optional<int> mEndStatus;
    QString mFailure;
    ucTelnet *mTelnet = nullptr;
    std::unique_ptr<UpgradeEngine> mEngine;
    // From OpenConnection until the shell prompt.
    QTimer mLogIn;
};
