#pragma once

#include "FailureRoutine.h"
#include "LogSink.h"

#include <QString>

#include <ctime>

// What the upgrade folder and the operator gave the run.
struct UpgradeInputs
{
    QString folder; // the upgrade-file folder
    QString login;  // the hidden log-in and password boxes
    QString password;
    QString address; // the instrument's IPv4 address
    bool autoexecFound = false;
    bool prodImageFound = false;
};

// The run's host as the upgrade engine sees it, whichever front end shows it: the state number, the
// step caption and the progress, the wait that keeps events flowing, the failure routines and the
// end of the run.
class UpgradeHost : public LogSink
{
public:
    virtual int UpgradeState() const = 0;
    // Stores the state and logs it.
    virtual void SetUpgradeState(int n) = 0;
    virtual void SetCaption(const QString &text) = 0;
    virtual void AdvanceProgress(qint16 tasks) = 0;
    // The bar full and its caption "...% complete", as the last step shows it.
    virtual void FillProgress() = 0;
    // Returns after that many milliseconds (scaled), handling events meanwhile.
    virtual void WaitWithEvents(int milliseconds) = 0;
    // Shows the routine's message. From its first moment the run has ended: no later event
    // moves anything and nothing more reaches the instrument; the program ends once the event
    // being handled has returned.
    virtual void Abort(FailureRoutine routine, const QString &address = QString()) = 0;
    // True once a failure, the success or Exit has ended the run.
    virtual bool RunEnded() const = 0;
    virtual void ResetWizard() = 0;
    // The script stopped without a message: nothing more is sent; the front end decides what follows.
    virtual void Halted() = 0;
    // The last step that only reads has passed its checks and goes on to its first change of the
    // instrument: returns once it may, at once unless the front end holds the run there; false ends
    // the step there, before its caption, with nothing more sent.
    virtual bool ChangesMayBegin() = 0;
    // The success: caption, message, end of the program.
    virtual void CompleteUpgrade() = 0;
    // How far the running transfer has got; an empty name when none runs.
    virtual void ShowTransfer(const QString &file, qint64 sent, qint64 total) = 0;
    virtual UpgradeInputs Inputs() const = 0;
    virtual bool SystemFilesInstalled() const = 0;
    virtual void SetSystemFilesInstalled(bool installed) = 0;
    // The PC's clock, which sets the instrument's date.
    virtual std::time_t Now() const = 0;
};
