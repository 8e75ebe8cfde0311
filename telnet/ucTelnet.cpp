#include "ucTelnet.h"

#include "BlockingCall.h"
#include "LogSink.h"
#include "TelnetConstants.h"

#include <QSignalBlocker>

#include <algorithm>
#include <cerrno>
#include <utility>

using namespace TelnetConstants;

namespace {

// The number the Error event carries (see ucTelnet.h).
int errorNumber(QAbstractSocket::SocketError error)
{
    return error == QAbstractSocket::ConnectionRefusedError ? ECONNREFUSED : 10000 + static_cast<int>(error);
}

// A log-in prompt counts only at the end of what has arrived, with nothing but blanks after it:
// "Last login: Sun Dec  6 12:28" after the password is no prompt.
bool endsWithPrompt(const QByteArray &received, QByteArrayView prompt)
{
    const qsizetype at = received.lastIndexOf(prompt);
    return at >= 0 && std::all_of(received.begin() + at + prompt.size(), received.end(),
                                  [](char c) { return c == ' ' || c == '\t'; });
}

} // namespace

ucTelnet::ucTelnet(LogSink &log, QObject *parent) : QObject(parent), mLog(log), mRxBuffer(log)
{
    tmrGuard.setInterval(1000);
    connect(&tmrGuard, &QTimer::timeout, this, [this] {
        if (std::exchange(mGuardTickHeld, true))
            return;
        handleOrHold([this] {
            mGuardTickHeld = false;
            guardTick();
        });
    });
    connect(&wskConnection, &QTcpSocket::connected, this,
            [this] { handleOrHold([this] { wskConnection_Connect(); }); });
    // Received bytes are decoded from the event loop, not inside the socket's readyRead: a
    // handler that waits with events (the engine's steps do) then still hears of bytes that
    // arrive meanwhile, which the socket would not announce to a readyRead handler still running.
    connect(
        &wskConnection, &QTcpSocket::readyRead, this, [this] { handleOrHold([this] { readPending(); }); },
        Qt::QueuedConnection);
    connect(&wskConnection, &QTcpSocket::disconnected, this,
            [this] { handleOrHold([this] { wskConnection_Close(); }); });
    connect(&wskConnection, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // The server closing the connection is reported by the Close handler, not as an error.
        if (error != QAbstractSocket::RemoteHostClosedError)
            handleOrHold([this, number = errorNumber(error), description = wskConnection.errorString()] {
                wskConnection_Error(number, description);
            });
    });
    connect(&wskConnection, &QTcpSocket::bytesWritten, this, [this](qint64 written) {
        handleOrHold([this, written, remaining = wskConnection.bytesToWrite()] {
            wskConnection_SendProgress(written, remaining);
        });
    });
}

ucTelnet::~ucTelnet()
{
    // Closing the socket on the way out is no event of the session's.
    wskConnection.disconnect(this);
}

bool ucTelnet::OpenConnection()
{
    mLog.Log_Add(">>OpenConnection");
    mbLoggedIn = false;
    mClosedLocally = false;
    // A new connection is a new session: it logs in again from the start, and nothing left over
    // from an earlier connection (text, half a unit in the ring) is taken for its data.
    mState = TL_STAT_IDLE;
    clearCaptured();
    mRxBuffer.Init();
    mHeld.clear();
    mGuardTickHeld = false;
    if (wskConnection.state() != QAbstractSocket::UnconnectedState) {
        const QSignalBlocker quiet(wskConnection);
        wskConnection.abort();
    }
    wskConnection.connectToHost(mRemoteHost, static_cast<quint16>(mRemotePort));
    mLog.Log_Add("<<OpenConnection");
    return true;
}

bool ucTelnet::SendCommand(const QString &sCommand, qint32 lSeconds)
{
    mLog.Log_Add("\r\n>>SendCommand(" + sCommand.toLatin1() + ')');
    mCommandSeconds = lSeconds;
    sendLine(sCommand.toLatin1(), lSeconds);
    mLog.Log_Add("\r\n<<SendCommand=(True)");
    return true;
}

void ucTelnet::SendUserName(qint32 lSeconds)
{
    mLog.Log_Add("\r\n>>SendUserName()");
    sendLine(msUserName, lSeconds);
    mLog.Log_Add("\r\n<<SendUserName()");
}

void ucTelnet::SendPassword(qint32 lSeconds)
{
    mLog.Log_Add("\r\n>>SendPassword()");
    sendLine(msPassword, lSeconds);
    mLog.Log_Add("\r\n<<SendPassword()");
}

void ucTelnet::sendLine(const QByteArray &text, qint32 lSeconds)
{
    clearCaptured();
    // A line sent while the connection is down is lost; the guard then ends the command.
    if (wskConnection.state() == QAbstractSocket::ConnectedState)
        wskConnection.write(text + "\r\n");
    Guard_Start(lSeconds);
}

QString ucTelnet::Captured()
{
    mLog.Log_Add("\r\n>>Captured()");
    mLog.Log_Add("\r\n<<Captured=(" + msCaptured + ')');
    return QString::fromLatin1(msCaptured);
}

void ucTelnet::Disconnect()
{
    mLog.Log_Add("\r\n>>Disconnect()");
    // Closing our own end is not the server's Close, even when the socket reports it later,
    // after what was still queued for sending has gone out.
    mClosedLocally = true;
    wskConnection.close();
    mLog.Log_Add("\r\n<<Disconnect");
}

