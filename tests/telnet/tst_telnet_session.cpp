#include "ServerProcess.h"
#include "TelnetFixture.h"
#include "cFtp.h"

#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

namespace {

// The log of a log-in and one command, stamps aside, line ends shown as \n.
const QString kTranscript(
    ">>OpenConnection<<OpenConnection\n>>wskConnection_Connect()\n<<wskConnection_Connect"
    "\n>>wskConnection_DataArrival(3)\n>>DataArrival(3)=[FF FD 01]~[...]\n<<DataArrival"
    "\nTLNT_DO TLNT_OPT_ECHO\n>>RxBuffer_Compact() [0,3, 3]\n<<RxBuffer_Compact() [0,0,0]"
    "\n>>Process_Input [0]\n~TL_STAT_IDLE\n~TL_STAT_CONNECTED\n* 1\n<<Process_Input"
    "\n<<wskConnection_DataArrival\n>>wskConnection_SendProgress(3,0)\n<<wskConnection_SendProgress"
    "\n>>wskConnection_SendComplete()\n<<wskConnection_SendComplete\n>>wskConnection_DataArrival(7)"
    "\n>>DataArrival(7)=[6C 6F 67 69 6E 3A 20]~[login: ]\n<<DataArrival\n>>Process_Input [1]"
    "\n~TL_STAT_CONNECTED\n>>SendUserName()\n<<SendUserName()\n<<Process_Input"
    "\n<<wskConnection_DataArrival\n>>wskConnection_SendProgress(6,0)\n<<wskConnection_SendProgress"
    "\n>>wskConnection_SendComplete()\n<<wskConnection_SendComplete\n>>wskConnection_DataArrival(10)"
    "\n>>DataArrival(10)=[50 61 73 73 77 6F 72 64 3A 20]~[Password: ]\n<<DataArrival\n>>Process_Input [1]"
    "\n~TL_STAT_CONNECTED\n>>SendPassword()\n<<SendPassword()\n<<Process_Input"
    "\n<<wskConnection_DataArrival\n>>wskConnection_SendProgress(9,0)\n<<wskConnection_SendProgress"
    "\n>>wskConnection_SendComplete()\n<<wskConnection_SendComplete\n>>wskConnection_DataArrival(13)"
    "\n>>DataArrival(13)=[0D 0A 62 61 73 68 2D 32 2E 30 34 23 20]~[..bash-2.04# ]\n<<DataArrival"
    "\n>>RxBuffer_Compact() [11,19, 30]\n<<RxBuffer_Compact() [11,0,11]\n>>Process_Input [1]"
    "\n~TL_STAT_CONNECTED\n<<Process_Input\n<<wskConnection_DataArrival\n>>SendCommand(ls)"
    "\n<<SendCommand=(True)\n>>wskConnection_SendProgress(4,0)\n<<wskConnection_SendProgress"
    "\n>>wskConnection_SendComplete()\n<<wskConnection_SendComplete\n>>wskConnection_DataArrival(20)"
    "\n>>DataArrival(20)=[6C 73 0D 0A 62 69 6E 0D 0A 62 61 73 68 2D 32 2E 30 34 23 20]~[ls..bin..bash-2.04# ]"
    "\n<<DataArrival\n>>RxBuffer_Compact() [16,15, 31]\n<<RxBuffer_Compact() [16,0,16]"
    "\n>>RxBuffer_Compact() [11,5, 16]\n<<RxBuffer_Compact() [11,0,11]\n>>Process_Input [2]"
    "\n~TL_STAT_OPENED\n~>>Captured:ls\nbin\nbash-2.04# \n~<<Captured\n<<Process_Input"
    "\n<<wskConnection_DataArrival\n>>Captured()\n<<Captured=(ls\nbin\nbash-2.04# )");

QString transcript(const MemoryLog &log)
{
    return QString::fromLatin1(log.joined()).replace("\r\n", "\n");
}

} // namespace

class TestTelnetSession : public QObject
{
    Q_OBJECT

private slots:
    void logInAndOneCommand()
    {
        TelnetFixture f;
        QSignalSpy openSuccess(&f.telnet, &ucTelnet::OpenSuccess);
        QSignalSpy performed(&f.telnet, &ucTelnet::CommandPerformed);
        QVERIFY(f.connect());
        f.peer.send("\xff\xfd\x01");
        QVERIFY(f.peer.waitForReceived(3));
        f.peer.send("login: ");
        QVERIFY(f.peer.waitForReceived(3 + 6));
        f.peer.send("Password: ");
        QVERIFY(f.peer.waitForReceived(9 + 9));
        f.peer.send("\r\nbash-2.04# ");
        QVERIFY(QTest::qWaitFor([&] { return openSuccess.count() == 1; }, 5000));
        f.telnet.SendCommand("ls", 60);
        QVERIFY(f.peer.waitForReceived(18 + 4));
        f.peer.send("ls\r\nbin\r\nbash-2.04# ");
        QVERIFY(QTest::qWaitFor([&] { return performed.count() == 1; }, 5000));
        QCOMPARE(f.telnet.Captured(), QString("ls\r\nbin\r\nbash-2.04# "));
        QCOMPARE(f.peer.received(), QByteArray("\xff\xfc\x01root\r\nk8r2Mq5\r\nls\r\n"));
        QCOMPARE(transcript(f.log), kTranscript);
    }

