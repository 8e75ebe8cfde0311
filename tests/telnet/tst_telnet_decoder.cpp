#include "TelnetFixture.h"

#include <QTest>

using Bytes = QList<QByteArray>;

class TestTelnetDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decodesUnits_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("captured");
        QTest::addColumn<Bytes>("traces");
        QTest::addColumn<int>("leftInRing");

        QTest::newRow("text and CR LF") << QByteArray("abc\r\n") << QByteArray("abc\r\n") << Bytes{} << 0;
        QTest::newRow("CR NUL is a lone CR") << QByteArray("a\r\0b", 4) << QByteArray("a\rb") << Bytes{} << 0;
        QTest::newRow("CR x is dropped") << QByteArray("\rxy") << QByteArray("y")
                                         << Bytes{"\r\nUnrecognised NVT_CR pattern [13,120]"} << 0;
        QTest::newRow("IAC IAC is dropped")
            << QByteArray("a\xff\xff") << QByteArray("a") << Bytes{"\r\nUnrecognised TLNT_IAC pattern [255,255]"} << 0;
        QTest::newRow("IAC with a data byte")
            << QByteArray("\xff"
                          "A")
            << QByteArray() << Bytes{"\r\nUnrecognised TLNT_IAC pattern [255,65]"} << 0;
        QTest::newRow("byte 200") << QByteArray("\xc8"
                                                "a")
                                  << QByteArray("a") << Bytes{"\r\nUnrecognised single pattern [200]"} << 0;
        QTest::newRow("two-byte commands") << QByteArray("\xff\xf1\xff\xf3\xff\xf9") << QByteArray()
                                           << Bytes{"\r\nTLNT_NOP", "\r\nTLNT_NRK", "\r\nTLNT_GA"} << 0;
        QTest::newRow("sub-negotiation bytes are data")
            << QByteArray("\xff\xfa\x18\x01\xff\xf0") << QByteArray("\x18\x01") << Bytes{"\r\nTLNT_SB", "\r\nTLNT_SE"}
            << 0;
        QTest::newRow("control characters pass")
            << QByteArray("\t\b\n\0\x7f", 5) << QByteArray("\t\b\n\0\x7f", 5) << Bytes{} << 0;
        QTest::newRow("CR waits for its partner") << QByteArray("ab\r") << QByteArray("ab") << Bytes{} << 1;
        QTest::newRow("IAC waits for its verb") << QByteArray("ab\xff") << QByteArray("ab") << Bytes{} << 1;
        QTest::newRow("IAC DO waits for its option")
            << QByteArray("\xff\xfd") << QByteArray() << Bytes{"\r\nTLNT_DO"} << 2;
    }

    void decodesUnits()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, captured);
        QFETCH(Bytes, traces);
        QFETCH(int, leftInRing);
        TelnetFixture fixture;
        fixture.feed(input);
        QCOMPARE(fixture.telnet.Captured().toLatin1(), captured);
        QCOMPARE(fixture.terminal, captured);
        for (const QByteArray &trace : traces)
            QVERIFY2(fixture.log.contains(trace), trace.constData());
        const RxBuffer &ring = fixture.telnet.rxBuffer();
        QCOMPARE(ring.count(), leftInRing);
        QCOMPARE(ring.in(), RxBuffer::Pos(ring.out(), ring.count()));
    }

    void lineEndEmptiesTheRingToIndexZero()
    {
        TelnetFixture fixture;
        fixture.feed("abc\r\n");
        QCOMPARE(fixture.telnet.rxBuffer().count(), 0);
        QCOMPARE(fixture.telnet.rxBuffer().in(), 0);
        QCOMPARE(fixture.telnet.rxBuffer().out(), 0);
    }

    void arrivalTrace()
    {
        TelnetFixture fixture;
        fixture.telnet.DataArrival(QByteArray("\x41\x0d\x0a\x80\x1f", 5));
        QCOMPARE(fixture.log.entries, (Bytes{"\r\n>>DataArrival(5)=[", "41", " ", "0D", " ", "0A", " ", "80", " ", "1F",
                                             "]~[A..\x80.]", "\r\n<<DataArrival"}));
    }

    void arrivalTraceShowsLeftoverBytes()
    {
        TelnetFixture fixture;
        fixture.feed("ab\r");
        fixture.log.clear();
        fixture.telnet.DataArrival("\n");
        QCOMPARE(fixture.log.entries.mid(0, 2), (Bytes{"\r\n>>DataArrival(1)=[", "\r\n[1,2,3]"}));
        fixture.telnet.Process_RxBuffer();
        QCOMPARE(fixture.telnet.Captured(), QString("ab\r\n"));
    }

    void everyOptionIsRefused_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("trace");
        QTest::newRow("DO TERMINAL-TYPE")
            << QByteArray("\xff\xfd\x18") << QByteArray("\xff\xfc\x18") << QByteArray(" TLNT_OPT_TERMINALTYPE");
        QTest::newRow("DONT ECHO") << QByteArray("\xff\xfe\x01") << QByteArray("\xff\xfc\x01")
                                   << QByteArray(" TLNT_OPT_ECHO");
        QTest::newRow("WILL ECHO") << QByteArray("\xff\xfb\x01") << QByteArray("\xff\xfc\x01")
                                   << QByteArray(" TLNT_OPT_ECHO");
        QTest::newRow("WONT ECHO") << QByteArray("\xff\xfc\x01") << QByteArray("\xff\xfe\x01")
                                   << QByteArray(" TLNT_OPT_ECHO");
        QTest::newRow("DO NAWS") << QByteArray("\xff\xfd\x1f") << QByteArray("\xff\xfc\x1f")
                                 << QByteArray(" TLNT_OPT_WINDOWSIZE");
        QTest::newRow("WILL 200") << QByteArray("\xff\xfb\xc8") << QByteArray("\xff\xfc\xc8")
                                  << QByteArray(" Unrecognised option [200]");
        QTest::newRow("DO NEW-ENVIRON") << QByteArray("\xff\xfd\x27") << QByteArray("\xff\xfc\x27")
                                        << QByteArray(" TLNT_OPT_NEWENVIRONMENTOPTION");
    }

    void everyOptionIsRefused()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, trace);
        TelnetFixture fixture;
        QVERIFY(fixture.connect());
        fixture.peer.send(request + request);
        QVERIFY(fixture.peer.waitForReceived(6));
        QCOMPARE(fixture.peer.received(), answer + answer);
        QCOMPARE(fixture.log.count(trace), 2);
    }

    void verbSplitAcrossArrivalsIsAnsweredOnce()
    {
        TelnetFixture fixture;
        QVERIFY(fixture.connect());
        fixture.feed("\xff\xfd");
        fixture.feed("\x18");
        QVERIFY(fixture.peer.waitForReceived(3));
        QCOMPARE(fixture.peer.received(), QByteArray("\xff\xfc\x18"));
        QCOMPARE(fixture.log.count("\r\nTLNT_DO"), 2);
        QCOMPARE(fixture.log.count(" TLNT_OPT_TERMINALTYPE"), 1);
    }

    // However an input is cut into two arrivals, it decodes to the same text and the same answers.
    void everyCutDecodesTheSame()
    {
        static const char raw[] = "\xff\xfd\x18\xff\xfb\x01"
                                  "Line one\r\nTab\there\r\0"
                                  "\xc8\xff\xff\xff\xf1"
                                  "\rz\xff\xfc\x03"
                                  "end\r\n";
        const QByteArray input(raw, sizeof raw - 1);
        QByteArray wholeText;
        QByteArray wholeAnswers;
        {
            TelnetFixture fixture;
            QVERIFY(fixture.connect());
            fixture.feed(input);
            wholeText = fixture.terminal;
            QVERIFY(fixture.peer.waitForReceived(9));
            wholeAnswers = fixture.peer.received();
        }
        QCOMPARE(wholeText, QByteArray("Line one\r\nTab\there\rend\r\n"));
        QCOMPARE(wholeAnswers, QByteArray("\xff\xfc\x18\xff\xfc\x01\xff\xfe\x03"));
        for (qsizetype cut = 1; cut < input.size(); ++cut) {
            TelnetFixture fixture;
            QVERIFY(fixture.connect());
            fixture.feed(input.left(cut));
            fixture.feed(input.mid(cut));
            QCOMPARE(fixture.terminal, wholeText);
            QCOMPARE(fixture.telnet.Captured().toLatin1(), wholeText);
            QVERIFY(fixture.peer.waitForReceived(wholeAnswers.size()));
            QCOMPARE(fixture.peer.received(0), wholeAnswers);
            QCOMPARE(fixture.telnet.rxBuffer().count(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestTelnetDecoder)
#include "tst_telnet_decoder.moc"
