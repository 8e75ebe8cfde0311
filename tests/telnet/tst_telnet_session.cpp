#include "TelnetConstants.h"
#include "TelnetFixture.h"

#include <QSignalSpy>
#include <QTest>

using namespace TelnetConstants;

namespace {

const QByteArray kOptionRequests("\xff\xfd\x18\xff\xfd\x20\xff\xfb\x01\xff\xfb\x03\xff\xfd\x1f");
const QByteArray kRefusals("\xff\xfc\x18\xff\xfc\x20\xff\xfc\x01\xff\xfc\x03\xff\xfc\x1f");
const QByteArray kPrompt("bash-2.04# ");

// Walks the log-in dialogue of a daemon that sends its option requests first, then the prompts.
bool logIn(TelnetFixture &fixture, QSignalSpy &openSuccess)
{
    if (!fixture.connect())
        return false;
    fixture.peer.send(kOptionRequests);
    if (!fixture.peer.waitForReceived(kRefusals.size()))
        return false;
    fixture.peer.send("\r\nQD8400 maintenance\r\nQD8400-0042 login: ");
    if (!fixture.peer.waitForReceived(kRefusals.size() + 6))
        return false;
    fixture.peer.send("root\r\nPassword: ");
    if (!fixture.peer.waitForReceived(kRefusals.size() + 6 + 9))
        return false;
    fixture.peer.send("\r\n" + kPrompt);
    return QTest::qWaitFor([&] { return openSuccess.count() == 1; }, 5000);
}

} // namespace

class TestTelnetSession : public QObject
{
    Q_OBJECT

private slots:
    void logsInAndRaisesOpenSuccessAtThePrompt()
    {
        TelnetFixture fixture;
        QSignalSpy openSuccess(&fixture.telnet, &ucTelnet::OpenSuccess);
        QSignalSpy performed(&fixture.telnet, &ucTelnet::CommandPerformed);
        QVERIFY(logIn(fixture, openSuccess));
        QCOMPARE(fixture.peer.received(), kRefusals + "root\r\nk8r2Mq5\r\n");
        QCOMPARE(fixture.telnet.state(), TL_STAT_OPENED);
        QCOMPARE(performed.count(), 0);
        QVERIFY(fixture.log.contains(">>OpenConnection"));
        QVERIFY(fixture.log.contains("\r\n>>SendUserName()"));
        QVERIFY(fixture.log.contains("\r\n<<SendPassword()"));
        QVERIFY(!fixture.log.joined().contains("k8r2Mq5"));
    }

    void optionRequestsAndLoginPromptInOneArrival()
    {
        TelnetFixture fixture;
        QSignalSpy openSuccess(&fixture.telnet, &ucTelnet::OpenSuccess);
        QVERIFY(fixture.connect());
        fixture.peer.send(kOptionRequests + "QD8400-0042 login: ");
        QVERIFY(fixture.peer.waitForReceived(kRefusals.size() + 6));
        QCOMPARE(fixture.peer.received(), kRefusals + "root\r\n");
        QVERIFY(fixture.log.contains("\r\n~TL_STAT_IDLE"));
    }

    void wrongPasswordIsAnsweredAgainAtEachPrompt()
    {
        TelnetFixture fixture;
        QVERIFY(fixture.connect());
        fixture.peer.send("login: ");
        QVERIFY(fixture.peer.waitForReceived(6));
        fixture.peer.send("root\r\nPassword: ");
        QVERIFY(fixture.peer.waitForReceived(15));
        fixture.peer.send("\r\nLogin incorrect\r\nQD8400-0042 login: ");
        QVERIFY(fixture.peer.waitForReceived(21));
        QCOMPARE(fixture.peer.received(), QByteArray("root\r\nk8r2Mq5\r\nroot\r\n"));
        QCOMPARE(fixture.telnet.state(), TL_STAT_CONNECTED);
    }

    void upperCasePromptIsNotRecognised()
    {
        TelnetFixture fixture;
        QSignalSpy openSuccess(&fixture.telnet, &ucTelnet::OpenSuccess);
        QVERIFY(fixture.connect());
        fixture.peer.send("BASH-2.04# ");
        QVERIFY(QTest::qWaitFor([&] { return fixture.log.contains("\r\n* 1"); }, 5000));
        QCOMPARE(openSuccess.count(), 0);
    }

