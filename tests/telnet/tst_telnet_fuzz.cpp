#include "MemoryLog.h"
#include "ucTelnet.h"

#include <QTest>

#include <memory>
#include <random>

namespace {

// A control fed straight through its decoder, with the full trace counted but not kept.
struct FedControl
{
    CountingLog log;
    ucTelnet telnet{log};
    QByteArray terminal;

    FedControl()
    {
        telnet.setUserName("root");
        telnet.setPassword("k8r2Mq5");
        telnet.setPrompt("bash-2.04#");
        telnet.setTerminalView([this](QByteArrayView text) { terminal.append(text); });
    }

    // Feeds one arrival; false if the ring's invariant or the decoder's promise broke.
    bool feed(const QByteArray &bytes)
    {
        telnet.DataArrival(bytes);
        telnet.Process_RxBuffer();
        const RxBuffer &ring = telnet.rxBuffer();
        // After a pass at most an incomplete IAC verb is left.
        return ring.in() == RxBuffer::Pos(ring.out(), ring.count()) && ring.count() <= 2;
    }
};

class StreamMaker
{
public:
    explicit StreamMaker(unsigned seed) : mRandom(seed) {}

    int below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(mRandom); }

    QByteArray randomStream()
    {
        static const QByteArray kPieces[] = {"\xff\xfd\x18", "\xff\xfb\x01",
                                             "\xff\xfe\x03", "\xff\xfc\x1f",
                                             "\xff\xff",     "\xff\xfa",
                                             "\xff\xf0",     "\xff",
                                             "\r",           "\n",
                                             "\r\n",         QByteArray("\r\0", 2),
                                             "login: ",      "Password: ",
                                             "bash-2.04# ",  "bash-2.",
                                             "04# ",         "Login incorrect\r\n",
                                             "\xc8",         "drwxr-xr-x 2 ",
                                             "\x80",         QByteArray(1, 0),
                                             "\xff\xfd",     "mke2fs 1.19\r\n"};
        QByteArray stream;
        const int pieces = 1 + below(40);
        for (int i = 0; i < pieces; ++i) {
            if (below(3) == 0)
                stream += static_cast<char>(below(256));
            else
                stream += kPieces[below(std::size(kPieces))];
        }
        return stream;
    }

    QByteArray mutated(QByteArray stream)
    {
        const int edits = 1 + below(8);
        for (int i = 0; i < edits && !stream.isEmpty(); ++i) {
            const int at = below(static_cast<int>(stream.size()));
            switch (below(3)) {
            case 0:
                stream[at] = static_cast<char>(below(256));
                break;
            case 1:
                stream.insert(at, static_cast<char>(below(2) ? 255 : 13));
                break;
            default:
                stream.remove(at, 1);
                break;
            }
        }
        return stream;
    }

private:
    std::mt19937 mRandom;
};

const QByteArray kSessionTranscript(
    "\xff\xfd\x18\xff\xfd\x20\xff\xfd\x23\xff\xfd\x27\xff\xfb\x03\xff\xfd\x01\xff\xfd\x1f\xff\xfb\x05\xff\xfd\x21"
    "\xff\xfb\x01\r\nQD8400 maintenance system\r\nQD8400-0042 login: root\r\nPassword: \r\nbash-2.04# "
    "cd /mnt/nand1\r\nbash-2.04# ps aux\r\nUSER PID %CPU\r\nroot 1 0.0 init\r\nbash-2.04# ");

} // namespace

class TestTelnetFuzz : public QObject
{
    Q_OBJECT

private slots:
    // Random and mutated streams, cut at random places: the decoder never breaks its ring, and the
    // text it passes on does not depend on where the arrivals were cut.
    void randomStreamsDecodeTheSameHoweverCut()
    {
        StreamMaker maker(8400);
        std::unique_ptr<FedControl> whole;
        std::unique_ptr<FedControl> pieces;
        for (int round = 0; round < 10000; ++round) {
            if (round % 100 == 0) {
                whole = std::make_unique<FedControl>();
                pieces = std::make_unique<FedControl>();
            }
            const QByteArray stream = round % 2 ? maker.mutated(kSessionTranscript) : maker.randomStream();
            QVERIFY(whole->feed(stream));
            for (qsizetype at = 0; at < stream.size();) {
                const qsizetype size = 1 + maker.below(12);
                QVERIFY2(pieces->feed(stream.mid(at, size)), stream.toHex().constData());
                at += size;
            }
            QCOMPARE(pieces->terminal, whole->terminal);
        }
        QVERIFY(whole->log.entries > 0);
    }

    void arrivalsLargerThanTheRing()
    {
        FedControl control;
        QByteArray big(RxBuffer::kSize - 1, 'x');
        big += "\r";
        QVERIFY(control.feed(big));
        QCOMPARE(control.telnet.rxBuffer().count(), 1);
        QVERIFY(control.feed("\n"));
        QCOMPARE(control.terminal.size(), qsizetype(RxBuffer::kSize + 1));
        QVERIFY(control.terminal.endsWith("x\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestTelnetFuzz)
#include "tst_telnet_fuzz.moc"
