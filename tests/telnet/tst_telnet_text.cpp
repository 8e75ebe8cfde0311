#include "TelnetFixture.h"
#include "colTerminalOutput.h"

#include <QTest>

using Bytes = QList<QByteArray>;

// What becomes of the instrument's bytes: the receive ring, the decoder's units, traces and
// answers, and the captured output split into lines.
class TestTelnetText : public QObject
{
    Q_OBJECT

private slots:
    void decodesUnits_data()
    {
        QTest::addColumn<Bytes>("arrivals");
        QTest::addColumn<QByteArray>("captured");
        QTest::addColumn<QByteArray>("trace");
        QTest::addColumn<int>("leftInRing");
        using Row = std::tuple<const char *, Bytes, QByteArray, QByteArray, int>;
        for (const auto &[name, arrivals, captured, trace, left] : {
                 Row{"CR NUL is a lone CR", {{"a\r\0b", 4}}, "a\rb", {}, 0},
                 Row{"CR x is dropped", {"\rxy"}, "y", "\r\nUnrecognised NVT_CR pattern [13,120]", 0},
                 Row{"IAC IAC is dropped", {"a\xff\xff"}, "a", "\r\nUnrecognised TLNT_IAC pattern [255,255]", 0},
                 Row{"IAC and a data byte", {"\xff\x41"}, {}, "\r\nUnrecognised TLNT_IAC pattern [255,65]", 0},
                 Row{"byte 200", {"\xc8\x61"}, "a", "\r\nUnrecognised single pattern [200]", 0},
                 Row{"sub-negotiation bytes are data", {"\xff\xfa\x18\x01\xff\xf0"}, "\x18\x01", "\r\nTLNT_SE", 0},
                 Row{"control characters pass", {{"\t\b\n\0\x7f", 5}}, {"\t\b\n\0\x7f", 5}, {}, 0},
                 Row{"CR waits for its partner", {"ab\r"}, "ab", {}, 1},
                 Row{"the leftover is traced", {"ab\r", "\n"}, "ab\r\n", "\r\n[1,2,3]", 0},
                 Row{"IAC waits for its verb", {"ab\xff"}, "ab", {}, 1},
                 Row{"IAC DO waits for its option", {"\xff\xfd"}, {}, "\r\nTLNT_DO", 2},
             })
            QTest::newRow(name) << arrivals << captured << trace << left;
        // A command unit's length at the edges (two bytes up to SB, three from WILL on), and an option
        // unknown to the trace named by its number.
        for (const auto &[byte, name] :
             {std::pair{240, "TLNT_SE"}, {250, "TLNT_SB"}, {251, "TLNT_WILL"}, {254, "TLNT_DONT"}})
            QTest::newRow(name) << Bytes{QByteArray("\xff") + char(byte) + '\x01'}
                                << QByteArray(byte < 251 ? "\x01" : "") << QByteArray("\r\n") + name << 0;
        for (const auto &[option, name] :
             {std::pair{1, "TLNT_OPT_ECHO"}, {2, "Unrecognised option [2]"}, {200, "Unrecognised option [200]"}})
            QTest::newRow(name) << Bytes{QByteArray("\xff\xfd") + char(option)} << QByteArray()
                                << QByteArray(" ") + name << 0;
    }

    void decodesUnits()
    {
        QFETCH(Bytes, arrivals);
        QFETCH(QByteArray, captured);
        QFETCH(QByteArray, trace);
        QFETCH(int, leftInRing);
        TelnetFixture f;
        for (const QByteArray &arrival : arrivals)
            f.feed(arrival);
        QCOMPARE(f.telnet.Captured().toLatin1(), captured);
        QCOMPARE(f.terminal, captured);
        QVERIFY2(trace.isEmpty() || f.log.contains(trace), trace.constData());
        QCOMPARE(f.telnet.rxBuffer().count(), leftInRing);
    }

    // Each byte is traced as two hex digits; the ring ends empty at index 0.
    void arrivalTrace()
    {
        TelnetFixture f;
        f.telnet.DataArrival("\x1f\x80\x41\r\n");
        QCOMPARE(f.log.entries, (Bytes{"\r\n>>DataArrival(5)=[", "1F", " ", "80", " ", "41", " ", "0D", " ", "0A",
                                       "]~[.\x80\x41..]", "\r\n<<DataArrival"}));
        f.telnet.Process_RxBuffer();
        QCOMPARE(f.telnet.Captured(), QString("\x1f\x41\r\n"));
        QCOMPARE(f.telnet.rxBuffer().in() + f.telnet.rxBuffer().out(), 0);
    }

