#include "Run.h"

#include "BlockingCall.h"
#include "RunTexts.h"
#include "Script.h"
#include "StateMachineLog.h"
#include "UpgradeEngine.h"
#include "cFtp.h"
#include "ucTelnet.h"

#include <QEventLoop>
#include <QFileInfo>

namespace {

// What the check lists by FTP: the folder the upgrade works in.
const QString kWorkingFolder = QStringLiteral("/mnt/nand1");

} // namespace

Run::Run(const RunSettings &settings, Procedure procedure, RunView &view)
    : mSettings(settings), mProcedure(procedure), mViews{&view},
      mLog(settings.logPath, settings.logFallbackPath, settings.clock)
{
    mTelnet = new ucTelnet(*this, &mEvents);
    mTelnet->setObjectName(QStringLiteral("ucTelnetInterface"));
    mTelnet->setGuardTickMs(RunRules::scaledMs(1000, mSettings.timeScale));
    mEngine = std::make_unique<UpgradeEngine>(*this, *mTelnet, mSettings.ftpPort);
    QObject::connect(mTelnet, &ucTelnet::OpenSuccess, &mEvents, [this] {
        mLogIn.stop();
        mEngine->OpenSuccess();
    });
    QObject::connect(mTelnet, &ucTelnet::CommandPerformed, &mEvents, [this] { commandPerformed(); });
    QObject::connect(mTelnet, &ucTelnet::Timeout, &mEvents, [this] { endWith(RunRules::timedOut(mState)); });
    QObject::connect(mTelnet, &ucTelnet::Error, &mEvents, [this](int number, const QString &description) {
        endWith(RunRules::socketError(mState, number, description));
    });
    mLogIn.setSingleShot(true);
    mLogIn.setInterval(RunRules::scaledMs(RunRules::kLogInLimitMs, mSettings.timeScale));
    QObject::connect(&mLogIn, &QTimer::timeout, &mEvents, [this] { endWith(RunRules::logInTimedOut(mState)); });
    mTelnet->RxBuffer_Init();
}

Run::~Run()
{
    // What the run does as it goes is no view's any more; the engine and the control log through
    // the run: they go first.
    mViews.clear();
    mEngine.reset();
    delete mTelnet;
}

template <typename... Parameters, typename... Values>
void Run::show(void (RunView::*what)(Parameters...), Values &&...values)
{
    for (RunView *view : mViews)
        (view->*what)(values...);
}

void Run::addView(RunView &view)
{
    mViews << &view;
}

void Run::Log_Add(QByteArrayView text)
{
    mLog.Log_Add(text);
    show(&RunView::showLogged, text);
}

void Run::SetUpgradeState(int n)
{
    mState = n;
    Log_Add(StateMachineLog::stateLine(n));
    if (n != 0 && n != Script::kBusy)
        mLastState = n;
    show(&RunView::showState, n);
}

void Run::SetCaption(const QString &text)
{
    show(&RunView::showCaption, text);
}

void Run::AdvanceProgress(qint16 tasks)
{
    mProgress.advance(tasks);
    show(&RunView::showProgress, mProgress, RunProgress::Form::Tasks);
}

void Run::FillProgress()
{
    mProgress.fill();
    show(&RunView::showProgress, mProgress, RunProgress::Form::Complete);
}

void Run::WaitWithEvents(int milliseconds)
{
    show(&RunView::showWait, milliseconds);
    QEventLoop loop;
    QTimer::singleShot(RunRules::scaledMs(milliseconds, mSettings.timeScale), Qt::PreciseTimer, &loop,
                       &QEventLoop::quit);
    loop.exec();
    show(&RunView::showWaitOver, milliseconds);
}

void Run::Abort(FailureRoutine routine, const QString &address)
{
    if (mEnded)
        return;
    endRun();
    show(&RunView::showFailure, routine, address);
    mEndStatus = RunResult::Failure;
}

void Run::ShowTransfer(const QString &file, qint64 sent, qint64 total)
{
    show(&RunView::showTransfer, file, sent, total);
}

void Run::ResetWizard()
{
    SetUpgradeState(0);
    mProgress.reset();
    show(&RunView::showReset);
}

void Run::Halted()
{
    mHalted = true;
    mHaltToShow = true;
}

void Run::CompleteUpgrade()
{
    if (mEnded)
        return;
    endRun();
    SetCaption(RunTexts::kCompleted);
    WaitWithEvents(1000);
    ResetWizard();
    show(&RunView::showSuccess);
    finish(RunResult::Success);
}

std::time_t Run::Now() const
{
    return mSettings.clock ? mSettings.clock() : std::time(nullptr);
}

