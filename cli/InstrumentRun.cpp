#include "InstrumentRun.h"

#include "EventWait.h"
#include "FailureTexts.h"
#include "NetworkProbe.h"
#include "RunRules.h"
#include "RunTexts.h"
#include "Script.h"
#include "StateMachineLog.h"
#include "TelnetSetup.h"
#include "UpgradeEngine.h"
#include "cFtp.h"
#include "ucTelnet.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

#include <cstdio>
#include <cstdlib>

namespace {

// The states that examine the output of "cd /mnt/nand1", "pwd" and "ps aux": all that a check sends.
constexpr int kReadOnlyStates[] = {Script::kStart, 1033, 2011};
const QString kWorkingFolder = QStringLiteral("/mnt/nand1");

bool readOnly(int state)
{
    return std::find(std::begin(kReadOnlyStates), std::end(kReadOnlyStates), state) != std::end(kReadOnlyStates) ||
           state == RunRules::kConnecting || state == Script::kBusy;
}

QString logPath(const Options &options)
{
    const QString folder = QDir(options.logDir).filePath(options.addresses.first());
    QDir().mkpath(folder);
    return QDir(folder).filePath(QStringLiteral("logfile.txt"));
}

} // namespace

InstrumentRun::InstrumentRun(const Options &options)
    : mOptions(options), mAddress(options.addresses.first()), mFiles(UpgradeFolder::CheckUpgradeFiles(options.folder)),
      mEvents(mAddress), mLog(logPath(options), logPath(options))
{
    mTelnet = new ucTelnet(*this, this);
    TelnetSetup::scaleGuard(*mTelnet, mOptions.timeScale);
    mEngine = std::make_unique<UpgradeEngine>(*this, *mTelnet, mOptions.ftpPort);
    connect(mTelnet, &ucTelnet::OpenSuccess, this, [this] {
        mLogIn.stop();
        mEngine->OpenSuccess();
    });
    connect(mTelnet, &ucTelnet::CommandPerformed, this, &InstrumentRun::telnetCommandPerformed);
    connect(mTelnet, &ucTelnet::Timeout, this, &InstrumentRun::telnetTimeout);
    connect(mTelnet, &ucTelnet::Error, this, &InstrumentRun::telnetError);
    mLogIn.setSingleShot(true);
    mLogIn.setInterval(static_cast<int>(RunRules::kLogInLimitMs * mOptions.timeScale));
    connect(&mLogIn, &QTimer::timeout, this, &InstrumentRun::logInTimedOut);
    mTelnet->RxBuffer_Init();
}

InstrumentRun::~InstrumentRun()
{
    // The engine and the control log through this host: they go first.
    mEngine.reset();
    delete mTelnet;
}

int InstrumentRun::exec()
{
    QTimer::singleShot(0, this, &InstrumentRun::start);
    return QCoreApplication::exec();
}

void InstrumentRun::start()
{
    mClock.start();
    mEvents.write("start", {{"command", checking() ? "check" : "run"},
                            {"folder", QDir(mOptions.folder).absolutePath()},
                            {"time", QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}});
    if (checking() && !ProbeInstrument(mAddress))
        end("not-ready", RunRules::kFailed, RunTexts::kNoNetwork);
    // As the window's last page starts the run.
    mProgress.start(mFiles.mAutoexecFound, mFiles.mProdImageFound);
    emitProgress();
    SetUpgradeState(RunRules::kConnecting);
    SetCaption(RunTexts::kConnecting);
    AdvanceProgress(1);
    WaitWithEvents(1000);
    TelnetSetup::configureLogIn(*mTelnet, Inputs(), mOptions.telnetPort);
    if (mTelnet->OpenConnection()) {
        mLogIn.start();
        AdvanceProgress(1);
    }
}

void InstrumentRun::Log_Add(QByteArrayView text)
{
    mLog.Log_Add(text);
}

void InstrumentRun::SetUpgradeState(int n)
{
    mState = n;
    Log_Add(StateMachineLog::stateLine(n));
    if (n == Script::kBusy)
        return;
    mEvents.write("state", {{"state", n}});
    if (n != 0)
        mLastState = n;
    if (checking() && !mEnded && !readOnly(n)) {
        // The maintenance-mode check has passed and the script goes on to change the instrument.
        mShellChecked = true;
        endRun();
    }
}

