#pragma once

#include "MemoryLog.h"
#include "ScriptedPeer.h"
#include "ucTelnet.h"

#include <QTest>

// A control connected to a scripted peer on loopback, its trace kept in memory.
struct TelnetFixture
{
    MemoryLog log;
    ScriptedPeer peer;
    ucTelnet telnet{log};
    QByteArray terminal;

    TelnetFixture()
    {
        telnet.setRemoteHost("127.0.0.1");
        telnet.setRemotePort(peer.port());
        telnet.setUserName("root");
        telnet.setPassword("k8r2Mq5");
        telnet.setPrompt("bash-2.04#");
        telnet.setTerminalView([this](QByteArrayView text) { terminal.append(text); });
    }

    bool connect()
    {
        telnet.OpenConnection();
        return peer.waitForClient() &&
               QTest::qWaitFor([&] { return log.contains("\r\n<<wskConnection_Connect"); }, 5000);
    }

    // Connected and logged in at once: the first arrival is the shell prompt.
    bool openSession()
    {
        const bool connected = connect();
        feed("bash-2.04# ");
        return connected && telnet.state() == 2;
    }

    // Feeds bytes straight into the decoder, as one arrival.
    void feed(const QByteArray &bytes)
    {
        telnet.DataArrival(bytes);
        telnet.Process_RxBuffer();
    }
};
