#include "LogFile.h"

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
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestLogFile : public QObject
{
    Q_OBJECT

private slots:
    void entryFormatToTheByte()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("logfile.txt");
        std::time_t now = localTime(2026, 12, 5, 5, 54, 24);
        {
            LogFile log(path, QString(), [&] { return now; });
            log.Log_Add("\r\nmUpgradeState=(11)");
            log.Log_Add("");
            log.Log_Add(QString::fromUtf8("\r\nFolder /tmp/Mess\u00e9").toUtf8());
        }
        QCOMPARE(readFile(path), QByteArray("\r\nI|20261205-055424|\r\nmUpgradeState=(11)\r\n"
                                            "\r\nI|20261205-055424|\r\n"
                                            "\r\nI|20261205-055424|\r\nFolder /tmp/Mess\xc3\xa9\r\n"));
    }

    void everyEntryIsOnDiskWhenLogAddReturns()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("logfile.txt");
        LogFile log(path, QString(), [] { return localTime(2026, 1, 2, 3, 4, 5); });
        log.Log_Add("\r\nfirst");
        QCOMPARE(readFile(path), QByteArray("\r\nI|20260102-030405|\r\nfirst\r\n"));
        log.Log_Add("second");
        QVERIFY(readFile(path).endsWith("\r\nI|20260102-030405|second\r\n"));
    }

    void secondRunAppends()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("logfile.txt");
        const auto clock = [] { return localTime(2026, 6, 1, 12, 0, 0); };
        LogFile(path, QString(), clock).Log_Add("run 1");
        LogFile(path, QString(), clock).Log_Add("run 2");
        QCOMPARE(readFile(path), QByteArray("\r\nI|20260601-120000|run 1\r\n\r\nI|20260601-120000|run 2\r\n"));
    }

    void midnightMovesTheDate()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("logfile.txt");
        std::time_t now = localTime(2026, 12, 31, 23, 59, 59);
        LogFile log(path, QString(), [&] { return now; });
        log.Log_Add("a");
        now += 1;
        log.Log_Add("b");
        QCOMPARE(readFile(path), QByteArray("\r\nI|20261231-235959|a\r\n\r\nI|20270101-000000|b\r\n"));
    }

    void unwritableFolderFallsBack()
    {
        QTemporaryDir dir;
        // A path below a plain file can never be created, not even by root.
        QFile blocker(dir.filePath("not-a-folder"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString primary = dir.filePath("not-a-folder/logfile.txt");
        const QString fallback = dir.filePath("state/qd8400upgrade/logfile.txt");
        LogFile log(primary, fallback, [] { return localTime(2026, 3, 4, 5, 6, 7); });
        log.Log_Add("kept");
        QCOMPARE(log.activePath(), fallback);
        QCOMPARE(readFile(fallback), QByteArray("\r\nI|20260304-050607|kept\r\n"));
    }

    void nowhereToWriteDoesNotStopTheProgram()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        LogFile log(dir.filePath("file/a/logfile.txt"), dir.filePath("file/b/logfile.txt"));
        log.Log_Add("lost");
        log.Log_Add("lost too");
        QCOMPARE(log.activePath(), QString());
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
