#pragma once

#include "PartialRunView.h"
#include "RunSettings.h"
#include "UpgradeHost.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <optional>

class QEventLoop;

// Waits for an instrument to come up in maintenance mode at its shell, as a technician reboots it
// there by hand: it is tried read-only (the network probe, the log-in, "cd /mnt/nand1", "pwd",
// "ps aux" and nothing else), one attempt at a time, each closing its session, again after an
// interval that grows from 5 s to 30 s (at the run's time scale) and begins again at 5 s when the
// reason changes, until it is ready or the wait is over. The attempts' traces are kept nowhere:
// the caller logs each new reason. Waits in local event loops, so that the caller's own events (a
// request to stop) are handled meanwhile.
class MaintenanceWait final : private PartialRunView
{
public:
    struct Outcome
    {
        bool ready = false;
        // No probe can be sent from here: waiting cannot help.
        bool probeNotMade = false;
        // Why it was not ready the last time ("not in maintenance mode"), and the message the run
        // would have ended with.
        QString reason;
        QString message;
        // From the first attempt to the one that found it ready, or to the end of the wait.
        double waited = 0;
    };
    // Told each new reason, with the seconds waited so far.
    using Changed = std::function<void(const QString &reason, double waited)>;

    // settings: the run's ports, scale and clock (its log is not used); inputs: the instrument's.
    MaintenanceWait(const RunSettings &settings, const UpgradeInputs &inputs, Changed changed);

    Outcome await(int seconds);
    // Since await began.
    double waitedSoFar() const;

private:
    Outcome attempt();
    void pause(int milliseconds);

    // The view of each attempt's run: its failure and its result; the rest is no one's to see.
    void showFailure(FailureRoutine routine, const QString &address) override;
    void showNotStarted(const QString &message) override { mMessage = message; }
    void showResult(RunResult result) override;

    RunSettings mSettings;
    UpgradeInputs mInputs;
    Changed mChanged;
    QElapsedTimer mClock;
    // What the attempt under way has shown.
    std::optional<FailureRoutine> mRoutine;
    QString mMessage;
    QString mTelnetError;
    std::optional<RunResult> mResult;
    QEventLoop *mAttempting = nullptr;
};
