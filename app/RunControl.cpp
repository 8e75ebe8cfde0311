// The run around the upgrade: starting the connection from the last page, the progress bar, the
// wait that keeps events flowing, the Telnet time-out and error handlers, the time limit of the
// log-in, Exit and the window's close, and how the program ends.
#include "Dialogs.h"
#include "EventWait.h"
#include "InputGate.h"
#include "Main.h"
#include "RunRules.h"
#include "TelnetSetup.h"
#include "UpgradeEngine.h"
#include "WizardTexts.h"
#include "ucTelnet.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

void Main::startRun()
{
    cmdNext->setEnabled(false);
    pbMainProgress->setMinimum(0);
    mProgress.start(mFiles.mAutoexecFound, mFiles.mProdImageFound);
    pbMainProgress->setValue(0);
    pbMainProgress->setMaximum(mProgress.maximum());
    showProgressCaption("% complete");
    pbMainProgress->show();
    lblProgBarTitle->show();
    SetUpgradeState(RunRules::kConnecting);
    SetCaption(WizardTexts::kConnecting);
    AdvanceProgress(1);
    WaitWithEvents(1000);
    if (mEnded)
        return;
    ConfigureTelnetSession();
    if (ucTelnetInterface->OpenConnection()) {
        cmdPrevious->setEnabled(false);
        cmdExit->setEnabled(false);
        tmrLogIn.start();
        AdvanceProgress(1);
    }
}

void Main::ConfigureTelnetSession()
{
    TelnetSetup::configureLogIn(*ucTelnetInterface, Inputs(), mEnvironment.telnetPort);
}

void Main::showProgressCaption(const char *suffix)
{
    lblProgBarTitle->setText(mProgress.caption(suffix));
}

void Main::AdvanceProgress(qint16 tasks)
{
    mProgress.advance(tasks);
    pbMainProgress->setMaximum(mProgress.maximum());
    pbMainProgress->setValue(mProgress.value());
    showProgressCaption("% tasks complete");
}

void Main::FillProgress()
{
    mProgress.fill();
    pbMainProgress->setValue(mProgress.value());
    showProgressCaption("% complete");
}

void Main::WaitWithEvents(int milliseconds)
{
    waitWithEvents(milliseconds, mEnvironment.timeScale);
}

void Main::ucTelnetInterface_OpenSuccess()
{
    tmrLogIn.stop();
    mEngine->OpenSuccess();
}

void Main::ucTelnetInterface_CommandPerformed()
{
    mEngine->CommandPerformed();
    if (mEndStatus)
        endProgram(*mEndStatus);
}

void Main::ucTelnetInterface_Timeout()
{
    endWith(RunRules::timedOut(mUpgradeState));
}

void Main::ucTelnetInterface_Error(int number, const QString &description)
{
    endWith(RunRules::socketError(mUpgradeState, number, description));
}

void Main::tmrLogIn_Timer()
{
    endWith(RunRules::logInTimedOut(mUpgradeState));
}

void Main::endWith(const RunRules::Ending &ending)
{
    for (const QByteArray &entry : ending.logged)
        Log_Add(entry);
    Fail(ending.routine);
}

void Main::cmdExit_Click()
{
    Log_Add("\r\n>>cmdExit_Click");
    endProgram(0);
}

void Main::closeEvent(QCloseEvent *event)
{
    // The window never just closes: that would end every wait at once and let the run go on
    // without them. Closing it is Exit, and is refused while Exit is.
    event->ignore();
    if (mEnded)
        return;
    if (cmdExit->isEnabled()) {
        cmdExit_Click();
    } else if (mHalted) {
        // The script has stopped without a message: nothing is in flight, and the operator must be
        // able to leave. The upgrade did not complete.
        Log_Add("\r\n* Window closed after the upgrade script stopped");
        endProgram(1);
    } else {
        Log_Add("\r\n* Close refused: Exit is disabled");
    }
}

void Main::Fail(FailureRoutine routine, const QString &address)
{
    if (mEnded)
        return;
    Abort(routine, address);
    endProgram(RunRules::kFailed);
}

void Main::Abort(FailureRoutine routine, const QString &address)
{
    if (mEnded)
        return;
    endRun();
    mDialogs->show(failureMessage(routine, address));
    mEndStatus = RunRules::kFailed;
}

void Main::Halted()
{
    mHalted = true;
}

void Main::CompleteUpgrade()
{
    if (mEnded)
        return;
    endRun();
    SetCaption(WizardTexts::kCompleted);
    WaitWithEvents(1000);
    cmdExit->setEnabled(true);
    ResetWizard();
    mDialogs->show(Dialogs::notice(Dialogs::Icon::Information, WizardTexts::kMessageTitle, WizardTexts::kSuccess));
    endProgram(RunRules::kSucceeded);
}

void Main::ShowTransfer(const QString &file, qint64 sent, qint64 total)
{
    lblTransfer->setVisible(!file.isEmpty());
    if (file.isEmpty())
        return;
    lblTransfer->setText(RunProgress::transferText(file, sent, total));
}

UpgradeInputs Main::Inputs() const
{
    return {txtUpgradeSourceDir->text(), txtLogin->text(),      txtPassword->text(), mIpAddress,
            mFiles.mAutoexecFound,       mFiles.mProdImageFound};
}

std::time_t Main::Now() const
{
    return mEnvironment.clock ? mEnvironment.clock() : std::time(nullptr);
}

void Main::endRun()
{
    // The first moment of a failure, of the success or of Exit: from here on no event of the Telnet
    // control, no timer and no input of the operator moves anything, and nothing more is sent to
    // the instrument, even while the last message box is open.
    if (mEnded)
        return;
    mEnded = true;
    tmrLogIn.stop();
    mInput->holdForGood();
    ucTelnetInterface->disconnect(this);
    ucTelnetInterface->Disconnect();
}

void Main::endProgram(int status)
{
    endRun();
    if (mEnvironment.endProgram) {
        mEnvironment.endProgram(status);
        return;
    }
    // Every log entry is on disk already; end at once, wherever the call came from.
    std::fflush(nullptr);
    std::_Exit(status);
}
