#pragma once

#include "ExitStatus.h"
#include "InstrumentLock.h"
#include "Procedure.h"
#include "RunProgress.h"
#include "RunRules.h"
#include "RunSettings.h"
#include "RunView.h"
#include "UpgradeHost.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

class QEventLoop;
class UpgradeEngine;
class ucTelnet;

// One instrument's run, whoever shows it: the log, the state number, the progress count, the
// instrument's lock, the Telnet control and the upgrade engine, the start of the run, the Telnet
// events and the log-in's time limit, the failure and success guards, the procedure's end and the
// run's end. A front end holds one, gives it the inputs and starts it, and is its view: the run
// tells the view what happens, and the view shows it (the window) or writes it (the command line).
class Run final : public UpgradeHost
{
public:
    Run(const RunSettings &settings, Procedure procedure, RunView &view);
    ~Run() override;
    Run(const Run &) = delete;
    Run &operator=(const Run &) = delete;

    // Also tells view everything the run shows, after the views before it: a test's recording or a
    // measurement beside the front end.
    void addView(RunView &view);

    // The engine's host.
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
    bool ChangesMayBegin() override;
    void CompleteUpgrade() override;
    void ShowTransfer(const QString &file, qint64 sent, qint64 total) override;
    UpgradeInputs Inputs() const override { return mInputs; }
    bool SystemFilesInstalled() const override { return mSystemFilesInstalled; }
    void SetSystemFilesInstalled(bool installed) override { mSystemFilesInstalled = installed; }
    std::time_t Now() const override;

    // Writes the log's entries made since the last event: before the process ends without its
    // destructors, or to read the file in the middle of an event.
    void flushLog() { mLog.flush(); }
    const RunSettings &settings() const { return mSettings; }
    Procedure procedure() const { return mProcedure; }
    const RunProgress &progress() const { return mProgress; }
    ucTelnet &telnet() { return *mTelnet; }
    // The last state stored other than 0 and the busy marker: where a halted script stopped.
    int lastState() const { return mLastState; }
    bool halted() const { return mHalted; }
    // Nothing that changes the instrument has been sent yet: the run has only connected, logged in
    // and read.
    bool changedNothing() const;
    // Opens the log now: empty when it is open, otherwise why it cannot be.
    QString logProblem();
    // Why the log is incomplete ("PATH: REASON" of the first entry lost); empty while it is whole.
    QString logLoss() const;

    // What the upgrade folder and the operator give the run, before its lock and its start.
    void setInputs(const UpgradeInputs &inputs) { mInputs = inputs; }
    // Before anything is sent to the instrument: takes its lock until the run is finished or goes.
    // Empty when it is taken; otherwise why the run must not begin, also logged.
    QString lockInstrument(const QString &program);
    // Takes what the run needs and the system could refuse later, before anything is sent: the
    // worker thread of its transfers and its network probe. On a refusal the run has ended, not
    // started, with the reason logged and shown.
    bool takeResources();
    // The progress count for these upgrade files, then the connection and the log-in, which the
    // engine takes over at the shell prompt.
    void start();
    // The operator stops the run: logged with the state it was in, then finish, not started while
    // nothing has been changed.
    void stop();
    // From now until releaseChange() or the end of the run, the run holds before its first change
    // to the instrument, idle at the shell prompt, once its read-only part is done. False when it
    // has passed that point already.
    bool holdBeforeChange();
    void releaseChange();
    // The failure routine's message, then the end.
    void fail(FailureRoutine routine, const QString &address = QString());
    // Ends the run before anything that changes the instrument has been sent: the reason logged,
    // the whole message shown, then the result (an upgrade not started, a check's not ready).
    void endUntouched(const QString &reason, const QString &message, RunResult result);
    // endRun, the instrument's lock released, then the result.
    void finish(RunResult result);

private:
    // Tells every view, in the order they were given.
    template <typename... Parameters, typename... Values>
    void show(void (RunView::*what)(Parameters...), Values &&...values);
    void commandPerformed();
    // A Telnet event or the log-in limit ends the run: its log entries, then its failure routine.
    void endWith(const RunRules::Ending &ending);
    // The first moment of a failure, of the success or of the operator's end: from here on no event
    // of the Telnet control and no timer moves anything, and nothing more is sent to the instrument.
    void endRun();
    // The check's last part: an FTP log-in and a listing of the instrument's working folder.
    void listWorkingFolder();

    RunSettings mSettings;
    Procedure mProcedure;
    QList<RunView *> mViews;
    UpgradeInputs mInputs;
    LogFile mLog;
    InstrumentLock mLock;
    // The receiver of the Telnet control's events and of the log-in limit, cut off by endRun.
    QObject mEvents;
    ucTelnet *mTelnet = nullptr;
    std::unique_ptr<UpgradeEngine> mEngine;
    // From OpenConnection until the shell prompt.
    QTimer mLogIn;
    RunProgress mProgress;
    int mState = 0;
    int mLastState = 0;
    bool mSystemFilesInstalled = false;
    bool mEnded = false;
    bool mHalted = false;
    bool mHaltToShow = false;
    // The check's read-only part has passed: it lists the working folder once the step has returned.
    bool mReadOnlyPartDone = false;
    // A front end holds the run before its first change; the run has reached that point.
    bool mChangeHeld = false;
    bool mChangeReached = false;
    // The loop the run waits in while it is held there.
    QEventLoop *mHolding = nullptr;
    // Set by a failure routine of a step: the run finishes once the step has returned.
    std::optional<RunResult> mEndStatus;
};
