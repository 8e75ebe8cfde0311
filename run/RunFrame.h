#pragma once

#include "ExitStatus.h"
#include "InstrumentLock.h"
#include "RunProgress.h"
#include "RunRules.h"
#include "RunSettings.h"
#include "UpgradeHost.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

class QEventLoop;
class UpgradeEngine;
class ucTelnet;

// One instrument's run, whoever shows it: the log, the state number, the progress count, the
// Telnet control and the upgrade engine, the start of the run, the Telnet events and the log-in's
// time limit, the failure and success guards, and the end. A front end (the window, the command
// line's instrument process) derives from it and gives only what is its own: how it shows a
// caption, the progress, a transfer, a failure or the success, and how its process ends.
class RunFrame : public UpgradeHost
{
public:
    explicit RunFrame(const RunSettings &settings);
    ~RunFrame() override;
    RunFrame(const RunFrame &) = delete;
    RunFrame &operator=(const RunFrame &) = delete;

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
    bool SystemFilesInstalled() const override { return mSystemFilesInstalled; }
    void SetSystemFilesInstalled(bool installed) override { mSystemFilesInstalled = installed; }
    std::time_t Now() const override;

    ucTelnet &telnet() { return *mTelnet; }
    // The failure routine's message, then the end.
    void fail(FailureRoutine routine, const QString &address = QString());

protected:
    const RunSettings &settings() const { return mSettings; }
    const RunProgress &progress() const { return mProgress; }
    // The last state stored other than 0 and the busy marker: where a halted script stopped.
    int lastState() const { return mLastState; }
    bool halted() const { return mHalted; }
    // Nothing that changes the instrument has been sent yet: the run has only connected, logged in
    // and read.
    bool changedNothing() const;
    // The operator stops the run: logged with the state it was in, then finish, not started while
    // nothing has been changed.
    void stop();
    // From now until releaseChange() or the end of the run, the run holds before its first change
    // to the instrument, idle at the shell prompt, once its read-only part is done. False when it
    // has passed that point already.
    bool holdBeforeChange();
    void releaseChange();
    // Takes what the run needs and the system could refuse later, before anything is sent: the
    // worker thread of its transfers and its network probe. On a refusal the run has ended, not
    // started, with the reason logged and shown.
    bool takeResources();
    // Opens the log now: empty when it is open, otherwise why it cannot be.
    QString logProblem() { return mLog.openProblem(); }
    // Why the log is incomplete ("PATH: REASON" of the first entry lost); empty while it is whole.
    QString logLoss() const { return mLog.loss().text(); }
    // Before anything is sent to the instrument: takes its lock until the run is finished or the frame
    // goes.
    // Empty when it is taken; otherwise why the run must not begin, also logged.
    QString lockInstrument(const QString &program, bool checking);

    // From the last page or the command line: the progress count for these upgrade files, then the
    // connection and the log-in, which the engine takes over at the shell prompt.
    void startRun();
    // The first moment of a failure, of the success or of the operator's end: from here on no event
    // of the Telnet control and no timer moves anything, and nothing more is sent to the instrument.
    void endRun();
    // endRun, the instrument's lock released, then the process ends with the status.
    void finish(RunResult result);

    // What a front end shows. Each is told after the frame has stored what changed.
    virtual void showState(int) {}
    virtual void showCaption(const QString &text) = 0;
    virtual void showProgress(RunProgress::Form form) = 0;
    // The routine's message, shown at once (the window's box) or kept for the end.
    virtual void showFailure(FailureRoutine routine, const QString &address) = 0;
    // Why the run ends before anything was sent (the whole message): the instrument is untouched.
    virtual void showNotStarted(const QString &message) = 0;
    virtual void showSuccess() {}
    // The progress count and the state are back at the start: the front end's own part of it.
    virtual void showReset() {}
    // OpenConnection has gone out: the run cannot be stepped back from any more.
    virtual void showConnecting() {}
    // endRun has begun: the front end holds what it must hold for good.
    virtual void showRunEnded() {}
    // The script has halted, or a check has ended its part: the front end decides what follows.
    virtual void scriptHalted() {}
    // A step has returned and the run goes on.
    virtual void stepReturned() {}
    // The end of the process; it need not return.
    virtual void endProcess(RunResult result) = 0;

private:
    void commandPerformed();
    // A Telnet event or the log-in limit ends the run: its log entries, then its failure routine.
    void endWith(const RunRules::Ending &ending);

    RunSettings mSettings;
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
    // A front end holds the run before its first change; the run has reached that point.
    bool mChangeHeld = false;
    bool mChangeReached = false;
    // The loop the run waits in while it is held there.
    QEventLoop *mHolding = nullptr;
    // Set by a failure routine of a step: the process ends once the step has returned.
    std::optional<RunResult> mEndStatus;
};
