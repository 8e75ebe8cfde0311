#include "NetworkProbe.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <unistd.h>

class TestProbe : public QObject
{
    Q_OBJECT

private slots:
    void loopbackAnswers() { QVERIFY(ProbeInstrument("127.0.0.1")); }

    void textsThatAreNoAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("words") << "instrument";
        QTest::newRow("octet above 255") << "127.0.0.256";
        QTest::newRow("short form") << "127.1";
        QTest::newRow("blank in front") << " 127.0.0.1";
        QTest::newRow("empty") << "";
    }

    void textsThatAreNoAddress()
    {
        QFETCH(QString, address);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!ProbeInstrument(address));
        QVERIFY(clock.elapsed() < 1000);
    }

    // In a network namespace of its own whose loopback ignores echo requests, the probe hears
    // nothing and says no once its time-out has passed.
    void noAnswerWithinTheTimeOut()
    {
        if (::geteuid() != 0)
            QSKIP("making a network namespace needs root");
        QProcess probe;
        QElapsedTimer clock;
        clock.start();
        probe.start("unshare", {"-n", "sh", "-c",
                                "ip link set lo up && echo 1 > /proc/sys/net/ipv4/icmp_echo_ignore_all && "
                                "exec \"$0\" 127.0.0.1 1500",
                                QStringLiteral(PROBE_ADDRESS)});
        QVERIFY(probe.waitForFinished(10000));
        const QByteArray answer = probe.readAllStandardOutput().trimmed();
        if (answer.isEmpty())
            QSKIP(qPrintable("no network namespace here: " + probe.readAllStandardError()));
        QCOMPARE(answer, QByteArray("no"));
        QVERIFY(clock.elapsed() >= 1400);
        QVERIFY(clock.elapsed() < 6000);
    }
};

QTEST_GUILESS_MAIN(TestProbe)
#include "tst_probe.moc"
