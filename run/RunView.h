#pragma once

#include "ExitStatus.h"
#include "FailureRoutine.h"
#include "RunProgress.h"

#include <QByteArrayView>
#include <QString>

// What a run shows, to the window, the command line's instrument process, a test or a measurement.
// The run tells each of its views every change after it has stored it, in the order it happens; a view shows what is
// its own to show and leaves the rest.
class RunView
{
public:
    // The state number has changed (the busy marker 999999 included): a page of the window, or a
    // step of the script.
    virtual void showState(int state) = 0;
    // The step's caption.
    virtual void showCaption(const QString &text) = 0;
    // The progress count has changed; form says how its caption names the percentage.
    virtual void showProgress(const RunProgress &progress, RunProgress::Form form) = 0;
    // How far the running transfer has got; an empty name once it has returned.
    virtual void showTransfer(const QString &file, qint64 sent, qint64 total) = 0;
    // A wait of the script begins (its milliseconds before the time scale), with events flowing,
    // and it is over: waits may nest, as steps run inside other steps' waits.
    virtual void showWait(int milliseconds) = 0;
    virtual void showWaitOver(int milliseconds) = 0;
    // An entry has been made in the run's log.
    virtual void showLogged(QByteArrayView entry) = 0;
    // OpenConnection has gone out: the run cannot be stepped back from any more.
    virtual void showConnecting() = 0;
    // The progress count and the state are back at the start.
    virtual void showReset() = 0;
    // The run has ended with the routine's message: shown at once (the window's box) or kept for
    // the result.
    virtual void showFailure(FailureRoutine routine, const QString &address) = 0;
    // Why the run ends before anything was sent (the whole message): the instrument is untouched.
    virtual void showNotStarted(const QString &message) = 0;
    // The upgrade has completed; its result follows.
    virtual void showSuccess() = 0;
    // The script has stopped without a message and sends nothing more: the view decides what
    // follows (the window waits for the operator, the command line ends the run with a halt).
    virtual void showHalted() = 0;
    // The run has ended: from here on no event of the Telnet control and no timer moves anything,
    // and nothing more is sent. A view holds what it must hold for good.
    virtual void showRunEnded() = 0;
    // The last thing a view is told: the result, once the instrument's lock has gone. The view
    // that hosts the run ends its process here; the call need not return.
    virtual void showResult(RunResult result) = 0;

protected:
    ~RunView() = default;
};
