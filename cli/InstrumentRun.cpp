#include "InstrumentRun.h"

#include "Commands.h"
#include "ErrorLine.h"
#include "FailureTexts.h"
#include "Handshake.h"
#include "NetworkProbe.h"
#include "RunTexts.h"
#include "Script.h"
#include "UpgradeFolder.h"
#include "WholeFile.h"

#include <QCoreApplication>
#include <QDir>
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

} // namespace

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
        mRun.finish(lockedOut(mRun.procedure()));
        return;
    }
    // The network probe is the first call that needs what the run takes.
    if (!mRun.takeResources())
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

void InstrumentRun::readRequests()
{
    char bytes[256];
    const ssize_t got = ::read(STDIN_FILENO, bytes, sizeof bytes);
    if (got <= 0) {
        // The fleet has gone: the run goes on to its end, and its result is on disk.
        mRequests.setEnabled(got < 0 && errno == EINTR);
        return;
    }
    mRequestLine.append(bytes, got);
    for (qsizetype end = mRequestLine.indexOf('\n'); end >= 0; end = mRequestLine.indexOf('\n')) {
        const QByteArray request = mRequestLine.left(end);
        mRequestLine.remove(0, end + 1);
        if (request == Handshake::kStop || (request == Handshake::kStopIfUnchanged && mRun.changedNothing()))
            mRun.stop();
    }
}

void InstrumentRun::showState(int state)
{
    if (state != Script::kBusy)
        mEvents.write(Events::state(mAddress, state));
}

void InstrumentRun::showCaption(const QString &text)
{
    // Not what the window leaves behind the failure's message; the success's caption comes after
    // the run has ended.
    if (mFailure.isEmpty())
        mCaption = text;
    mEvents.write(Events::caption(mAddress, text));
}

void InstrumentRun::showProgress(const RunProgress &progress, RunProgress::Form)
{
    mEvents.write(Events::progress(mAddress, progress.value(), progress.maximum(), progress.percent()));
}

void InstrumentRun::showTransfer(const QString &file, qint64 sent, qint64 total)
{
    if (!file.isEmpty())
        mEvents.transfer(Events::transfer(mAddress, file, sent, total));
}

void InstrumentRun::showFailure(FailureRoutine routine, const QString &address)
{
    mFailure = failureText(routine, address).text();
}

void InstrumentRun::showNotStarted(const QString &message)
{
    mFailure = message;
}

void InstrumentRun::showHalted()
{
    mRun.finish(RunResult::Halt);
}

void InstrumentRun::showWait(int)
{
    // A wait is no event of the command line's: the captions around it are.
}

void InstrumentRun::showWaitOver(int) {}

void InstrumentRun::showLogged(QByteArrayView)
{
    // The run writes its own log.
}

void InstrumentRun::showConnecting()
{
    // The connection is no event of the command line's: the caption before it says so.
}

void InstrumentRun::showReset()
{
    // The state 0 and the progress that follow it are events of their own.
}

void InstrumentRun::showSuccess()
{
    // The result event says it.
}

void InstrumentRun::showRunEnded()
{
    // A stop request that comes later finds the run ended and changes nothing.
}

void InstrumentRun::showResult(RunResult result)
{
    exitWith(result, statusOf(result));
}

void InstrumentRun::refuse(const QString &message)
{
    mFailure = message;
    exitWith(RunResult::Failure, ExitStatus::Usage);
}

void InstrumentRun::exitWith(RunResult result, ExitStatus process)
{
    Events::Result shown;
    shown.address = mAddress;
    shown.state = mRun.lastState();
    shown.caption = mCaption;
    shown.log = QFileInfo::exists(mRun.settings().logPath) ? mRun.settings().logPath : QString();
    shown.timeScale = mOptions.settings.timeScale;
    shown.logIncomplete = mRun.logLoss();
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
