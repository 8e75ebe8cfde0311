#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// The server end of a Telnet connection, played by the test on a loopback address: it accepts one
// connection, sends what the test scripts and collects what the control sends.
class ScriptedPeer
{
public:
    ScriptedPeer() { mServer.listen(QHostAddress::LocalHost, 0); }

    quint16 port() const { return mServer.serverPort(); }

    bool waitForClient(int milliseconds = 5000)
    {
        if (!mClient && QTest::qWaitFor([&] { return mServer.hasPendingConnections(); }, milliseconds))
            mClient = mServer.nextPendingConnection();
        return mClient != nullptr;
    }

    void send(const QByteArray &bytes)
    {
        mClient->write(bytes);
        mClient->flush();
    }

    // Waits until the control has sent at least `size` bytes in all.
    bool waitForReceived(qsizetype size, int milliseconds = 5000)
    {
        return QTest::qWaitFor([&] { return received().size() >= size; }, milliseconds);
    }

    // Waits until the control has closed the connection: everything it sent has arrived.
    bool waitForClose(int milliseconds = 5000)
    {
        return QTest::qWaitFor([&] { return mClient->state() == QAbstractSocket::UnconnectedState; }, milliseconds);
    }

    // Everything received so far.
    QByteArray received() { return mReceived += mClient->readAll(); }

    void close() { mClient->close(); }

private:
    QTcpServer mServer;
    QTcpSocket *mClient = nullptr;
    QByteArray mReceived;
};