    // However an input with every kind of unit is cut into two arrivals, it decodes to the same text
    // and the same answers (every option refused in both directions, each time it comes), and at
    // most an incomplete IAC verb waits in the ring between them.
    void everyCutDecodesTheSame()
    {
        const QByteArray input = "\xff\xfd\x18\xff\xfb\x01Line one\r\nTab\there\xc8\xff\xff\xff\xf1\rz" +
                                 QByteArray("\r\0", 2) +
                                 "\xff\xfa\x18\xff\xf0\xff\xfc\x03\xff\xfe\x05\xff\xfd\x18 end\r\n";
        const QByteArray answers("\xff\xfc\x18\xff\xfc\x01\xff\xfe\x03\xff\xfc\x05\xff\xfc\x18");
        for (qsizetype cut = 0; cut < input.size(); ++cut) {
            TelnetFixture f;
            QVERIFY(f.connect());
            f.feed(input.left(cut));
            QVERIFY(f.telnet.rxBuffer().count() <= 2);
            f.feed(input.mid(cut));
            QCOMPARE(f.terminal, QByteArray("Line one\r\nTab\there\r\x18 end\r\n"));
            QVERIFY(f.peer.waitForReceived(answers.size()));
            QCOMPARE(f.peer.received(), answers);
            QCOMPARE(f.telnet.rxBuffer().count(), 0);
        }
    }

    // The ring holds 32,768 bytes and drops the next; a unit that wraps past its end stays in place.
    void ringLimits()
    {
        TelnetFixture f;
        f.feed(QByteArray(RxBuffer::kSize, 'x') + 'y');
        QCOMPARE(f.telnet.Captured(), QString(RxBuffer::kSize, 'x'));
        f.feed(QByteArray(RxBuffer::kSize - 3, 'x'));
        f.feed("\r\nab\r");
        QVERIFY(f.log.contains("\r\n<<RxBuffer_Compact() [3,32767,2]"));
        f.feed("\n");
        QVERIFY(f.telnet.Captured().endsWith("x\r\nab\r\n"));
    }

    // Each text is read after "a" CR LF; OutputText gives the empty string for 0 and Count + 1.
    void splitsOnlyOnCrLf_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("command output") << "ls\r\na\r\n\r\nbash-2.04#" << QStringList{"ls", "a", "", "bash-2.04#"};
        QTest::newRow("ends with CR LF") << "ls\r\n" << QStringList{"ls"};
        QTest::newRow("empty text") << "" << QStringList{};
        QTest::newRow("lone CR and LF stay") << "a\rb\nc\r\nd" << QStringList{"a\rb\nc", "d"};
        QTest::newRow("only line ends") << "\r\n\r\n" << QStringList{"", ""};
        QTest::newRow("CR CR LF") << "x\r\r\ny" << QStringList{"x\r", "y"};
        QTest::newRow("no trimming") << "  a  \r\n b" << QStringList{"  a  ", " b"};
    }

    void splitsOnlyOnCrLf()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        colTerminalOutput output;
        output.OutputRead("gone\r\n");
        output.Clear();
        output.OutputRead("a\r\n");
        output.OutputRead(text);
        QStringList lines;
        for (int line = 0; line <= output.Count() + 1; ++line)
            lines << output.OutputText(line);
        QCOMPARE(lines, (QStringList{"", "a"} + expected + QStringList{""}));
    }

    void containsAnySearchesTheWindow_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<bool>("found");
        const QString three = "ps aux\r\n  12 root  Measure\r\nbash-2.04# ";
        QTest::newRow("any letter case") << three << "measure" << 1 << -1 << true;
        QTest::newRow("echo line is skipped") << three << "ps aux" << 1 << -1 << false;
        QTest::newRow("prompt line is skipped") << three << "bash" << 1 << -1 << false;
        QTest::newRow("whole list") << three << "bash" << 0 << 0 << true;
        QTest::newRow("last line only") << three << "bash" << 2 << 0 << true;
        QTest::newRow("two lines leave no window") << "ps aux\r\nbash-2.04# " << QString() << 1 << -1 << false;
        QTest::newRow("negative start") << three << "Measure" << -1 << -1 << false;
        QTest::newRow("positive end") << three << "Measure" << 1 << 1 << false;
        QTest::newRow("start at count") << three << "Measure" << 3 << 0 << false;
        QTest::newRow("end skips all") << three << "Measure" << 0 << -3 << false;
    }

    void containsAnySearchesTheWindow()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(bool, found);
        colTerminalOutput output;
        output.OutputRead(text);
        QCOMPARE(output.ContainsAny(pattern, static_cast<qint16>(start), static_cast<qint16>(end)), found);
    }
};

QTEST_GUILESS_MAIN(TestTelnetText)
#include "tst_telnet_text.moc"
