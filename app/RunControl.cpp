// How the window starts the run it holds and shows it as its view: the start from the last page,
// the progress bar and the transfer line, the failure and success boxes, Exit and the window's
// close, and how the program ends.
#include "Dialogs.h"
#include "FailureRoutines.h"
#include "InputGate.h"
#include "Main.h"
#include "WizardTexts.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

void Main::runFromLastPage()
{
    // Another process upgrading or checking this instrument from this PC: the page stays.
    mRun.setInputs(inputs());
    if (const QString refusal = mRun.lockInstrument(WizardTexts::kProgramTitle); !refusal.isEmpty()) {
        mDialogs->show(Dialogs::notice(Dialogs::Icon::Exclamation, WizardTexts::kMessageTitle, refusal));
        return;
    }
    cmdNext->setEnabled(false);
    pbMainProgress->setMinimum(0);
    pbMainProgress->show();
    lblProgBarTitle->show();
    mRun.start();
}

void Main::showConnecting()
{
    cmdPrevious->setEnabled(false);
    cmdExit->setEnabled(false);
}

void Main::showProgress(const RunProgress &progress, RunProgress::Form form)
{
    pbMainProgress->setMaximum(progress.maximum());
    pbMainProgress->setValue(progress.value());
    lblProgBarTitle->setText(progress.caption(form));
}

void Main::showTransfer(const QString &file, qint64 sent, qint64 total)
{
    lblTransfer->setVisible(!file.isEmpty());
    if (file.isEmpty())
        return;
    lblTransfer->setText(RunProgress::transferText(file, sent, total));
}

void Main::showFailure(FailureRoutine routine, const QString &address)
{
    mDialogs->show(failureMessage(routine, address));
}

void Main::showNotStarted(const QString &message)
{
    mDialogs->show(Dialogs::notice(Dialogs::Icon::Critical, WizardTexts::kAbortTitle, message));
}

void Main::showSuccess()
{
    mDialogs->show(Dialogs::notice(Dialogs::Icon::Information, WizardTexts::kMessageTitle, WizardTexts::kSuccess));
}

void Main::showRunEnded()
{
    // No input of the operator moves anything any more, even while the last message box is open.
    mInput->holdForGood();
    if (mAskingToStop)
        mDialogs->dismiss();
}

// What the window leaves out: the state (the pages show themselves as the window stores them, the
// steps by their captions), the waits (the step's caption stays) and the log's entries (the log is
// the operator's record on disk).
void Main::showState(int) {}
void Main::showWait(int) {}
void Main::showWaitOver(int) {}
void Main::showLogged(QByteArrayView) {}

UpgradeInputs Main::inputs() const
{
    return {txtUpgradeSourceDir->text(), txtLogin->text(),      txtPassword->text(), mIpAddress,
            mFiles.mAutoexecFound,       mFiles.mProdImageFound};
}

void Main::cmdExit_Click()
{
    mRun.Log_Add("\r\n>>cmdExit_Click");
    mRun.finish(RunResult::Success);
}

void Main::closeEvent(QCloseEvent *event)
{
    // The window never just closes: that would end every wait at once and let the run go on
    // without them. Closing it is Exit, or during the run a question.
    event->ignore();
    if (mRun.RunEnded() || mAskingToStop)
        return;
    if (cmdExit->isEnabled())
        cmdExit_Click();
    else if (mRun.halted())
        closeAfterHalt();
    else
        askToStop();
}

void Main::closeAfterHalt()
{
    // The script has stopped without a message: nothing is in flight, and the operator must be
    // able to leave. The upgrade did not complete.
    mRun.Log_Add("\r\n* Window closed after the upgrade script stopped");
    mRun.finish(RunResult::Failure);
}

void Main::askToStop()
{
    // Until the answer the run goes on, but not past its read-only part: what the question says
    // stays true. If the run ends or halts meanwhile, the question goes away.
    mAskingToStop = true;
    const QString &text = mRun.holdBeforeChange() ? WizardTexts::kStopBeforeChange : WizardTexts::kStopDuringUpgrade;
    mRun.Log_Add("\r\n* Close asked at state " + QByteArray::number(mRun.lastState()) + ": \"" +
                 text.section(QLatin1String("\r\n"), 0, 0).toUtf8() + '"');
    mDialogs->ask({Dialogs::Icon::Question,
                   {Dialogs::Button::Stop, Dialogs::Button::Continue},
                   Dialogs::Button::Continue,
                   WizardTexts::kMessageTitle,
                   text},
                  [this](Dialogs::Button answer) {
                      mAskingToStop = false;
                      mRun.releaseChange();
                      if (mRun.RunEnded() || mRun.halted())
                          return;
                      if (answer == Dialogs::Button::Stop)
                          mRun.stop();
                      else
                          mRun.Log_Add("\r\n* Close asked during the run: it goes on");
                  });
}

void Main::showHalted()
{
    // The operator asked to close the window, and nothing goes on any more to stop or continue.
    if (!mAskingToStop)
        return;
    mDialogs->dismiss();
    closeAfterHalt();
}

void Main::showResult(RunResult result)
{
    mRun.flushLog();
    const int status = code(statusOf(result));
    if (mEnvironment.endProgram) {
        mEnvironment.endProgram(status);
        return;
    }
    endProcessNow(status);
}
