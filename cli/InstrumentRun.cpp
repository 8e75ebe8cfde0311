#include "InstrumentRun.h"

#include "Commands.h"
#include "ErrorLine.h"
#include "Events.h"
#include "FailureTexts.h"
#include "Handshake.h"
#include "MaintenanceWait.h"
#include "NetworkProbe.h"
#include "Run.h"
#include "RunTexts.h"
#include "RunView.h"
#include "Script.h"
#include "TerminalText.h"
#include "UpgradeFolder.h"
#include "WholeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <unistd.h>

namespace {

RunSettings runSettings(const Options &options)
{
    RunSettings settings = options.settings;
    // No second place: a log that cannot be written where the operator looks for it stops the run.
    settings.logPath = options.logPath(options.addresses.first());
    return settings;
}

// The instrument's process holds the run and is its view, which writes events.
class InstrumentRun final : private RunView
{
public:
    explicit InstrumentRun(const Options &options);

    // Starts the run in the event loop.
    int exec();

private:
    void start();
    // With --wait: false when the run has ended instead (never ready, or no turn for the upgrade).
    bool awaitMaintenance();
    void readRequests();
    // Ends before anything was sent: the process's status says that nothing was.
    [[noreturn]] void refuse(const QString &message);
    [[noreturn]] void exitWith(RunResult result, ExitStatus process);

    // The view: the events of what the run shows.
    void showState(int state) override
    {
        if (state != Script::kBusy)
            mEvents.write(Events::state(mAddress, state));
    }
    void showCaption(const QString &text) override
    {
        // Not what the window leaves behind the failure's message; the success's caption comes
        // after the run has ended.
        if (mFailure.isEmpty())
            mCaption = text;
        mEvents.write(Events::caption(mAddress, text));
    }
    void showProgress(const RunProgress &progress, RunProgress::Form) override
    {
        mEvents.write(Events::progress(mAddress, progress.value(), progress.maximum(), progress.percent()));
    }
    void showTransfer(const QString &file, qint64 sent, qint64 total) override
    {
        if (!file.isEmpty())
            mEvents.transfer(Events::transfer(mAddress, file, sent, total));
    }
    void showFailure(FailureRoutine routine, const QString &address) override
    {
        mFailure = failureText(routine, address).text();
    }
    void showNotStarted(const QString &message) override { mFailure = message; }
    void showHalted() override { mRun.finish(RunResult::Halt); }
    void showResult(RunResult result) override { exitWith(result, statusOf(result)); }
    // What the events leave out: the waits and the log's entries (the log has them), the
    // connection (the caption before it says so), the reset (its state and progress are events of
    // their own), the success (the result says it) and the run's end (a stop request that comes
    // later changes nothing).
    void showWait(int) override {}
    void showWaitOver(int) override {}
    void showLogged(QByteArrayView) override {}
    void showConnecting() override {}
    void showReset() override {}
    void showSuccess() override {}
    void showRunEnded() override {}

    Options mOptions;
    QString mAddress;
    Run mRun;
    EventWriter mEvents;
    QElapsedTimer mClock;
    QString mFailure;
    QString mCaption; // the last one shown
    QSocketNotifier mRequests;
    QByteArray mRequestLine;
    // With --wait: the wait while it lasts, how long the instrument was waited for; while its turn is
    // awaited, the loop that waits; whether the fleet has given it, or has gone.
    const MaintenanceWait *mWaiting = nullptr;
    double mWaited = 0;
    QEventLoop *mAwaitingTurn = nullptr;
    bool mTurn = false;
    bool mFleetGone = false;
};

} // namespace

int runInstrument(const Options &options)
{
    return InstrumentRun(options).exec();
}

InstrumentRun::InstrumentRun(const Options &options)
    : mOptions(options), mAddress(options.addresses.first()), mRun(runSettings(options), options.procedure, *this),
      mRequests(STDIN_FILENO, QSocketNotifier::Read)
{
    const UpgradeFileFlags files = UpgradeFolder::CheckUpgradeFiles(options.folder);
    mRun.setInputs(
        {options.folder, Script::kLogin, Script::kPassword, mAddress, files.mAutoexecFound, files.mProdImageFound});
    // Only the fleet decides when a run stops; a fleet or a terminal that has gone stops nothing.
    for (const int signal : {SIGINT, SIGHUP, SIGPIPE})
        std::signal(signal, SIG_IGN);
    QObject::connect(&mRequests, &QSocketNotifier::activated, [this] { readRequests(); });
}

int InstrumentRun::exec()
{
    QTimer::singleShot(0, [this] { start(); });
    return QCoreApplication::exec();
}

