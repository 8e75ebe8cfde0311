#pragma once

#include "RunView.h"

// A view that shows only what it overrides and leaves out the rest of what a run shows: one beside
// a front end's, or one of a run that no one sees.
class PartialRunView : public RunView
{
public:
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

protected:
    ~PartialRunView() = default;
};