void ucTelnet::Process_Input()
{
    mLog.Log_Add("\r\n>>Process_Input [" + QByteArray::number(mState) + ']');
    switch (mState) {
    case TL_STAT_IDLE:
        mLog.Log_Add("\r\n~TL_STAT_IDLE");
        mState = TL_STAT_CONNECTED;
        // A daemon may send its option requests and "login: " in one arrival and then wait, so
        // the first arrival is examined as well.
        examineLogInText();
        break;
    case TL_STAT_CONNECTED:
        examineLogInText();
        break;
    case TL_STAT_OPENED:
        mLog.Log_Add("\r\n~TL_STAT_OPENED");
        if (capturedHasPrompt()) {
            mLog.Log_Add("\r\n~>>Captured:" + msCaptured + "\r\n~<<Captured");
            Guard_Stop();
            emit CommandPerformed();
        }
        break;
    default:
        mLog.Log_Add("\r\n*** Unknown TL_STATE_" + QByteArray::number(mState));
        break;
    }
    mLog.Log_Add("\r\n<<Process_Input");
}

void ucTelnet::examineLogInText()
{
    mLog.Log_Add("\r\n~TL_STAT_CONNECTED");
    if (mbLoggedIn)
        return;
    if (capturedHasPrompt()) {
        mState = TL_STAT_OPENED;
        mbLoggedIn = true;
        emit OpenSuccess();
    } else if (endsWithPrompt(msCaptured, "login: ")) {
        SendUserName(0);
    } else if (endsWithPrompt(msCaptured, "Password: ")) {
        SendPassword(0);
    } else {
        mLog.Log_Add("\r\n* " + QByteArray::number(mState));
    }
}

void ucTelnet::clearCaptured()
{
    msCaptured.clear();
    resetPromptScan();
}

bool ucTelnet::capturedHasPrompt()
{
    // The captured text only grows between two sends, so only its new end needs looking at; a
    // long output is then scanned once, not once per arrival.
    if (!mPromptSeen) {
        const qsizetype from = std::max<qsizetype>(0, mPromptScannedUpTo - msPrompt.size() + 1);
        mPromptSeen = msCaptured.indexOf(msPrompt, from) >= 0;
        mPromptScannedUpTo = msCaptured.size();
    }
    return mPromptSeen;
}

void ucTelnet::Guard_Start(qint32 n)
{
    tmrGuard.stop();
    mGuardSeconds = n;
    if (n > 0)
        tmrGuard.start();
}

void ucTelnet::Guard_Stop()
{
    tmrGuard.stop();
}

void ucTelnet::guardTick()
{
    --mGuardSeconds;
    if (mGuardSeconds <= 0) {
        Guard_Stop();
        emit Timeout();
    }
}

void ucTelnet::handleOrHold(std::function<void()> handler)
{
    if (!blockingCallRunning() && mHeld.empty()) {
        handler();
        return;
    }
    mHeld.push_back(std::move(handler));
    postCatchUp();
}

void ucTelnet::postCatchUp()
{
    if (!std::exchange(mCatchUpPosted, true))
        afterBlockingCalls(this, [this] { catchUp(); });
}

void ucTelnet::catchUp()
{
    mCatchUpPosted = false;
    if (blockingCallRunning()) {
        postCatchUp();
        return;
    }
    // A handler may wait with events or run a blocking call of its own; what arrives meanwhile
    // queues up behind the events still held.
    while (!mHeld.empty()) {
        const std::function<void()> handler = std::move(mHeld.front());
        mHeld.pop_front();
        handler();
    }
}

void ucTelnet::readPending()
{
    // Take no more than the ring can hold, decode it, and go on until the socket has nothing
    // left: an arrival of any size loses no byte.
    while (wskConnection.bytesAvailable() > 0 && mRxBuffer.freeSpace() > 0) {
        const qint64 chunk = std::min<qint64>(wskConnection.bytesAvailable(), mRxBuffer.freeSpace());
        wskConnection_DataArrival(wskConnection.read(chunk));
    }
}

void ucTelnet::wskConnection_Connect()
{
    mLog.Log_Add("\r\n>>wskConnection_Connect()");
    mLog.Log_Add("\r\n<<wskConnection_Connect");
}

void ucTelnet::wskConnection_DataArrival(const QByteArray &data)
{
    mLog.Log_Add("\r\n>>wskConnection_DataArrival(" + QByteArray::number(data.size()) + ')');
    DataArrival(data);
    Process_RxBuffer();
    mLog.Log_Add("\r\n<<wskConnection_DataArrival");
}

void ucTelnet::wskConnection_Close()
{
    if (mClosedLocally)
        return;
    mLog.Log_Add("\r\n>>wskConnection_Close()");
    // What the server sent before it closed is decoded first.
    readPending();
    wskConnection.close();
    mLog.Log_Add("\r\n<<wskConnection_Close");
}

void ucTelnet::wskConnection_Error(int number, const QString &description)
{
    mLog.Log_Add("\r\n>>wskConnection_Error(" + QByteArray::number(number) + ',' + description.toUtf8() + ',' +
                 QByteArray::number(number) + ",wskConnection,,0,False)");
    emit Error(number, description);
    mLog.Log_Add("\r\n<<wskConnection_Error");
}

void ucTelnet::wskConnection_SendProgress(qint64 bytesSent, qint64 bytesRemaining)
{
    mLog.Log_Add("\r\n>>wskConnection_SendProgress(" + QByteArray::number(bytesSent) + ',' +
                 QByteArray::number(bytesRemaining) + ')');
    mLog.Log_Add("\r\n<<wskConnection_SendProgress");
    if (bytesRemaining == 0)
        wskConnection_SendComplete();
}

void ucTelnet::wskConnection_SendComplete()
{
    mLog.Log_Add("\r\n>>wskConnection_SendComplete()");
    mLog.Log_Add("\r\n<<wskConnection_SendComplete");
}
