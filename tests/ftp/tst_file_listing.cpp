#include "cFileList.h"

#include <QTest>

class TestFileListing : public QObject
{
    Q_OBJECT

private slots:
    void parsesListingLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("parsed");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("time");
        QTest::addColumn<int>("year");

        QTest::newRow("regular file")
            << "-rw-r--r--    1 root     root      1457424 Mon Jan 15 10:22:33 2001 \"/mnt/nand1/bzimage\"" << true
            << 1457424 << "\"/mnt/nand1/bzimage\""
            << "10:22:33" << 2001;
        QTest::newRow("blanks around")
            << "   -rw-r--r-- 1 root root 12 Tue Feb  6 01:02:03 2001 \"/mnt/nor/autoexec.bat\"   " << true << 12
            << "\"/mnt/nor/autoexec.bat\""
            << "01:02:03" << 2001;
        QTest::newRow("name with blanks")
            << "-rw-r--r-- 1 root root 5 Wed Mar 7 12:00:00 2001 \"/tmp/a  b c\"" << true << 5 << "\"/tmp/a b c\""
            << "12:00:00" << 2001;
        QTest::newRow("fractional seconds")
            << "-rw-r--r-- 1 root root 4096 Sat Dec  5 05:54:24.000000000 2026 \"qd8400.rfs\"" << true << 4096
            << "\"qd8400.rfs\""
            << "05:54:24.000000000" << 2026;
        QTest::newRow("largest size") << "-rw-r--r-- 1 root root 2147483647 Mon Jan 1 00:00:00 2001 \"big\"" << true
                                      << 2147483647 << "\"big\""
                                      << "00:00:00" << 2001;
        QTest::newRow("size beyond 32 bits is capped")
            << "-rw-r--r-- 1 root root 99999999999 Mon Jan 1 00:00:00 2001 \"huge\"" << true << 2147483647 << "\"huge\""
            << "00:00:00" << 2001;
        QTest::newRow("directory summary") << "total 2048" << false << 0 << ""
                                           << "" << 0;
        QTest::newRow("empty line") << "   " << false << 0 << ""
                                    << "" << 0;
        QTest::newRow("no closing quote")
            << "-rw-r--r-- 1 root root 5 Wed Mar 7 12:00:00 2001 \"/tmp/open" << false << 0 << ""
            << "" << 0;
        QTest::newRow("no quoted name") << "-rw-r--r-- 1 root root 5 Wed Mar 7 12:00:00 2001 /tmp/plain" << false << 0
                                        << ""
                                        << "" << 0;
        QTest::newRow("no blank after the year")
            << "-rw-r--r-- 1 root root 5 Wed Mar 7 12:00:00 2001" << false << 0 << ""
            << "" << 0;
        QTest::newRow("error message") << "ls: /mnt/nand1/qd8400.rfs: No such file or directory" << false << 0 << ""
                                       << "" << 0;
        QTest::newRow("day not a number")
            << "-rw-r--r-- 1 root root 5 Wed Mar x 12:00:00 2001 \"/tmp/f\"" << false << 0 << ""
            << "" << 0;
    }

    void parsesListingLines()
    {
        QFETCH(QString, line);
        QFETCH(bool, parsed);
        QFETCH(int, size);
        QFETCH(QString, name);
        QFETCH(QString, time);
        QFETCH(int, year);
        cFileListing listing;
        listing.mPermisions = "kept";
        listing.mSize = -5;
        QCOMPARE(listing.FillOut(line), parsed);
        QCOMPARE(listing.mSize, size);
        QCOMPARE(listing.mName, name);
        QCOMPARE(listing.mTime, time);
        QCOMPARE(int(listing.mYear), year);
        QCOMPARE(listing.mPermisions, QString("kept"));
    }

    void fillsEveryField()
    {
        cFileListing listing;
        QVERIFY(
            listing.FillOut("drwxr-xr-x   12 root   wheel   1024 Thu Nov 29 23:59:59 2001 \"/mnt/nand2/upgrback\""));
        QCOMPARE(listing.mLinks, 12);
        QCOMPARE(listing.mUser, QString("root"));
        QCOMPARE(listing.mGroup, QString("wheel"));
        QCOMPARE(listing.mSize, 1024);
        QCOMPARE(listing.mDayOfWeek, QString("Thu"));
        QCOMPARE(listing.mMonth, QString("Nov"));
        QCOMPARE(int(listing.mDayOfMon), 29);
        QCOMPARE(listing.mTime, QString("23:59:59"));
        QCOMPARE(int(listing.mYear), 2001);
        QVERIFY(!listing.fIsLink);
    }

    void listKeepsOnlyParsedLines()
    {
        cFileList list;
        QVERIFY(!list.AppendEntryS("total 8"));
        QVERIFY(list.AppendEntryS("-rw-r--r-- 1 root root 1457424 Mon Jan 15 10:22:33 2001 \"/mnt/nand1/bzimage\""));
        QVERIFY(list.AppendEntryS("-rw-r--r-- 1 root root 1457000 Mon Jan 15 10:22:34 2001 \"/mnt/nand2/bzimage\""));
        QCOMPARE(list.mEntries.Count(), 2);
        QCOMPARE(list.Entry(1).mSize, 1457424);
        QCOMPARE(list.Entry(2).mSize, 1457000);
        QVERIFY(list.Entry(1).mName.startsWith('"') && list.Entry(1).mName.endsWith('"'));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Entry(3));
    }
};

QTEST_APPLESS_MAIN(TestFileListing)
#include "tst_file_listing.moc"
