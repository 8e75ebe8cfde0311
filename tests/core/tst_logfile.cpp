#include "LogFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

namespace {

std::time_t localTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestLogFile : public QObject
{
    Q_OBJECT

private slots:
    // Each entry is on disk when Log_Add returns; midnight moves the date; a second run appends.
    void entriesToTheByte()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("logfile.txt");
        std::time_t now = localTime(2026, 12, 31, 23, 59, 59);
        {
            LogFile log(path, QString(), [&] { return now; });
            log.Log_Add("\r\nmUpgradeState=(11)");
            QCOMPARE(readFile(path), QByteArray("\r\nI|20261231-235959|\r\nmUpgradeState=(11)\r\n"));
            now += 1;
            log.Log_Add("");
        }
        LogFile(path, QString(), [&] { return now; }).Log_Add(QString("\r\nFolder /tmp/Mess\u00e9").toUtf8());
        QCOMPARE(readFile(path), QByteArray("\r\nI|20261231-235959|\r\nmUpgradeState=(11)\r\n"
                                            "\r\nI|20270101-000000|\r\n"
                                            "\r\nI|20270101-000000|\r\nFolder /tmp/Mess\xc3\xa9\r\n"));
    }

    void unwritableFolderFallsBack()
    {
        QTemporaryDir dir;
        // A path below a plain file can never be created, not even by root.
        QFile(dir.filePath("file")).open(QIODevice::WriteOnly);
        const QString fallback = dir.filePath("state/qd8400upgrade/logfile.txt");
        LogFile(dir.filePath("file/logfile.txt"), fallback, [] {
            return localTime(2026, 3, 4, 5, 6, 7);
        }).Log_Add("kept");
        QCOMPARE(readFile(fallback), QByteArray("\r\nI|20260304-050607|kept\r\n"));
    }

    // The entry after a failed open, a deletion or a renaming opens the file at its path again.
    void nextEntryReopens_data()
    {
        QTest::addColumn<int>("change");
        QTest::newRow("folder made after a failed open") << 0;
        QTest::newRow("file deleted") << 1;
        QTest::newRow("file renamed") << 2;
    }

    void nextEntryReopens()
    {
        QFETCH(int, change);
        QTemporaryDir dir;
        const QString path = dir.filePath("later/logfile.txt");
        if (change > 0)
            QVERIFY(QDir(dir.path()).mkdir("later"));
        LogFile log(path, QString(), [] { return localTime(2026, 1, 2, 3, 4, 5); });
        log.Log_Add("a");
        if (change == 0)
            QVERIFY(QDir(dir.path()).mkdir("later"));
        else if (change == 1)
            QVERIFY(QFile::remove(path));
        else
            QVERIFY(QFile::rename(path, dir.filePath("later/old.txt")));
        log.Log_Add("b");
        QCOMPARE(readFile(path), QByteArray("\r\nI|20260102-030405|b\r\n"));
        if (change == 2)
            QCOMPARE(readFile(dir.filePath("later/old.txt")), QByteArray("\r\nI|20260102-030405|a\r\n"));
    }

    void defaultFallbackFollowsXdgStateHome()
    {
        qputenv("XDG_STATE_HOME", "/somewhere/state");
        QCOMPARE(LogFile::defaultFallbackPath(), QString("/somewhere/state/qd8400upgrade/logfile.txt"));
        qunsetenv("XDG_STATE_HOME");
        QVERIFY(LogFile::defaultFallbackPath().endsWith("/.local/state/qd8400upgrade/logfile.txt"));
    }
};

QTEST_GUILESS_MAIN(TestLogFile)
#include "tst_logfile.moc"
