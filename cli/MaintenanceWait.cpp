#include "MaintenanceWait.h"

#include "FailureTexts.h"
#include "NetworkProbe.h"
#include "Run.h"
#include "RunRules.h"
#include "RunTexts.h"
#include "ucTelnet.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kFirstIntervalMs = 5000;
constexpr int kLastIntervalMs = 30000;

// Why an attempt's run found the instrument not ready, in a few words: for a connection that
// failed or broke, the Telnet control's first error in its own words.
QString reasonOf(FailureRoutine routine, const QString &telnetError)
{
    switch (routine) {
    case FailureRoutine::AbortNotMaintenanceMode:
        return QStringLiteral("not in maintenance mode");
    case FailureRoutine::AbortNotInstrument:
        return QStringLiteral("the shell is not a QD8400's");
    case FailureRoutine::AbortConnectFailed:
    case FailureRoutine::AbortNetworkError:
        if (!telnetError.isEmpty())
            return "Telnet: " + telnetError;
        if (routine == FailureRoutine::AbortConnectFailed)
            return QStringLiteral("no shell prompt within the log-in limit");
        break;
    default:
        break;
    }
    return failureText(routine).lines.first();
}

} // namespace

MaintenanceWait::MaintenanceWait(const RunSettings &settings, const UpgradeInputs &inputs, Changed changed)
    : mSettings(settings), mInputs(inputs), mChanged(std::move(changed))
{
    // The attempts' traces go nowhere.
    mSettings.logPath.clear();
    mSettings.logFallbackPath.clear();
}

double MaintenanceWait::waitedSoFar() const
{
    return static_cast<double>(mClock.elapsed()) / 1000;
}

MaintenanceWait::Outcome MaintenanceWait::await(int seconds)
{
    mClock.start();
    const QDeadlineTimer deadline(std::chrono::seconds{seconds});
    int interval = kFirstIntervalMs;
    QString reason;
    while (true) {
        const double began = waitedSoFar();
        Outcome outcome = attempt();
        outcome.waited = outcome.ready ? began : waitedSoFar();
        if (outcome.ready || outcome.probeNotMade || deadline.hasExpired())
            return outcome;
        if (outcome.reason == reason) {
            interval = std::min(kLastIntervalMs, interval * 3 / 2);
        } else {
            reason = outcome.reason;
            interval = kFirstIntervalMs;
            mChanged(reason, outcome.waited);
        }
        pause(static_cast<int>(
            std::min<qint64>(RunRules::scaledMs(interval, mSettings.timeScale), deadline.remainingTime())));
    }
}

MaintenanceWait::Outcome MaintenanceWait::attempt()
{
    switch (probeNetwork(mInputs.address)) {
    case ProbeAnswer::Answered:
        break;
    case ProbeAnswer::NoAnswer:
        return {false, false, QStringLiteral("no answer to the network probe"), RunTexts::kNoNetwork};
    case ProbeAnswer::NotMade:
        return {false, true, kProbeNotMade, kProbeNotMade};
    }
    mRoutine.reset();
    mMessage.clear();
    mTelnetError.clear();
    mResult.reset();
    // The loop outlives the run: once it has returned, nothing of the run's is running any more.
    QEventLoop attempting;
    Run run(mSettings, Procedure::Readiness, *this);
    run.setInputs(mInputs);
    QObject::connect(&run.telnet(), &ucTelnet::Error, &attempting, [this](int, const QString &description) {
        if (mTelnetError.isEmpty())
            mTelnetError = description;
    });
    run.start();
    if (!mResult) {
        mAttempting = &attempting;
        attempting.exec();
        mAttempting = nullptr;
    }
    if (mResult == RunResult::Success)
        return {true, false, QString(), QString()};
    const QString reason =
        mRoutine ? reasonOf(*mRoutine, mTelnetError) : mMessage.section(QStringLiteral("\r\n"), 0, 0);
    return {false, false, reason, mMessage};
}

void MaintenanceWait::pause(int milliseconds)
{
    QEventLoop pausing;
    QTimer::singleShot(milliseconds, &pausing, &QEventLoop::quit);
    pausing.exec();
}

void MaintenanceWait::showFailure(FailureRoutine routine, const QString &address)
{
    mRoutine = routine;
    mMessage = failureText(routine, address).text();
}

void MaintenanceWait::showResult(RunResult result)
{
    mResult = result;
    if (mAttempting)
        mAttempting->quit();
}
