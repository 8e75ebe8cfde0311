#include "cFileList.h"

#include <QTest>

class TestFileListing : public QObject
{
    Q_OBJECT

private slots:
    // Each line and its record: links, user, group, size, weekday, month, day, time, year, name.
    void parsesListingLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("fields"); // empty: the line does not parse
        const QString file = "-rw-r--r-- 1 root root %1 Mon Jan 1 00:00:00 2001 \"f\"";
        const QString parsed = "1 root root %1 Mon Jan 1 00:00:00 2001 \"f\"";
        QTest::newRow("aligned") << "drwxr-xr-x   12 root   wheel    1457424 Thu Nov 29 23:59:59 2001 \"/mnt/b\""
                                 << "12 root wheel 1457424 Thu Nov 29 23:59:59 2001 \"/mnt/b\"";
        QTest::newRow("blanks around") << "  " + file.arg(12) + "  " << parsed.arg(12);
        QTest::newRow("name with blanks") << "-rw-r--r-- 1 a b 5 Wed Mar 7 12:00:00 2001 \"/tmp/a  b\""
                                          << "1 a b 5 Wed Mar 7 12:00:00 2001 \"/tmp/a b\"";
        QTest::newRow("fractional seconds") << "-rw-r--r-- 1 a b 4096 Sat Dec  5 05:54:24.000000000 2026 \"r\""
                                            << "1 a b 4096 Sat Dec 5 05:54:24.000000000 2026 \"r\"";
        for (const char *digits :
             {"2147483647", "99999999999", "9999999999999999999", "92233720368547758089223372036854775808"})
            QTest::newRow(digits) << file.arg(digits) << parsed.arg(2147483647);
        QTest::newRow("directory summary") << "total 2048" << QString();
        QTest::newRow("no closing quote") << "-rw-r--r-- 1 a b 5 Wed Mar 7 12:00:00 2001 \"/tmp/open" << QString();
        QTest::newRow("no blank after the year") << "-rw-r--r-- 1 a b 5 Wed Mar 7 12:00:00 2001" << QString();
        QTest::newRow("day not a number") << "-rw-r--r-- 1 a b 5 Wed Mar x 12:00:00 2001 \"/tmp/f\"" << QString();
    }

    void parsesListingLines()
    {
        QFETCH(QString, line);
        QFETCH(QString, fields);
        cFileListing l;
        l.mPermisions = "kept";
        l.mSize = -5;
        QCOMPARE(l.FillOut(line), !fields.isEmpty());
        const QString cleared = "0   0   0  0 "; // every text empty, every number 0
        QCOMPARE(QStringList({QString::number(l.mLinks), l.mUser, l.mGroup, QString::number(l.mSize), l.mDayOfWeek,
                              l.mMonth, QString::number(l.mDayOfMon), l.mTime, QString::number(l.mYear), l.mName})
                     .join(' '),
                 fields.isEmpty() ? cleared : fields);
        QCOMPARE(l.mPermisions, QString("kept"));
        cFileList list;
        QCOMPARE(list.AppendEntryS(line), !fields.isEmpty());
        QCOMPARE(list.mEntries.Count(), fields.isEmpty() ? 0 : 1);
        if (!fields.isEmpty())
            QCOMPARE(list.Entry(1).mSize, l.mSize);
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Entry(2));
    }
};

QTEST_APPLESS_MAIN(TestFileListing)
#include "tst_file_listing.moc"
