#include "ServerProcess.h"
#include "TelnetFixture.h"
#include "TimerCatch.h"
#include "cFtp.h"

#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

namespace {

// The log of a log-in and one command, stamps aside, line ends shown as \n.
const QString kTranscript(
    ">>OpenConnection<<OpenConnection\n>>wskConnection_Connect()\n<<wskConnection_Connect"
    "\n>>wskConnection_DataArrival(10)\n>>DataArrival(10)=[FF FD 01 6C 6F 67 69 6E 3A 20]~[...login: ]\n<<DataArrival"
    "\nTLNT_DO TLNT_OPT_ECHO\n>>RxBuffer_Compact() [7,3, 10]\n<<RxBuffer_Compact() [7,0,7]\n>>Process_Input [0]"
    "\n~TL_STAT_IDLE\n~TL_STAT_CONNECTED\n>>SendUserName()\n<<SendUserName()\n<<Process_Input"
    "\n<<wskConnection_DataArrival\n>>wskConnection_SendProgress(9,0)\n<<wskConnection_SendProgress"
    "\n>>wskConnection_SendComplete()\n<<wskConnection_SendComplete\n>>wskConnection_DataArrival(10)"
    "\n>>DataArrival(10)=[50 61 73 73 77 6F 72 64 3A 20]~[Password: ]\n<<DataArrival\n>>Process_Input [1]"
    "\n~TL_STAT_CONNECTED\n>>SendPassword()\n<<SendPassword()\n<<Process_Input\n<<wskConnection_DataArrival"
    "\n>>wskConnection_SendProgress(9,0)\n<<wskConnection_SendProgress\n>>wskConnection_SendComplete()"
    "\n<<wskConnection_SendComplete\n>>wskConnection_DataArrival(13)"
    "\n>>DataArrival(13)=[0D 0A 62 61 73 68 2D 32 2E 30 34 23 20]~[..bash-2.04# ]\n<<DataArrival"
    "\n>>RxBuffer_Compact() [11,19, 30]\n<<RxBuffer_Compact() [11,0,11]\n>>Process_Input [1]\n~TL_STAT_CONNECTED"
    "\n>>SendCommand(ls)\n<<SendCommand=(True)\n<<Process_Input\n<<wskConnection_DataArrival"
    "\n>>wskConnection_SendProgress(4,0)\n<<wskConnection_SendProgress\n>>wskConnection_SendComplete()"
    "\n<<wskConnection_SendComplete\n>>wskConnection_DataArrival(20)"
    "\n>>DataArrival(20)=[6C 73 0D 0A 62 69 6E 0D 0A 62 61 73 68 2D 32 2E 30 34 23 20]~[ls..bin..bash-2.04# ]"
    "\n<<DataArrival\n>>RxBuffer_Compact() [16,15, 31]\n<<RxBuffer_Compact() [16,0,16]"
    "\n>>RxBuffer_Compact() [11,5, 16]\n<<RxBuffer_Compact() [11,0,11]\n>>Process_Input [2]\n~TL_STAT_OPENED"
    "\n~>>Captured:ls\nbin\nbash-2.04# \n~<<Captured\n<<Process_Input\n<<wskConnection_DataArrival\n>>Captured()"
    "\n<<Captured=(ls\nbin\nbash-2.04# )");

} // namespace

class TestTelnetSession : public QObject
{
    Q_OBJECT

private slots:
    void logInAndOneCommand()
    {
        TelnetFixture f;
        QSignalSpy performed(&f.telnet, &ucTelnet::CommandPerformed);
        QObject::connect(&f.telnet, &ucTelnet::OpenSuccess, [&] { f.telnet.SendCommand("ls", 60); });
        QVERIFY(f.connect());
        for (const auto &[arrival, sentSoFar] :
             {std::pair{"\xff\xfd\x01login: ", 9}, {"Password: ", 18}, {"\r\nbash-2.04# ", 22}}) {
            f.peer.send(arrival);
            QVERIFY(f.peer.waitForReceived(sentSoFar));
        }
        f.peer.send("ls\r\nbin\r\nbash-2.04# ");
        QVERIFY(QTest::qWaitFor([&] { return performed.count() == 1; }, 5000));
        QCOMPARE(f.telnet.Captured(), QString("ls\r\nbin\r\nbash-2.04# "));
        QCOMPARE(f.peer.received(), QByteArray("\xff\xfc\x01root\r\nk8r2Mq5\r\nls\r\n"));
        QCOMPARE(QString::fromLatin1(f.log.joined()).replace("\r\n", "\n"), kTranscript);
    }

