#pragma once

#include "Run.h"
#include "RunView.h"

// A view beside a front end's, for a test or a measurement: it is told everything the run shows,
// records what it overrides and leaves the rest to the front end.
class RunWatch : public RunView
{
public:
    explicit RunWatch(Run &run) { run.addView(*this); }

    void showState(int) override {}
    void showCaption(const QString &) override {}
    void showProgress(const RunProgress &, RunProgress::Form) override {}
    void showTransfer(const QString &, qint64, qint64) override {}
    void showWait(int) override {}
    void showWaitOver(int) override {}
    void showLogged(QByteArrayView) override {}
    void showConnecting() override {}
    void showReset() override {}
    void showFailure(FailureRoutine, const QString &) override {}
    void showNotStarted(const QString &) override {}
    void showSuccess() override {}
    void showHalted() override {}
    void showRunEnded() override {}
    void showResult(RunResult) override {}
};