bool Run::ChangesMayBegin()
{
    if (mProcedure != Procedure::Upgrade) {
        // The maintenance-mode check has passed: the check lists the working folder once the step
        // has returned; the readiness test has succeeded then.
        mReadOnlyPartDone = mProcedure == Procedure::Check;
        endRun();
        if (mProcedure == Procedure::Readiness)
            mEndStatus = RunResult::Success;
        return false;
    }
    if (mChangeHeld && !mEnded) {
        Log_Add("\r\n* Held before the first change at state " + QByteArray::number(mLastState));
        QEventLoop holding;
        mHolding = &holding;
        holding.exec();
        mHolding = nullptr;
    }
    mChangeReached = true;
    if (mEnded)
        return false;
    // Nothing that changes the instrument goes out unrecorded: a log that has lost an entry ends
    // the run here, untouched, once the step has returned.
    mLog.flush();
    if (mLog.loss().error == 0)
        return true;
    endRun();
    show(&RunView::showNotStarted, RunTexts::unrecorded(mLog.loss().text()));
    mEndStatus = RunResult::NotStarted;
    return false;
}

bool Run::holdBeforeChange()
{
    mChangeHeld = !mChangeReached;
    return mChangeHeld;
}

void Run::releaseChange()
{
    mChangeHeld = false;
    if (mHolding)
        mHolding->quit();
}

bool Run::takeResources()
{
    const QString refused = prepareBlockingCalls();
    if (refused.isEmpty())
        return true;
    const QString reason = RunTexts::threadRefused(refused);
    endUntouched(reason, RunTexts::notStarted(reason), RunResult::NotStarted);
    return false;
}

void Run::endUntouched(const QString &reason, const QString &message, RunResult result)
{
    Log_Add("\r\n* Not started: " + reason.toUtf8());
    endRun();
    show(&RunView::showNotStarted, message);
    finish(result);
}

void Run::start()
{
    if (!takeResources())
        return;
    mProgress.start(mInputs.autoexecFound, mInputs.prodImageFound);
    show(&RunView::showProgress, mProgress, RunProgress::Form::Complete);
    SetUpgradeState(RunRules::kConnecting);
    SetCaption(RunTexts::kConnecting);
    AdvanceProgress(1);
    WaitWithEvents(1000);
    if (mEnded)
        return;
    mTelnet->setRemoteHost(mInputs.address);
    mTelnet->setRemotePort(mSettings.telnetPort);
    mTelnet->setPrompt(Script::kPrompt);
    mTelnet->setUserName(mInputs.login);
    mTelnet->setPassword(mInputs.password);
    if (mTelnet->OpenConnection()) {
        show(&RunView::showConnecting);
        mLogIn.start();
        AdvanceProgress(1);
    }
}

QString Run::lockInstrument(const QString &program)
{
    const LockHolder holder{program, mProcedure, QFileInfo(mLog.path()).absoluteFilePath()};
    const QString refusal = mLock.take(mInputs.address, mSettings.telnetPort, holder);
    if (!refusal.isEmpty())
        Log_Add("\r\n* " + refusal.toUtf8());
    return refusal;
}

void Run::commandPerformed()
{
    mEngine->CommandPerformed();
    if (mEndStatus)
        finish(*mEndStatus);
    else if (std::exchange(mHaltToShow, false))
        show(&RunView::showHalted);
    else if (std::exchange(mReadOnlyPartDone, false))
        listWorkingFolder();
}

void Run::endWith(const RunRules::Ending &ending)
{
    for (const QByteArray &entry : ending.logged)
        Log_Add(entry);
    fail(ending.routine);
}

void Run::fail(FailureRoutine routine, const QString &address)
{
    if (mEnded)
        return;
    Abort(routine, address);
    finish(RunResult::Failure);
}

void Run::endRun()
{
    if (mEnded)
        return;
    mEnded = true;
    mLogIn.stop();
    mEngine->cutTransfers();
    if (mHolding)
        mHolding->quit();
    show(&RunView::showRunEnded);
    mTelnet->disconnect(&mEvents);
    mTelnet->Disconnect();
}

bool Run::changedNothing() const
{
    return RunRules::changedNothingAt(mLastState);
}

void Run::stop()
{
    if (mEnded)
        return;
    Log_Add("\r\n* Stopped by the operator at state " + QByteArray::number(mLastState));
    finish(changedNothing() ? RunResult::NotStarted : RunResult::Stop);
}

void Run::finish(RunResult result)
{
    endRun();
    // Nothing more reaches the instrument: the next process may have it, and finds the folder clean.
    mLock.release();
    show(&RunView::showResult, result);
}

QString Run::logProblem()
{
    return mLog.openProblem();
}

QString Run::logLoss() const
{
    return mLog.loss().text();
}

void Run::listWorkingFolder()
{
    cFtp ftp(*this);
    ftp.setPort(mSettings.ftpPort);
    ftp.sUserID = mInputs.login;
    ftp.sPassword = mInputs.password;
    ftp.sServerName = mInputs.address;
    const bool listed = ftp.Connect() && ftp.bGetDir(kWorkingFolder, 0);
    ftp.Disconnect();
    if (!listed) {
        show(&RunView::showFailure, FailureRoutine::AbortFirewallBlocked, QString());
        finish(RunResult::Failure);
        return;
    }
    Log_Add("\r\n* Ready for the upgrade: " + kWorkingFolder.toUtf8() + " listed by FTP");
    finish(RunResult::Success);
}
