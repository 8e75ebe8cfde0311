#include "InstrumentRun.h"

#include "FailureTexts.h"
#include "Handshake.h"
#include "NetworkProbe.h"
#include "RunTexts.h"
#include "Script.h"
#include "WholeFile.h"
#include "cFtp.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

const QString kWorkingFolder = QStringLiteral("/mnt/nand1");

RunSettings runSettings(const Options &options)
{
    // No second place: a log that cannot be written where the operator looks for it stops the run.
    return {options.logPath(options.addresses.first()),
            QString(),
            nullptr,
            options.telnetPort,
            options.ftpPort,
            options.timeScale};
}

} // namespace

InstrumentRun::InstrumentRun(const Options &options)
    : RunFrame(runSettings(options)), mOptions(options), mAddress(options.addresses.first()),
      mFiles(UpgradeFolder::CheckUpgradeFiles(options.folder)), mRequests(STDIN_FILENO, QSocketNotifier::Read)
{
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
    mEvents.write(Events::start(mAddress, mOptions.checking(), QDir(mOptions.folder).absolutePath(),
                                QDateTime::currentDateTimeUtc(), QCoreApplication::applicationPid(),
                                mOptions.timeScale));
    std::error_code made;
    std::filesystem::create_directories(QFile::encodeName(QFileInfo(settings().logPath).absolutePath()).toStdString(),
                                        made);
    const QString problem = made ? QString::fromLocal8Bit(made.message()) : logProblem();
    if (!problem.isEmpty())
        refuse(QStringLiteral("cannot write the log %1: %2").arg(settings().logPath, problem));
    if (mOptions.timeScale != 1)
        Log_Add("\r\n* Every wait scaled by " + QByteArray::number(mOptions.timeScale) +
                " (--time-scale): not the waits an instrument needs");
    const QString program = QCoreApplication::applicationName() + (mOptions.checking() ? " check" : " run");
    if (const QString refusal = lockInstrument(program, mOptions.checking()); !refusal.isEmpty()) {
        mFailure = refusal;
        finish(mOptions.checking() ? RunResult::Failure : RunResult::NotStarted);
        return;
    }
    // The network probe is the first call that needs what the run takes.
    if (!takeResources())
        return;
    switch (probeNetwork(mAddress)) {
    case ProbeAnswer::Answered:
        startRun();
        return;
    case ProbeAnswer::NoAnswer:
        Log_Add("\r\n* No answer from " + mAddress.toUtf8() + " to the network probe");
        mFailure = RunTexts::kNoNetwork;
        finish(RunResult::Failure);
        return;
    case ProbeAnswer::NotMade:
        Log_Add("\r\n* " + kProbeNotMade.toUtf8());
        mFailure = kProbeNotMade;
        finish(RunResult::NotStarted);
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
        if (request == Handshake::kStop || (request == Handshake::kStopIfUnchanged && changedNothing()))
            stop();
    }
}

void InstrumentRun::showState(int n)
{
    if (n == Script::kBusy)
        return;
    mEvents.write(Events::state(mAddress, n));
}

bool InstrumentRun::ChangesMayBegin()
{
    if (!mOptions.checking())
        return RunFrame::ChangesMayBegin();
    // The maintenance-mode check has passed: the check lists the working folder once the step has returned.
    mShellChecked = true;
    endRun();
    return false;
}

void InstrumentRun::showCaption(const QString &text)
{
    // Not what the window leaves behind the failure's message; the success's caption comes after
    // the run has ended.
    if (mFailure.isEmpty())
        mCaption = text;
    mEvents.write(Events::caption(mAddress, text));
}

void InstrumentRun::showProgress(RunProgress::Form)
{
    mEvents.write(Events::progress(mAddress, progress().value(), progress().maximum(), progress().percent()));
}

void InstrumentRun::ShowTransfer(const QString &file, qint64 sent, qint64 total)
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

void InstrumentRun::scriptHalted()
{
    finish(RunResult::Halt);
}

void InstrumentRun::stepReturned()
{
    if (mShellChecked)
        listWorkingFolder();
}

UpgradeInputs InstrumentRun::Inputs() const
{
    return {mOptions.folder, Script::kLogin,        Script::kPassword,
            mAddress,        mFiles.mAutoexecFound, mFiles.mProdImageFound};
}

void InstrumentRun::listWorkingFolder()
{
    cFtp ftp(*this);
    ftp.setPort(mOptions.ftpPort);
    ftp.sUserID = Script::kLogin;
    ftp.sPassword = Script::kPassword;
    ftp.sServerName = mAddress;
    const bool listed = ftp.Connect() && ftp.bGetDir(kWorkingFolder, 0);
    ftp.Disconnect();
    if (!listed) {
        showFailure(FailureRoutine::AbortFirewallBlocked, QString());
        finish(RunResult::Failure);
        return;
    }
    Log_Add("\r\n* Ready for the upgrade: " + kWorkingFolder.toUtf8() + " listed by FTP");
    finish(RunResult::Success);
}

void InstrumentRun::endProcess(RunResult result)
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
    shown.state = lastState();
    shown.caption = mCaption;
    shown.log = QFileInfo::exists(settings().logPath) ? settings().logPath : QString();
    shown.timeScale = mOptions.timeScale;
    shown.logIncomplete = logLoss();
    const double seconds = static_cast<double>(mClock.elapsed()) / 1000;
    Events::Result ended = Events::ending(shown, result, mOptions.checking(), seconds, mFailure);
    // Beside the log, so that a fleet or a terminal that has gone loses nothing.
    const QString resultFile = Events::recordPath(settings().logPath, mOptions.checking());
    if (const QString problem = writeWhole(resultFile, Events::line(Events::result(ended)) + '\n');
        !problem.isEmpty()) {
        std::fprintf(stderr, "qd8400-upgrade: %s\n", qPrintable(problem));
        shown.logIncomplete += (shown.logIncomplete.isEmpty() ? QString() : QStringLiteral("; ")) + problem;
        ended = Events::ending(shown, result, mOptions.checking(), seconds, mFailure);
    }
    mEvents.write(Events::result(ended));
    // Every log entry and every event is out already; end at once, wherever the call came from.
    std::fflush(nullptr);
    std::_Exit(std::max(code(process), ended.status));
}
