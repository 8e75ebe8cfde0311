#include "LogFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// One second before midnight, local time.
const std::time_t kLastSecond = QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)).toSecsSinceEpoch();

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// What the file holds whenever an event of one type reaches the application: installed after the
// log's own filter, this one sees each event first.
class FileAtEvent : public QObject
{
public:
    FileAtEvent(QString path, QEvent::Type type) : mPath(std::move(path)), mType(type)
    {
        qApp->installEventFilter(this);
    }
    QList<QByteArray> seen;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == mType)
            seen << readFile(mPath);
        return false;
    }

private:
    QString mPath;
    QEvent::Type mType;
};

} // namespace

class TestLogFile : public QObject
{
    Q_OBJECT

private slots:
    // Each entry keeps the stamp of the moment it was made; midnight moves the date; a second run
    // appends.
    void entriesToTheByte()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("logfile.txt");
        std::time_t now = kLastSecond;
        {
            LogFile log(path, QString(), [&] { return now; });
            log.Log_Add("\r\nmUpgradeState=(11)");
            now += 1;
            log.Log_Add("");
        }
        LogFile(path, QString(), [&] { return now; }).Log_Add(QString("\r\nFolder /tmp/Mess\u00e9").toUtf8());
        QCOMPARE(readFile(path), QByteArray("\r\nI|20261231-235959|\r\nmUpgradeState=(11)\r\n"
                                            "\r\nI|20270101-000000|\r\n"
                                            "\r\nI|20270101-000000|\r\nFolder /tmp/Mess\xc3\xa9\r\n"));
    }

    // The entries of one event reach the file together before the next event is handled; those
    // of the last event before the loop sleeps, before the loop wakes again.
    void writtenOncePerEvent()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("logfile.txt");
        LogFile log(path, QString(), [] { return kLastSecond; });
        QEventLoop loop;
        QByteArray duringEvent, atNextEvent;
        QMetaObject::invokeMethod(
            &loop,
            [&] {
                log.Log_Add("a");
                log.Log_Add("b");
                duringEvent = readFile(path);
            },
            Qt::QueuedConnection);
        QMetaObject::invokeMethod(
            &loop,
            [&] {
                atNextEvent = readFile(path);
                QTimer::singleShot(1, &loop, &QEventLoop::quit);
                log.Log_Add("c");
            },
            Qt::QueuedConnection);
        const FileAtEvent woken(path, QEvent::Timer);
        loop.exec();
        QCOMPARE(duringEvent, QByteArray("<missing>"));
        QCOMPARE(atNextEvent, QByteArray("\r\nI|20261231-235959|a\r\n\r\nI|20261231-235959|b\r\n"));
        QCOMPARE(woken.seen.value(0), atNextEvent + "\r\nI|20261231-235959|c\r\n");
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
        const auto event = [&](const char *entry) {
            log.Log_Add(entry);
            log.flush();
        };
        event("lost");
        QVERIFY(QDir(dir.path()).mkdir("later"));
        event("a");
        QVERIFY(QFile::rename(path, dir.filePath("later/old.txt")));
        event("b");
        QVERIFY(QFile::remove(path));
        event("c");
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
