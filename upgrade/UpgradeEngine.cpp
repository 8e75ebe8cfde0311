#include "UpgradeEngine.h"

#include "Script.h"
#include "StateMachineLog.h"
#include "Step.h"
#include "UpgradeHost.h"
#include "cFtp.h"
#include "ucTelnet.h"

#include <utility>

UpgradeEngine::UpgradeEngine(UpgradeHost &host, ucTelnet &telnet, quint16 ftpPort)
    : mHost(host), mTelnet(telnet), mFtpPort(ftpPort)
{
}

UpgradeEngine::~UpgradeEngine() = default;

void UpgradeEngine::OpenSuccess()
{
    mHost.SetUpgradeState(Script::kStart);
    sendCommand(QLatin1String(Script::firstCommand()), 60);
}

void UpgradeEngine::CommandPerformed()
{
    mHost.Log_Add("\r\n>>ucTelnetInterface_CommandPerformed");
    const int state = mHost.UpgradeState();
    mHost.Log_Add(StateMachineLog::stateLine(state));
    if (state == 0 || state == 1011) {
        // Nothing is waiting for a command here.
    } else if (state == Script::kBusy) {
        mHost.Log_Add(StateMachineLog::kEndOfStateMachine);
    } else if (const Script::Row *row = Script::find(state)) {
        if (state == mExpected)
            run(*row);
        else
            mHost.Log_Add(StateMachineLog::notExamined(state));
    } else {
        mHost.Log_Add(StateMachineLog::unknownState(state));
    }
    mHost.Log_Add("\r\n<<ucTelnetInterface_CommandPerformed");
}

void UpgradeEngine::cutTransfers()
{
    if (mFtp)
        mFtp->Cancel();
}

void UpgradeEngine::run(const Script::Row &row)
{
    // A step whose caption wait comes before the busy marker still has its own state then: the
    // event finds it running, and like any event while a step is busy it changes nothing.
    if (mRunningStates.contains(row.state)) {
        mHost.Log_Add(StateMachineLog::kEndOfStateMachine);
        return;
    }
    mRunningStates.insert(row.state);
    ++mDepth;
    runStep(row);
    --mDepth;
    mRunningStates.remove(row.state);
    // A step halted inside another's wait, and no step went on from there: the script stops.
    if (mDepth == 0 && std::exchange(mHaltPending, false) && !mHost.RunEnded())
        halt();
}

void UpgradeEngine::runStep(const Script::Row &row)
{
    const Step step(*this, row);
    if (row.before.text && !step.show(row.before))
        return;
    ++mVisits[row.state];
    // From here until the step names its successor, an event that arrives during one of its waits
    // finds the busy marker and changes nothing.
    mHost.SetUpgradeState(Script::kBusy);
    mOutput.Clear();
    mOutput.OutputRead(mTelnet.Captured());
    if (row.progress)
        mHost.AdvanceProgress(row.progress);
    for (const Script::Check check : row.checks)
        if (check && !check(step))
            return;
    for (const Script::Transfer *transfer : row.transfers)
        if (transfer && !step.transfer(*transfer))
            return;
    // The front end may hold the run here, its checks passed and nothing changed yet; the date it
    // then sets is the time it goes on at.
    if (Script::readsOnly(row.state) && !Script::readsOnly(row.ways[0].next) && !mHost.ChangesMayBegin())
        return;
    const int way = row.choose ? row.choose(step) : 0;
    if (way == Script::kEnded)
        return;
    const Script::Way &chosen = row.ways[static_cast<size_t>(way)];
    if (step.show(chosen.caption) && step.send(QLatin1String(chosen.command), chosen.next, chosen.timeout) &&
        row.settle)
        mHost.WaitWithEvents(row.settle);
}

void UpgradeEngine::expect(int state)
{
    mHost.SetUpgradeState(state);
    mExpected = state;
}

void UpgradeEngine::sendCommand(const QString &command, qint32 seconds)
{
    if (!running())
        return;
    mExpected = mHost.UpgradeState();
    mSent << command;
    mHaltPending = false;
    mTelnet.SendCommand(command, seconds);
}

bool UpgradeEngine::running() const
{
    return !mHost.RunEnded() && !mHalted;
}

void UpgradeEngine::halt()
{
    if (mDepth > 1) {
        mHaltPending = true;
        return;
    }
    mHalted = true;
    mHost.Halted();
}

cFtp *UpgradeEngine::ftpSession()
{
    if (mFtp)
        return mFtp.get();
    const UpgradeInputs inputs = mHost.Inputs();
    mFtp = std::make_unique<cFtp>(mHost);
    mFtp->setPort(mFtpPort);
    mFtp->sUserID = inputs.login;
    mFtp->sPassword = inputs.password;
    mFtp->sServerName = inputs.address;
    if (!mFtp->Connect()) {
        mFtp.reset();
        return nullptr;
    }
    return mFtp.get();
}
