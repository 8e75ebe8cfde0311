#pragma once

#include "Events.h"
#include "Options.h"
#include "Run.h"
#include "RunView.h"

#include <QElapsedTimer>
#include <QSocketNotifier>

// One instrument's check or upgrade in a process of its own, started by the fleet. It holds the run
// and is its view: the run's events go to standard output, its log to DIR/ADDRESS/logfile.txt, its
// result also to DIR/ADDRESS/result.json (a check's to DIR/ADDRESS/check.json), and the process
// ends with the run's exit status once its result is out. The terminal's signals do not reach it;
// the fleet's requests to stop come on standard input.
class InstrumentRun final : private RunView
{
public:
    explicit InstrumentRun(const Options &options);

    // Starts the run in the event loop, which the end of the process leaves.
    int exec();

private:
    void start();
    void readRequests();
    // Ends before anything was sent: the process's status says that nothing was.
    [[noreturn]] void refuse(const QString &message);
    [[noreturn]] void exitWith(RunResult result, ExitStatus process);

    void showState(int state) override;
    void showCaption(const QString &text) override;
    void showProgress(const RunProgress &progress, RunProgress::Form form) override;
    void showTransfer(const QString &file, qint64 sent, qint64 total) override;
    void showWait(int milliseconds) override;
    void showWaitOver(int milliseconds) override;
    void showLogged(QByteArrayView entry) override;
    void showConnecting() override;
    void showReset() override;
    void showFailure(FailureRoutine routine, const QString &address) override;
    void showNotStarted(const QString &message) override;
    void showSuccess() override;
    void showHalted() override;
    void showRunEnded() override;
    void showResult(RunResult result) override;

    Options mOptions;
    QString mAddress;
    Run mRun;
    EventWriter mEvents;
    QElapsedTimer mClock;
    QString mFailure;
    QString mCaption; // the last one shown
    QSocketNotifier mRequests;
    QByteArray mRequestLine;
};
