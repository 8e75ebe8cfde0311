#pragma once

#include "colTerminalOutput.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

class UpgradeHost;
class Step;
class cFtp;
class ucTelnet;
namespace Script {
struct Row;
}

// The upgrade state machine. The Telnet control is its clock: each CommandPerformed runs the step
// of the current state, which examines the output of the command sent last and sends the next one,
// transfers a file first, or ends the upgrade. It talks to the window only through UpgradeHost.
class UpgradeEngine
{
public:
    UpgradeEngine(UpgradeHost &host, ucTelnet &telnet, quint16 ftpPort);
    ~UpgradeEngine();
    UpgradeEngine(const UpgradeEngine &) = delete;
    UpgradeEngine &operator=(const UpgradeEngine &) = delete;

    // The log-in is through: the first command.
    void OpenSuccess();
    void CommandPerformed();
    // The run has ended: a file on its way is cut off within about a second, and nothing more
    // goes out by FTP.
    void cutTransfers();

private:
    friend class Step;

    void run(const Script::Row &row);
    void runStep(const Script::Row &row);
    // Stores the state that examines what arrives next: the successor of a command, or a
    // transfer's state, which catches a command completing while the file is on its way.
    void expect(int state);
    void sendCommand(const QString &command, qint32 seconds);
    // Neither ended by the host nor halted: commands may still be sent.
    bool running() const;
    // The script stops where it is; inside another step's wait only that inner step ends.
    void halt();
    // The FTP session of every transfer, made and connected by the first.
    cFtp *ftpSession();

    UpgradeHost &mHost;
    ucTelnet &mTelnet;
    quint16 mFtpPort;
    colTerminalOutput mOutput;
    std::unique_ptr<cFtp> mFtp;
    // Every command sent, in order.
    QStringList mSent;
    // The state whose output is awaited: a step runs only on the output of its own command.
    int mExpected = 0;
    // How many steps are running, each inside the wait of the one before, and their states.
    int mDepth = 0;
    QSet<int> mRunningStates;
    // A step inside another step's wait has halted: final unless a step still sends a command.
    bool mHaltPending = false;
    // A step has halted the script: nothing more is sent.
    bool mHalted = false;
    QHash<int, int> mVisits;
};