    // What the control does with the text received while it logs in: the entry after its state's.
    void logInPrompts_data()
    {
        QTest::addColumn<QByteArray>("arrival");
        QTest::addColumn<QByteArray>("action");
        QTest::newRow("options and log-in prompt at once")
            << QByteArray("\xff\xfd\x18QD8400-0042 login: ") << QByteArray("\r\n>>SendUserName()");
        QTest::newRow("blanks after the prompt") << QByteArray("login:  \t") << QByteArray("\r\n>>SendUserName()");
        QTest::newRow("log-in refused") << QByteArray("\r\nLogin incorrect\r\nQD8400-0042 login: ")
                                        << QByteArray("\r\n>>SendUserName()");
        QTest::newRow("Last login: is no prompt")
            << QByteArray("Last login: Sun Dec  6 12:28 from 10.0.0.9\r\n") << QByteArray("\r\n* 1");
        QTest::newRow("password prompt") << QByteArray("Password: ") << QByteArray("\r\n>>SendPassword()");
        QTest::newRow("password after log-in")
            << QByteArray("login: root\r\nPassword: ") << QByteArray("\r\n>>SendPassword()");
        QTest::newRow("shell prompt") << QByteArray("\r\nbash-2.04# ") << QByteArray("\r\n<<Process_Input");
        QTest::newRow("upper-case shell prompt") << QByteArray("BASH-2.04# ") << QByteArray("\r\n* 1");
    }

    void logInPrompts()
    {
        QFETCH(QByteArray, arrival);
        QFETCH(QByteArray, action);
        TelnetFixture f;
        f.feed(arrival);
        const qsizetype at = f.log.entries.indexOf("\r\n~TL_STAT_CONNECTED");
        QVERIFY(at > 0);
        QCOMPARE(f.log.entries.value(at + 1), action);
        QCOMPARE(f.telnet.state(), action.endsWith("<<Process_Input") ? 2 : 1);
    }

    void promptSplitAcrossArrivals()
    {
        TelnetFixture f;
        QSignalSpy performed(&f.telnet, &ucTelnet::CommandPerformed);
        QVERIFY(f.openSession());
        f.telnet.SendCommand("pwd", 60);
        f.feed("pwd\r\n/mnt/nand1\r\nbash-2.");
        f.feed("04");
        QCOMPARE(performed.count(), 0);
        f.feed("#");
        QCOMPARE(performed.count(), 1);
        // More data before the next command raises it again for the same command.
        f.feed(" ");
        QCOMPARE(performed.count(), 2);
        QCOMPARE(f.telnet.Captured(), QString("pwd\r\n/mnt/nand1\r\nbash-2.04# "));
    }

