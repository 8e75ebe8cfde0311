#pragma once

#include "FailureRoutine.h"

#include <QString>
#include <QStringList>

class UpgradeEngine;
class UpgradeHost;
namespace Script {
struct Caption;
struct Row;
struct Transfer;
} // namespace Script

// One running step of the script: the output it examines, the log texts of failed checks, and the
// ways the step can end (send the next command, transfer a file, fail, halt).
class Step
{
public:
    Step(UpgradeEngine &engine, const Script::Row &row);

    const Script::Row &row() const { return mRow; }
    UpgradeHost &host() const;
    // How many times this state has run in this upgrade, this time included.
    int visits() const;

    // The captured output, lines numbered from 1; outside 1 to count() a line is empty.
    int count() const;
    QString line(int n) const;
    // The line without its leading and trailing blanks.
    QString trimmed(int n) const;
    bool isPrompt(int n) const;
    bool lastIsPrompt() const { return isPrompt(count()); }
    // Does a line between the echo and the prompt hold word, whatever its letter case?
    bool listed(const QString &word) const;
    // The output is a listing of a file and its copy: do their sizes agree?
    bool listedSizesAgree() const;
    // The command that the previous step sent, whose output this is.
    const QString &examined() const;

    // "* [ST=999999]": how a failed check's log text begins.
    QString st() const;
    void log(const QString &text) const;

    // Each of these ends the step and returns false, so that a check reads `passes || s.fail(...)`.
    // The texts logged, the routine's message, Disconnect, ResetWizard, then the texts logged after.
    bool fail(FailureRoutine routine, const QStringList &logged, const QStringList &loggedAfter = {}) const;
    // The routine's message alone.
    bool abort(FailureRoutine routine) const;
    // The unexpected output logged and nothing sent: the script stops where it is.
    bool halt(const QString &logged) const;

    // Each of these returns false when the run has ended meanwhile (a time-out, an error, Exit)
    // or a step run during the wait has sent a command.
    bool show(const Script::Caption &caption) const;
    bool show(const QString &caption, bool wait) const;
    bool pause(int milliseconds) const;
    // A file from the upgrade folder to the instrument, with its caption and its state.
    bool transfer(const Script::Transfer &transfer) const;

    // The successor stored, then its command sent; false when the run has ended or halted.
    bool send(const QString &command, int next, qint32 seconds = 60) const;
    // The command alone, its successor stored already.
    void sendCommand(const QString &command, qint32 seconds) const;
    // The state that examines what arrives next, with no command of its own sent.
    void expect(int state) const;

private:
    // After any wait: false once the run has ended or halted, or once a step run during the wait
    // has sent a command (logged), after which this step does nothing more.
    bool ownsTheRun() const;

    UpgradeEngine &mEngine;
    const Script::Row &mRow;
    // How many commands had been sent when the step began.
    const qsizetype mSendsBefore;
};