    // What the control does with a first arrival: the trace entry after "~TL_STAT_CONNECTED" (the
    // plain prompts: the log-ins above and in tst_wizard's end).
    void logInPrompts_data()
    {
        QTest::addColumn<QByteArray>("arrival");
        QTest::addColumn<QByteArray>("action");
        for (const auto &[name, arrival, action] :
             {std::tuple{"blanks after the prompt", "login:  \t", ">>SendUserName()"},
              {"Last login: is no prompt", "Last login: Sun Dec  6 12:28 from 10.0.0.9\r\n", "* 1"},
              {"password after log-in", "login: root\r\nPassword: ", ">>SendPassword()"},
              {"upper-case shell prompt", "BASH-2.04# ", "* 1"}})
            QTest::newRow(name) << QByteArray(arrival) << QByteArray(action);
    }

    void logInPrompts()
    {
        QFETCH(QByteArray, arrival);
        QFETCH(QByteArray, action);
        TelnetFixture f;
        f.feed(arrival);
        QCOMPARE(f.log.entries.value(f.log.entries.indexOf("\r\n~TL_STAT_CONNECTED") + 1), "\r\n" + action);
        QCOMPARE(f.telnet.state(), action == "<<Process_Input" ? 2 : 1);
    }

    // A command's guard ticked by the test, replacing the guard of the command before (one tick from
    // its end): five seconds give nothing up to the fourth tick, Timeout on the fifth, then no more.
    void guard_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QByteArray>("then");
        QTest::addColumn<bool>("timeout");
        QTest::newRow("five ticks") << 5 << QByteArray() << true;
        QTest::newRow("0 seconds never") << 0 << QByteArray() << false;
        QTest::newRow("Disconnect leaves it armed") << 5 << QByteArray("Disconnect") << true;
        QTest::newRow("the prompt disarms it") << 5 << QByteArray("bash-2.04# ") << false;
    }

    void guard()
    {
        QFETCH(int, seconds);
        QFETCH(QByteArray, then);
        QFETCH(bool, timeout);
        TelnetFixture f;
        QVERIFY(f.openSession());
        TimerCatch guard(3);
        f.telnet.setGuardTickMs(3);
        QSignalSpy timeouts(&f.telnet, &ucTelnet::Timeout);
        f.telnet.SendCommand("sleep 1", 2);
        QVERIFY(QTest::qWaitFor([&] { return guard.timer; }));
        guard.tick();
        f.telnet.SendCommand("sleep 9", seconds);
        if (then == "Disconnect")
            f.telnet.Disconnect();
        else
            f.feed(then);
        for (int tick = 1; tick <= 6; ++tick) {
            guard.tick();
            QCOMPARE(timeouts.count(), timeout && tick >= 5 ? 1 : 0);
        }
        QVERIFY(!f.log.contains("\r\n>>wskConnection_Close()"));
    }

    void refusedConnectionRaisesErrorWithItsErrno()
    {
        TelnetFixture f;
        QSignalSpy error(&f.telnet, &ucTelnet::Error);
        f.telnet.setRemotePort(ScriptedPeer().port());
        f.telnet.OpenConnection();
        QVERIFY(QTest::qWaitFor([&] { return error.count() == 1; }, 5000));
        QCOMPARE(error.at(0), (QVariantList{111, "Connection refused"}));
        QVERIFY(f.log.contains("\r\n>>wskConnection_Error(111,Connection refused,111,wskConnection,,0,False)"));
    }

    // During an FTP transfer the session holds still: the peer's output, three times what the ring
    // holds, and its close are handled after it, in order, and of the guard's ticks meanwhile only
    // one (a second would time out).
    void socketHoldsStillDuringATransfer()
    {
        FtpServerProcess server({"--ftp-stall-upload", "big.tar:65536"});
        TelnetFixture f;
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
        const QByteArray output = "cat\r\n" + QByteArray(100 * 1024, 'x') + "\r\nbash-2.04# ";
        QTemporaryFile local;
        QVERIFY(local.open() && local.write(QByteArray(16 << 20, 'x')) && local.flush());
        QObject::connect(
            &ftp, &cFtp::PutProgress, &ftp,
            [&] {
                f.peer.send(output);
                f.peer.close();
            },
            Qt::SingleShotConnection);
        f.log.Log_Add("\r\n>>transfer");
        QVERIFY(!ftp.bPutFile(local.fileName(), "big.tar"));
        f.log.Log_Add("\r\n<<transfer");
        QVERIFY(QTest::qWaitFor([&] { return f.log.contains("\r\n<<wskConnection_Close"); }, 5000));
        const QList<QByteArray> &log = f.log.entries;
        const qsizetype start = log.indexOf("\r\n>>transfer");
        const qsizetype end = log.indexOf("\r\n<<transfer");
        // Between the two, nothing but the FTP client's own error entry.
        QCOMPARE(end - start, 2);
        QVERIFY(log[start + 1].startsWith("\r\n[Error=28:"));
        const qsizetype decoded = log.indexOf("\r\n~>>Captured:" + output + "\r\n~<<Captured");
        QVERIFY(end < decoded && decoded < log.indexOf("\r\n>>wskConnection_Close()"));
        QVERIFY(f.terminal.endsWith(output));
        QCOMPARE(timeout.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestTelnetSession)
#include "tst_telnet_session.moc"