    void commandCycle()
    {
        TelnetFixture fixture;
        QSignalSpy openSuccess(&fixture.telnet, &ucTelnet::OpenSuccess);
        QSignalSpy performed(&fixture.telnet, &ucTelnet::CommandPerformed);
        QVERIFY(logIn(fixture, openSuccess));
        fixture.peer.takeReceived();

        QVERIFY(fixture.telnet.SendCommand("ls", 60));
        QVERIFY(fixture.peer.waitForReceived(4));
        QCOMPARE(fixture.peer.received(), QByteArray("ls\r\n"));
        QCOMPARE(fixture.telnet.Captured(), QString());
        fixture.peer.send("ls\r\nbzimage\r\n" + kPrompt);
        QVERIFY(QTest::qWaitFor([&] { return performed.count() == 1; }, 5000));
        QCOMPARE(fixture.telnet.Captured(), QString("ls\r\nbzimage\r\nbash-2.04# "));
        QCOMPARE(fixture.telnet.Captured(), QString("ls\r\nbzimage\r\nbash-2.04# "));
        QVERIFY(fixture.log.contains("\r\n>>SendCommand(ls)"));
        QVERIFY(fixture.log.contains("\r\n<<SendCommand=(True)"));
        QVERIFY(fixture.log.contains("\r\n~>>Captured:ls\r\nbzimage\r\nbash-2.04# \r\n~<<Captured"));
        QVERIFY(fixture.log.contains("\r\n<<Captured=(ls\r\nbzimage\r\nbash-2.04# )"));

        fixture.peer.takeReceived();
        QVERIFY(fixture.telnet.SendCommand("", 60));
        QVERIFY(fixture.peer.waitForReceived(2));
        QCOMPARE(fixture.peer.received(), QByteArray("\r\n"));
    }

    void promptSplitAcrossArrivals()
    {
        TelnetFixture fixture;
        QSignalSpy openSuccess(&fixture.telnet, &ucTelnet::OpenSuccess);
        QSignalSpy performed(&fixture.telnet, &ucTelnet::CommandPerformed);
        QVERIFY(logIn(fixture, openSuccess));
        fixture.telnet.SendCommand("pwd", 60);
        fixture.feed("pwd\r\n/mnt/nand1\r\nbash-2.");
        QCOMPARE(performed.count(), 0);
        fixture.feed("04");
        QCOMPARE(performed.count(), 0);
        fixture.feed("#");
        QCOMPARE(performed.count(), 1);
        // More data before the next command raises it again for the same command.
        fixture.feed(" ");
        QCOMPARE(performed.count(), 2);
        QCOMPARE(fixture.telnet.Captured(), QString("pwd\r\n/mnt/nand1\r\nbash-2.04# "));
    }

    void guardRaisesTimeoutAfterItsTicks()
    {
        TelnetFixture fixture;
        QSignalSpy openSuccess(&fixture.telnet, &ucTelnet::OpenSuccess);
        QSignalSpy timeout(&fixture.telnet, &ucTelnet::Timeout);
        QVERIFY(logIn(fixture, openSuccess));
        fixture.telnet.setGuardTickMs(20);

        QElapsedTimer clock;
        clock.start();
        fixture.telnet.SendCommand("sleep 100", 5);
        QVERIFY(QTest::qWaitFor([&] { return timeout.count() == 1; }, 5000));
        QVERIFY2(clock.elapsed() >= 5 * 20 - 5, "Timeout came before five ticks");
        QTest::qWait(150);
        QCOMPARE(timeout.count(), 1);

        // No guard at all for 0 seconds, and the prompt disarms it.
        fixture.telnet.SendCommand("sleep 100", 0);
        fixture.telnet.SendCommand("true", 3);
        fixture.feed("true\r\n" + kPrompt);
        QTest::qWait(200);
        QCOMPARE(timeout.count(), 1);
    }

    void disconnectLeavesTheGuardArmed()
    {
        TelnetFixture fixture;
        QSignalSpy openSuccess(&fixture.telnet, &ucTelnet::OpenSuccess);
        QSignalSpy timeout(&fixture.telnet, &ucTelnet::Timeout);
        QSignalSpy error(&fixture.telnet, &ucTelnet::Error);
        QVERIFY(logIn(fixture, openSuccess));
        fixture.telnet.setGuardTickMs(10);
        fixture.telnet.SendCommand("reboot", 3);
        fixture.telnet.Disconnect();
        QVERIFY(QTest::qWaitFor([&] { return timeout.count() == 1; }, 5000));
        QCOMPARE(error.count(), 0);
        QVERIFY(fixture.log.contains("\r\n<<Disconnect"));
        QVERIFY(!fixture.log.contains("\r\n>>wskConnection_Close()"));
    }

