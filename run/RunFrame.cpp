#include "RunFrame.h"

#include "BlockingCall.h"
#include "RunTexts.h"
#include "Script.h"
#include "StateMachineLog.h"
#include "UpgradeEngine.h"
#include "ucTelnet.h"

#include <QEventLoop>
#include <QFileInfo>

RunFrame::RunFrame(const RunSettings &settings)
    : mSettings(settings), mLog(settings.logPath, settings.logFallbackPath, settings.clock)
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

RunFrame::~RunFrame()
{
    // The engine and the control log through this frame: they go first.
    mEngine.reset();
    delete mTelnet;
}

void RunFrame::Log_Add(QByteArrayView text)
{
    mLog.Log_Add(text);
}

void RunFrame::SetUpgradeState(int n)
{
    mState = n;
    Log_Add(StateMachineLog::stateLine(n));
    if (n != 0 && n != Script::kBusy)
        mLastState = n;
    showState(n);
}

void RunFrame::SetCaption(const QString &text)
{
    showCaption(text);
}

void RunFrame::AdvanceProgress(qint16 tasks)
{
    mProgress.advance(tasks);
    showProgress(RunProgress::Form::Tasks);
}

void RunFrame::FillProgress()
{
    mProgress.fill();
    showProgress(RunProgress::Form::Complete);
}

void RunFrame::WaitWithEvents(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(RunRules::scaledMs(milliseconds, mSettings.timeScale), Qt::PreciseTimer, &loop,
                       &QEventLoop::quit);
    loop.exec();
}

void RunFrame::Abort(FailureRoutine routine, const QString &address)
{
    if (mEnded)
        return;
    endRun();
    showFailure(routine, address);
    mEndStatus = RunResult::Failure;
}

void RunFrame::ResetWizard()
{
    SetUpgradeState(0);
    mProgress.reset();
    showReset();
}

void RunFrame::Halted()
{
    mHalted = true;
    mHaltToShow = true;
}

void RunFrame::CompleteUpgrade()
{
    if (mEnded)
        return;
    endRun();
    SetCaption(RunTexts::kCompleted);
    WaitWithEvents(1000);
    ResetWizard();
    showSuccess();
    finish(RunResult::Success);
}

std::time_t RunFrame::Now() const
{
    return mSettings.clock ? mSettings.clock() : std::time(nullptr);
}

bool RunFrame::ChangesMayBegin()
{
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
    showNotStarted(RunTexts::unrecorded(mLog.loss().text()));
    mEndStatus = RunResult::NotStarted;
    return false;
}

bool RunFrame::holdBeforeChange()
{
    mChangeHeld = !mChangeReached;
    return mChangeHeld;
}

void RunFrame::releaseChange()
{
    mChangeHeld = false;
    if (mHolding)
        mHolding->quit();
}

bool RunFrame::takeResources()
{
    const QString refused = prepareBlockingCalls();
    if (refused.isEmpty())
        return true;
    const QString reason = RunTexts::threadRefused(refused);
    Log_Add("\r\n* Not started: " + reason.toUtf8());
    endRun();
    showNotStarted(RunTexts::notStarted(reason));
    finish(RunResult::NotStarted);
    return false;
}

void RunFrame::startRun()
{
    if (!takeResources())
        return;
    const UpgradeInputs inputs = Inputs();
    mProgress.start(inputs.autoexecFound, inputs.prodImageFound);
    showProgress(RunProgress::Form::Complete);
    SetUpgradeState(RunRules::kConnecting);
    SetCaption(RunTexts::kConnecting);
    AdvanceProgress(1);
    WaitWithEvents(1000);
    if (mEnded)
        return;
    mTelnet->setRemoteHost(inputs.address);
    mTelnet->setRemotePort(mSettings.telnetPort);
    mTelnet->setPrompt(Script::kPrompt);
    mTelnet->setUserName(inputs.login);
    mTelnet->setPassword(inputs.password);
    if (mTelnet->OpenConnection()) {
        showConnecting();
        mLogIn.start();
        AdvanceProgress(1);
    }
}

QString RunFrame::lockInstrument(const QString &program, bool checking)
{
    const LockHolder holder{program, checking, QFileInfo(mLog.path()).absoluteFilePath()};
    const QString refusal = mLock.take(Inputs().address, mSettings.telnetPort, holder);
    if (!refusal.isEmpty())
        Log_Add("\r\n* " + refusal.toUtf8());
    return refusal;
}

void RunFrame::commandPerformed()
{
    mEngine->CommandPerformed();
    if (mEndStatus)
        finish(*mEndStatus);
    else if (std::exchange(mHaltToShow, false))
        scriptHalted();
    else
        stepReturned();
}

void RunFrame::endWith(const RunRules::Ending &ending)
{
    for (const QByteArray &entry : ending.logged)
        Log_Add(entry);
    fail(ending.routine);
}

void RunFrame::fail(FailureRoutine routine, const QString &address)
{
    if (mEnded)
        return;
    Abort(routine, address);
    finish(RunResult::Failure);
}

void RunFrame::endRun()
{
    if (mEnded)
        return;
    mEnded = true;
    mLogIn.stop();
    mEngine->cutTransfers();
    if (mHolding)
        mHolding->quit();
    showRunEnded();
    mTelnet->disconnect(&mEvents);
    mTelnet->Disconnect();
}

bool RunFrame::changedNothing() const
{
    return RunRules::changedNothingAt(mLastState);
}

void RunFrame::stop()
{
    if (mEnded)
        return;
    Log_Add("\r\n* Stopped by the operator at state " + QByteArray::number(mLastState));
    finish(changedNothing() ? RunResult::NotStarted : RunResult::Stop);
}

void RunFrame::finish(RunResult result)
{
    endRun();
    // Nothing more reaches the instrument: the next process may have it, and finds the folder clean.
    mLock.release();
    endProcess(result);
}