void InstrumentRun::start()
{
    mClock.start();
    mEvents.write(Events::start(mAddress, mOptions.procedure, QDir(mOptions.folder).absolutePath(),
                                QDateTime::currentDateTimeUtc(), QCoreApplication::applicationPid(),
                                mOptions.settings.timeScale));
    std::error_code made;
    std::filesystem::create_directories(
        QFile::encodeName(QFileInfo(mRun.settings().logPath).absolutePath()).toStdString(), made);
    const QString problem = made ? QString::fromLocal8Bit(made.message()) : mRun.logProblem();
    if (!problem.isEmpty())
        refuse(QStringLiteral("cannot write the log %1: %2").arg(mRun.settings().logPath, problem));
    if (mOptions.settings.timeScale != 1)
        mRun.Log_Add("\r\n* Every wait scaled by " + QByteArray::number(mOptions.settings.timeScale) +
                     " (--time-scale): not the waits an instrument needs");
    const QString program = QCoreApplication::applicationName() + ' ' + Commands::nameOf(mOptions.procedure);
    if (const QString refusal = mRun.lockInstrument(program); !refusal.isEmpty()) {
        mFailure = refusal;
        mRun.finish(untouched(mRun.procedure()));
        return;
    }
    // The network probe is the first call that needs what the run takes.
    if (!mRun.takeResources() || (mOptions.waitSeconds > 0 && !awaitMaintenance()))
        return;
    switch (probeNetwork(mAddress)) {
    case ProbeAnswer::Answered:
        mRun.start();
        return;
    case ProbeAnswer::NoAnswer:
        mRun.Log_Add("\r\n* No answer from " + mAddress.toUtf8() + " to the network probe");
        mFailure = RunTexts::kNoNetwork;
        mRun.finish(RunResult::Failure);
        return;
    case ProbeAnswer::NotMade:
        mRun.Log_Add("\r\n* " + kProbeNotMade.toUtf8());
        mFailure = kProbeNotMade;
        mRun.finish(RunResult::NotStarted);
        return;
    }
}

bool InstrumentRun::awaitMaintenance()
{
    MaintenanceWait wait(mRun.settings(), mRun.Inputs(), [this](const QString &reason, double waited) {
        mRun.Log_Add("\r\n* Not ready for the upgrade after " + TerminalText::duration(waited).toUtf8() + ": " +
                     reason.toUtf8());
        mEvents.write(Events::waiting(mAddress, reason, waited));
    });
    mWaiting = &wait;
    const MaintenanceWait::Outcome outcome = wait.await(mOptions.waitSeconds);
    mWaiting = nullptr;
    mWaited = outcome.waited;
    // The run's own probe says so.
    if (outcome.probeNotMade)
        return true;
    if (!outcome.ready) {
        QString message = QStringLiteral("not ready within the wait of %1: %2")
                              .arg(TerminalText::duration(mOptions.waitSeconds), outcome.reason);
        if (!outcome.message.isEmpty())
            message += "\r\n" + outcome.message;
        mRun.endUntouched(message.section(QStringLiteral("\r\n"), 0, 0), message, untouched(mOptions.procedure));
        return false;
    }
    mRun.Log_Add("\r\n* In maintenance mode after waiting " + TerminalText::duration(mWaited).toUtf8());
    mEvents.write(Events::maintenance(mAddress, mWaited));
    if (mOptions.procedure != Procedure::Upgrade)
        return true;
    QEventLoop awaiting;
    mAwaitingTurn = &awaiting;
    if (!mFleetGone)
        awaiting.exec();
    mAwaitingTurn = nullptr;
    if (mTurn)
        return true;
    const QString gone = QStringLiteral("the fleet that started it has gone before its turn");
    mRun.endUntouched(gone, gone, RunResult::NotStarted);
    return false;
}

void InstrumentRun::readRequests()
{
    char bytes[256];
    const ssize_t got = ::read(STDIN_FILENO, bytes, sizeof bytes);
    if (got <= 0) {
        // The fleet has gone: the run goes on to its end, and its result is on disk; an upgrade
        // that waits for its turn has none to wait for.
        mFleetGone = got == 0 || errno != EINTR;
        mRequests.setEnabled(!mFleetGone);
        if (mFleetGone && mAwaitingTurn)
            mAwaitingTurn->quit();
        return;
    }
    mRequestLine.append(bytes, got);
    for (qsizetype end = mRequestLine.indexOf('\n'); end >= 0; end = mRequestLine.indexOf('\n')) {
        const QByteArray request = mRequestLine.left(end);
        mRequestLine.remove(0, end + 1);
        if (request == Handshake::kStop || (request == Handshake::kStopIfUnchanged && mRun.changedNothing()))
            mRun.stop();
        if (request == Handshake::kGo && mAwaitingTurn) {
            mTurn = true;
            mAwaitingTurn->quit();
        }
    }
}

void InstrumentRun::refuse(const QString &message)
{
    mFailure = message;
    exitWith(RunResult::Failure, ExitStatus::Usage);
}

void InstrumentRun::exitWith(RunResult result, ExitStatus process)
{
    mRun.flushLog();
    Events::Result shown;
    shown.address = mAddress;
    shown.state = mRun.lastState();
    shown.caption = mCaption;
    shown.log = QFileInfo::exists(mRun.settings().logPath) ? mRun.settings().logPath : QString();
    shown.timeScale = mOptions.settings.timeScale;
    shown.logIncomplete = mRun.logLoss();
    shown.waited = mWaiting ? mWaiting->waitedSoFar() : mWaited;
    const double seconds = static_cast<double>(mClock.elapsed()) / 1000;
    Events::Result ended = Events::ending(shown, result, mOptions.procedure, seconds, mFailure);
    // Beside the log, so that a fleet or a terminal that has gone loses nothing.
    const QString resultFile = Events::recordPath(mRun.settings().logPath, mOptions.procedure);
    if (const QString problem = writeWhole(resultFile, Events::line(Events::result(ended)) + '\n');
        !problem.isEmpty()) {
        writeErrorLine(problem);
        shown.logIncomplete += (shown.logIncomplete.isEmpty() ? QString() : QStringLiteral("; ")) + problem;
        ended = Events::ending(shown, result, mOptions.procedure, seconds, mFailure);
    }
    mEvents.write(Events::result(ended));
    endProcessNow(std::max(code(process), ended.status));
}