    void serverCloseIsNoError()
    {
        TelnetFixture fixture;
        QSignalSpy openSuccess(&fixture.telnet, &ucTelnet::OpenSuccess);
        QSignalSpy error(&fixture.telnet, &ucTelnet::Error);
        QSignalSpy performed(&fixture.telnet, &ucTelnet::CommandPerformed);
        QVERIFY(logIn(fixture, openSuccess));
        fixture.telnet.SendCommand("reboot", 60);
        fixture.peer.send("reboot\r\n" + kPrompt);
        fixture.peer.close();
        QVERIFY(QTest::qWaitFor([&] { return fixture.log.contains("\r\n<<wskConnection_Close"); }, 5000));
        QCOMPARE(performed.count(), 1);
        QCOMPARE(error.count(), 0);
    }

    void refusedConnectionRaisesError()
    {
        MemoryLog log;
        ucTelnet telnet(log);
        QSignalSpy error(&telnet, &ucTelnet::Error);
        quint16 closedPort = 0;
        {
            ScriptedPeer unused;
            closedPort = unused.port();
        }
        telnet.setRemoteHost("127.0.0.1");
        telnet.setRemotePort(closedPort);
        QVERIFY(telnet.OpenConnection());
        QVERIFY(QTest::qWaitFor([&] { return error.count() == 1; }, 5000));
        QCOMPARE(error.at(0).at(0).toInt(), int(QAbstractSocket::ConnectionRefusedError));
        const QByteArray description = error.at(0).at(1).toString().toLatin1();
        QVERIFY(!description.isEmpty());
        QVERIFY(log.contains("\r\n>>wskConnection_Error(0," + description + ",0,wskConnection,,0,False)"));
        QVERIFY(log.contains("\r\n<<wskConnection_Error"));
    }

    void largeArrivalLosesNoByte()
    {
        TelnetFixture fixture;
        QSignalSpy openSuccess(&fixture.telnet, &ucTelnet::OpenSuccess);
        QSignalSpy performed(&fixture.telnet, &ucTelnet::CommandPerformed);
        QVERIFY(logIn(fixture, openSuccess));
        fixture.telnet.SendCommand("cat big", 60);
        QByteArray output = "cat big\r\n";
        for (int line = 0; output.size() < 100 * 1024; ++line)
            output += "line " + QByteArray::number(line) + " of a long listing\r\n";
        output += kPrompt;
        // One write: the control finds far more pending than its ring holds.
        fixture.peer.send(output);
        QVERIFY(QTest::qWaitFor([&] { return performed.count() >= 1; }, 20000));
        QCOMPARE(fixture.telnet.Captured().toLatin1(), output);
        QCOMPARE(fixture.terminal.right(output.size()), output);
    }

    void secondOpenConnectionLogsInAgain()
    {
        TelnetFixture fixture;
        QSignalSpy openSuccess(&fixture.telnet, &ucTelnet::OpenSuccess);
        QVERIFY(logIn(fixture, openSuccess));
        fixture.feed("\xff");

        ScriptedPeer second;
        fixture.telnet.setRemotePort(second.port());
        fixture.telnet.OpenConnection();
        QVERIFY(second.waitForClient());
        QCOMPARE(fixture.telnet.state(), TL_STAT_IDLE);
        QCOMPARE(fixture.telnet.rxBuffer().count(), 0);
        second.send("QD8400-0042 login: ");
        QVERIFY(second.waitForReceived(6));
        second.send("root\r\nPassword: ");
        QVERIFY(second.waitForReceived(15));
        second.send("\r\n" + kPrompt);
        QVERIFY(QTest::qWaitFor([&] { return openSuccess.count() == 2; }, 5000));
        QCOMPARE(second.received(), QByteArray("root\r\nk8r2Mq5\r\n"));
    }

    void sendTracesProgress()
    {
        TelnetFixture fixture;
        QSignalSpy openSuccess(&fixture.telnet, &ucTelnet::OpenSuccess);
        QVERIFY(logIn(fixture, openSuccess));
        fixture.telnet.SendCommand("pwd", 60);
        QVERIFY(QTest::qWaitFor([&] { return fixture.log.contains("\r\n>>wskConnection_SendProgress(5,0)"); }, 5000));
        QVERIFY(fixture.log.contains("\r\n>>wskConnection_SendComplete()"));
    }
};

QTEST_GUILESS_MAIN(TestTelnetSession)
#include "tst_telnet_session.moc"
