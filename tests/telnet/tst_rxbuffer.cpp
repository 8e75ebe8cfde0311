#include "MemoryLog.h"
#include "RxBuffer.h"

#include <QTest>

class TestRxBuffer : public QObject
{
    Q_OBJECT

    static void addBytes(RxBuffer &buffer, int count, uint8_t first = 0)
    {
        for (int i = 0; i < count; ++i)
            QVERIFY(buffer.Add(static_cast<uint8_t>(first + i)));
    }

private slots:
    void fullBufferRefusesFurtherBytes()
    {
        MemoryLog log;
        RxBuffer buffer(log);
        addBytes(buffer, RxBuffer::kSize);
        QCOMPARE(buffer.count(), RxBuffer::kSize);
        QCOMPARE(buffer.in(), 0);
        QVERIFY(!buffer.Add(0xAB));
        QCOMPARE(buffer.count(), RxBuffer::kSize);
        QCOMPARE(buffer.in(), 0);
        uint8_t value = 0xFF;
        QVERIFY(buffer.Value(0, value));
        QCOMPARE(value, uint8_t(0));
    }

    void valuePeeksWithoutConsuming()
    {
        MemoryLog log;
        RxBuffer buffer(log);
        uint8_t value = 77;
        QVERIFY(!buffer.Value(0, value));
        QCOMPARE(value, uint8_t(77));
        addBytes(buffer, 2, 10);
        QVERIFY(!buffer.Value(2, value));
        QCOMPARE(value, uint8_t(77));
        QVERIFY(buffer.Add(12));
        QVERIFY(buffer.Value(2, value));
        QCOMPARE(value, uint8_t(12));
        QCOMPARE(buffer.count(), 3);
    }

    void removingOneNeverCompacts()
    {
        MemoryLog log;
        RxBuffer buffer(log);
        addBytes(buffer, 3);
        QVERIFY(buffer.Remove(1));
        QCOMPARE(buffer.out(), 1);
        QCOMPARE(buffer.count(), 2);
        QVERIFY(log.entries.isEmpty());
    }

    void removingTwoMovesTheRestToTheFront()
    {
        MemoryLog log;
        RxBuffer buffer(log);
        addBytes(buffer, 10);
        for (int i = 0; i < 5; ++i)
            QVERIFY(buffer.Remove(1));
        QCOMPARE(buffer.out(), 5);
        QVERIFY(buffer.Remove(2));
        QCOMPARE(buffer.count(), 3);
        QCOMPARE(buffer.out(), 0);
        QCOMPARE(buffer.in(), 3);
        for (int i = 0; i < 3; ++i) {
            uint8_t value = 0;
            QVERIFY(buffer.Value(static_cast<qint16>(i), value));
            QCOMPARE(value, uint8_t(7 + i));
        }
        QCOMPARE(log.entries,
                 (QList<QByteArray>{"\r\n>>RxBuffer_Compact() [3,7, 10]", "\r\n<<RxBuffer_Compact() [3,0,3]"}));
    }

    void removingTheLastBytesResetsTheIndices_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("CR LF") << 2;
        QTest::newRow("IAC verb option") << 3;
    }

    void removingTheLastBytesResetsTheIndices()
    {
        QFETCH(int, count);
        MemoryLog log;
        RxBuffer buffer(log);
        addBytes(buffer, count + 1);
        QVERIFY(buffer.Remove(1));
        QVERIFY(buffer.Remove(static_cast<qint16>(count)));
        QCOMPARE(buffer.count(), 0);
        QCOMPARE(buffer.in(), 0);
        QCOMPARE(buffer.out(), 0);
    }

    void wrappedBytesStayWhereTheyAre()
    {
        MemoryLog log;
        RxBuffer buffer(log);
        addBytes(buffer, RxBuffer::kSize - 2);
        for (int i = 0; i < RxBuffer::kSize - 2; ++i)
            QVERIFY(buffer.Remove(1));
        QCOMPARE(buffer.out(), RxBuffer::kSize - 2);
        addBytes(buffer, 4, 100);
        QCOMPARE(buffer.in(), 2);
        QCOMPARE(buffer.count(), 4);
        QCOMPARE(buffer.Out(), RxBuffer::kSize - 2);

        QVERIFY(!buffer.Compact());
        QCOMPARE(buffer.out(), RxBuffer::kSize - 2);
        uint8_t value = 0;
        QVERIFY(buffer.Value(0, value));
        QCOMPARE(value, uint8_t(100));
        QVERIFY(buffer.Value(3, value));
        QCOMPARE(value, uint8_t(103));

        // Consuming across the end of the ring leaves one byte, which the compaction then moves
        // to the front.
        QVERIFY(buffer.Remove(3));
        QCOMPARE(buffer.count(), 1);
        QCOMPARE(buffer.out(), 0);
        QCOMPARE(buffer.in(), 1);
        QVERIFY(buffer.Value(0, value));
        QCOMPARE(value, uint8_t(103));
    }

    void compactAtTheFrontMovesNothing()
    {
        MemoryLog log;
        RxBuffer buffer(log);
        addBytes(buffer, 5);
        QVERIFY(!buffer.Compact());
        QCOMPARE(buffer.out(), 0);
        QCOMPARE(buffer.in(), 5);
    }

    void initEmptiesTheBuffer()
    {
        MemoryLog log;
        RxBuffer buffer(log);
        addBytes(buffer, 7);
        QVERIFY(buffer.Remove(1));
        buffer.Init();
        QCOMPARE(buffer.count(), 0);
        QCOMPARE(buffer.in(), 0);
        QCOMPARE(buffer.out(), 0);
        uint8_t value = 0;
        QVERIFY(!buffer.Value(0, value));
    }
};

QTEST_APPLESS_MAIN(TestRxBuffer)
#include "tst_rxbuffer.moc"