    void guard_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("then"); // 0 nothing, 1 the prompt, 2 Disconnect
        QTest::addColumn<int>("timeouts");
        QTest::newRow("five ticks") << 5 << 0 << 1;
        QTest::newRow("0 seconds never") << 0 << 0 << 0;
        QTest::newRow("the prompt disarms") << 5 << 1 << 0;
        QTest::newRow("Disconnect leaves it armed") << 5 << 2 << 1;
    }

    void guard()
    {
        QFETCH(int, seconds);
        QFETCH(int, then);
        QFETCH(int, timeouts);
        TelnetFixture f;
        QVERIFY(f.openSession());
        f.telnet.setGuardTickMs(20);
        QElapsedTimer clock;
        qint64 firedAt = -1; // a second Timeout sets 0, which fails the lower bound
        QObject::connect(&f.telnet, &ucTelnet::Timeout, [&] { firedAt = firedAt < 0 ? clock.elapsed() : 0; });
        clock.start();
        f.telnet.SendCommand("sleep 100", seconds);
        if (then == 1)
            f.feed("sleep 100\r\nbash-2.04# ");
        if (then == 2)
            f.telnet.Disconnect();
        QTest::qWait(600);
        QCOMPARE(firedAt >= 0, timeouts == 1);
        if (timeouts)
            QVERIFY2(firedAt >= 5 * 20 - 5 && firedAt < 600, "Timeout once, after five ticks");
        QVERIFY(!f.log.contains("\r\n>>wskConnection_Close()"));
    }

    void refusedConnectionRaisesErrorWithItsErrno()
    {
        TelnetFixture f;
        QSignalSpy error(&f.telnet, &ucTelnet::Error);
        f.telnet.setRemotePort(ScriptedPeer().port());
        QVERIFY(f.telnet.OpenConnection());
        QVERIFY(QTest::qWaitFor([&] { return error.count() == 1; }, 5000));
        QCOMPARE(error.at(0), (QVariantList{111, "Connection refused"}));
        QVERIFY(f.log.contains("\r\n>>wskConnection_Error(111,Connection refused,111,wskConnection,,0,False)"));
        QCOMPARE(f.log.entries.last(), QByteArray("\r\n<<wskConnection_Error"));
    }

    void arrivalsLargerThanTheRing()
    {
        TelnetFixture f;
        QSignalSpy performed(&f.telnet, &ucTelnet::CommandPerformed);
        QVERIFY(f.openSession());
        f.telnet.SendCommand("cat big", 60);
        QByteArray output = "cat big\r\n";
        for (int line = 0; output.size() < 100 * 1024; ++line)
            output += "line " + QByteArray::number(line) + " of a long listing\r\n";
        output += "bash-2.04# ";
        // One write: the control finds three times more pending than its ring holds.
        f.peer.send(output);
        QVERIFY(QTest::qWaitFor([&] { return performed.count() >= 1; }, 20000));
        QCOMPARE(f.telnet.Captured().toLatin1(), output);
        QVERIFY(f.terminal.endsWith(output));
    }

    void secondOpenConnectionLogsInAgain()
    {
        TelnetFixture f;
        QSignalSpy openSuccess(&f.telnet, &ucTelnet::OpenSuccess);
        QVERIFY(f.openSession());
        f.feed("\xff");
        ScriptedPeer second;
        f.telnet.setRemotePort(second.port());
        f.telnet.OpenConnection();
        QVERIFY(second.waitForClient());
        QCOMPARE(f.telnet.rxBuffer().count(), 0);
        second.send("login: ");
        QVERIFY(second.waitForReceived(6));
        second.send("root\r\nPassword: ");
        QVERIFY(second.waitForReceived(15));
        second.send("\r\nbash-2.04# ");
        QVERIFY(QTest::qWaitFor([&] { return openSuccess.count() == 2; }, 5000));
    }

    // During an FTP transfer the session holds still: the peer's output and its close are handled
    // after the transfer, in order, and of the guard's ticks meanwhile only one.
    void socketHoldsStillDuringATransfer()
    {
        FtpServerProcess server({"--ftp-stall-upload", "big.tar:65536"});
        TelnetFixture f;
        QSignalSpy performed(&f.telnet, &ucTelnet::CommandPerformed);
        QSignalSpy timeout(&f.telnet, &ucTelnet::Timeout);
        QVERIFY(f.openSession());
        f.telnet.setGuardTickMs(20);
        f.telnet.SendCommand("cat", 2);
        cFtp ftp(f.log);
        ftp.sServerName = "127.0.0.1";
        ftp.sUserID = "root";
        ftp.sPassword = "k8r2Mq5";
        ftp.setPort(server.port());
        ftp.setTimeouts(5, 1);
        QTemporaryFile local;
        QVERIFY(local.open());
        local.write(QByteArray(16 << 20, 'x'));
        local.close();
        bool sent = false;
        QObject::connect(&ftp, &cFtp::PutProgress, [&] {
            if (!std::exchange(sent, true)) {
                f.peer.send("cat\r\nfirst\r\nbash-2.04# ");
                f.peer.close();
            }
        });
        f.log.Log_Add("\r\n>>transfer");
        QVERIFY(!ftp.bPutFile(local.fileName(), "big.tar"));
        f.log.Log_Add("\r\n<<transfer");
        QVERIFY(sent);
        QVERIFY(QTest::qWaitFor([&] { return f.log.contains("\r\n<<wskConnection_Close"); }, 5000));
        QTest::qWait(100);
        const QList<QByteArray> &log = f.log.entries;
        const qsizetype start = log.indexOf("\r\n>>transfer");
        const qsizetype end = log.indexOf("\r\n<<transfer");
        for (qsizetype i = start + 1; i < end; ++i)
            QVERIFY2(log[i].startsWith("\r\n[Error="), log[i].constData());
        const qsizetype decoded = log.indexOf("\r\n~>>Captured:cat\r\nfirst\r\nbash-2.04# \r\n~<<Captured");
        QVERIFY(end < decoded && decoded < log.indexOf("\r\n>>wskConnection_Close()"));
        QCOMPARE(performed.count(), 1);
        QCOMPARE(timeout.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestTelnetSession)
#include "tst_telnet_session.moc"
