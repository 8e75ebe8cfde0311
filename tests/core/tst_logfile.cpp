#include "LogFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// One second before midnight, local time.
const std::time_t kLastSecond = QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)).toSecsSinceEpoch();

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
        std::time_t now = kLastSecond;
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
        LogFile(dir.filePath("file/logfile.txt"), fallback, [] { return kLastSecond; }).Log_Add("kept");
        QCOMPARE(readFile(fallback), QByteArray("\r\nI|20261231-235959|kept\r\n"));
    }

    // The entry after a failed open, a renaming or a deletion opens the file at its path again.
    void nextEntryReopens()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("later/logfile.txt");
        LogFile log(path, QString(), [] { return kLastSecond; });
        log.Log_Add("lost");
        QVERIFY(QDir(dir.path()).mkdir("later"));
        log.Log_Add("a");
        QVERIFY(QFile::rename(path, dir.filePath("later/old.txt")));
        log.Log_Add("b");
        QVERIFY(QFile::remove(path));
        log.Log_Add("c");
        QCOMPARE(readFile(dir.filePath("later/old.txt")), QByteArray("\r\nI|20261231-235959|a\r\n"));
        QCOMPARE(readFile(path), QByteArray("\r\nI|20261231-235959|c\r\n"));
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