void InstrumentRun::SetCaption(const QString &text)
{
    mEvents.write("caption", {{"text", text}});
}

void InstrumentRun::emitProgress()
{
    mEvents.write("progress", {{"value", mProgress.value()},
                               {"maximum", mProgress.maximum()},
                               {"percent", static_cast<qint64>(mProgress.percent())}});
}

void InstrumentRun::AdvanceProgress(qint16 tasks)
{
    mProgress.advance(tasks);
    emitProgress();
}

void InstrumentRun::FillProgress()
{
    mProgress.fill();
    emitProgress();
}

void InstrumentRun::WaitWithEvents(int milliseconds)
{
    waitWithEvents(milliseconds, mOptions.timeScale);
}

void InstrumentRun::telnetCommandPerformed()
{
    mEngine->CommandPerformed();
    if (mEndStatus)
        end(*mEndStatus == RunRules::kFailed ? (checking() ? "not-ready" : "failed") : "halted", *mEndStatus, mFailure);
    if (mShellChecked)
        listWorkingFolder();
}

void InstrumentRun::telnetTimeout()
{
    endWith(RunRules::timedOut(mState));
}

void InstrumentRun::telnetError(int number, const QString &description)
{
    endWith(RunRules::socketError(mState, number, description));
}

void InstrumentRun::logInTimedOut()
{
    endWith(RunRules::logInTimedOut(mState));
}

void InstrumentRun::endWith(const RunRules::Ending &ending)
{
    for (const QByteArray &entry : ending.logged)
        Log_Add(entry);
    if (mEnded)
        return;
    Abort(ending.routine, mAddress);
    end(checking() ? "not-ready" : "failed", RunRules::kFailed, mFailure);
}

void InstrumentRun::Abort(FailureRoutine routine, const QString &address)
{
    if (mEnded)
        return;
    endRun();
    mFailure = failureText(routine, address).text();
    mEndStatus = RunRules::kFailed;
}

void InstrumentRun::ResetWizard()
{
    SetUpgradeState(0);
    mProgress.reset();
}

void InstrumentRun::Halted()
{
    mEndStatus = kHaltedStatus;
}

void InstrumentRun::CompleteUpgrade()
{
    if (mEnded)
        return;
    endRun();
    SetCaption(RunTexts::kCompleted);
    WaitWithEvents(1000);
    ResetWizard();
    end("success", RunRules::kSucceeded);
}

void InstrumentRun::ShowTransfer(const QString &file, qint64 sent, qint64 total)
{
    if (!file.isEmpty())
        mEvents.transfer(file, sent, total);
}

UpgradeInputs InstrumentRun::Inputs() const
{
    return {mOptions.folder, RunTexts::kLogin,      RunTexts::kPassword,
            mAddress,        mFiles.mAutoexecFound, mFiles.mProdImageFound};
}

std::time_t InstrumentRun::Now() const
{
    return std::time(nullptr);
}

void InstrumentRun::listWorkingFolder()
{
    cFtp ftp(*this);
    ftp.setPort(mOptions.ftpPort);
    ftp.sUserID = RunTexts::kLogin;
    ftp.sPassword = RunTexts::kPassword;
    ftp.sServerName = mAddress;
    const bool listed = ftp.Connect() && ftp.bGetDir(kWorkingFolder, 0);
    ftp.Disconnect();
    if (!listed)
        end("not-ready", RunRules::kFailed, failureText(FailureRoutine::AbortFirewallBlocked).text());
    Log_Add("\r\n* Ready for the upgrade: " + kWorkingFolder.toUtf8() + " listed by FTP");
    end("ready", RunRules::kSucceeded);
}

void InstrumentRun::endRun()
{
    // From here on no event of the Telnet control and no timer moves anything, and nothing more is
    // sent to the instrument.
    if (mEnded)
        return;
    mEnded = true;
    mLogIn.stop();
    mTelnet->disconnect(this);
    mTelnet->Disconnect();
}

void InstrumentRun::end(const QString &result, int status, const QString &message)
{
    endRun();
    QJsonObject fields{{"result", result},
                       {"status", status},
                       {"state", mLastState},
                       {"seconds", static_cast<double>(mClock.elapsed()) / 1000}};
    if (!message.isEmpty())
        fields.insert("message", message);
    mEvents.write("result", fields);
    // Every log entry and every event is out already; end at once, wherever the call came from.
    std::fflush(nullptr);
    std::_Exit(status);
}
