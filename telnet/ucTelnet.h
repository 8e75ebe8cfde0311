#pragma once

#include "RxBuffer.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <deque>
#include <functional>

class LogSink;

// The Telnet client control: connects to the instrument, refuses every option, logs in on
// "login: " and "Password: ", then runs one command at a time. Each command's output is captured
// until the shell prompt appears in it; a guard timer turns a command that never comes back into
// Timeout. Everything it does is traced through the host's LogSink.
//
// While a blocking call runs (an FTP transfer), the control handles none of its socket and timer
// events: they wait, in the order they happened, and are handled once the call has returned; of the
// guard's ticks during that time one is handled. The bytes that arrived meanwhile are decoded when
// their turn comes, before a Close or Error that followed them.
class ucTelnet : public QObject
{
    Q_OBJECT

public:
    using TerminalView = std::function<void(QByteArrayView)>;

    explicit ucTelnet(LogSink &log, QObject *parent = nullptr);
    ~ucTelnet() override;

    // Write-only properties.
    void setRemoteHost(const QString &sIp) { mRemoteHost = sIp; }
    void setRemotePort(qint32 lPort) { mRemotePort = lPort; }
    void setUserName(const QString &value) { msUserName = value.toLatin1(); }
    void setPassword(const QString &value) { msPassword = value.toLatin1(); }
    void setPrompt(const QString &value)
    {
        msPrompt = value.toLatin1();
        resetPromptScan();
    }

    bool OpenConnection();
    bool SendCommand(const QString &sCommand, qint32 lSeconds);
    QString Captured();
    void Disconnect();
    void RxBuffer_Init() { mRxBuffer.Init(); }

    // The decoder: DataArrival buffers and traces one arrival, Process_RxBuffer decodes every
    // complete unit and then runs the session step.
    void DataArrival(const QByteArray &data);
    void Process_RxBuffer();

    // The host's terminal view: every decoded character is appended to it.
    void setTerminalView(TerminalView view) { mTerminalView = std::move(view); }
    // Length of one guard tick in milliseconds (1000 in the program; shorter in tests).
    void setGuardTickMs(int milliseconds) { tmrGuard.setInterval(milliseconds); }

    int state() const { return mState; }
    // The time-out in seconds given with the command sent last.
    qint32 commandSeconds() const { return mCommandSeconds; }
    const RxBuffer &rxBuffer() const { return mRxBuffer; }

signals:
    void OpenSuccess();
    void CommandPerformed();
    void Timeout();
    // Number: the operating system's error number where the socket's error stands for one, that is
    // ECONNREFUSED (111) for a refused connection. Qt folds the others together (one NetworkError
    // for an unreachable host or network and a connection time-out alike), so for them it is 10000
    // plus Qt's QAbstractSocket::SocketError value: 10002 host not found, 10007 network error,
    // 9999 unknown.
    void Error(int Number, const QString &Description);

private:
    void Process_Input();
    void examineLogInText();
    void clearCaptured();
    bool capturedHasPrompt();
    void resetPromptScan()
    {
        mPromptScannedUpTo = 0;
        mPromptSeen = false;
    }
    void sendLine(const QByteArray &text, qint32 lSeconds);
    void SendUserName(qint32 lSeconds);
    void SendPassword(qint32 lSeconds);
    void Guard_Start(qint32 n);
    void Guard_Stop();
    void guardTick();

    void passOn(QByteArrayView text);
    bool Handle_Do(uint8_t option);
    bool Handle_Dont(uint8_t option);
    bool Handle_Will(uint8_t option);
    bool Handle_Wont(uint8_t option);
    bool handleVerb(uint8_t verb, uint8_t option);
    void Send_IacWont(uint8_t option);
    void Send_IacDont(uint8_t option);
    void sendIac(uint8_t verb, uint8_t option);

    void handleOrHold(std::function<void()> handler);
    void postCatchUp();
    void catchUp();
    void readPending();
    void wskConnection_Connect();
    void wskConnection_DataArrival(const QByteArray &data);
    void wskConnection_Close();
    void wskConnection_Error(int number, const QString &description);
    void wskConnection_SendProgress(qint64 bytesSent, qint64 bytesRemaining);
    void wskConnection_SendComplete();

    LogSink &mLog;
    QTcpSocket wskConnection;
    QTimer tmrGuard;
    RxBuffer mRxBuffer;
    TerminalView mTerminalView;
    QByteArray mTerminalPending;

    QString mRemoteHost;
    qint32 mRemotePort = 0;
    QByteArray msCaptured;
    int mState = 0;
    bool mbLoggedIn = false;
    bool mClosedLocally = false;
    qint32 mGuardSeconds = 0;
    qint32 mCommandSeconds = 0;
    QByteArray msUserName;
    QByteArray msPassword;
    QByteArray msPrompt;
    qsizetype mPromptScannedUpTo = 0;
    bool mPromptSeen = false;
    // Events held while a blocking call runs.
    std::deque<std::function<void()>> mHeld;
    bool mCatchUpPosted = false;
    bool mGuardTickHeld = false;
};
