#pragma once

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// One of the simulator's servers (sim/*.py) on free loopback ports over a temporary folder,
// started and stopped by the test. It announces "READY name=port ..." and then one line per event.
class ServerProcess
{
public:
    ServerProcess(const QString &script, const QStringList &arguments)
    {
        mProcess.start("/usr/bin/python3", QStringList{QD_SOURCE_DIR "/sim/" + script} + arguments);
        if (!QTest::qWaitFor([&] { return ready(); }, 10000))
            qWarning("%s did not start: %s", qPrintable(script), mProcess.readAllStandardError().constData());
    }

    ~ServerProcess()
    {
        mProcess.terminate();
        if (!mProcess.waitForFinished(3000))
            mProcess.kill();
        mProcess.waitForFinished(3000);
    }

    int port(const QString &name) const { return mPorts.value(name); }

    // How many announced lines begin with prefix ("LOGIN ", "CMD cd /mnt/nand1").
    int announced(const QByteArray &prefix)
    {
        collect();
        return static_cast<int>(std::count_if(mLines.begin(), mLines.end(),
                                              [&](const QByteArray &line) { return line.startsWith(prefix); }));
    }

    bool waitForAnnounced(const QByteArray &prefix, int milliseconds = 5000)
    {
        return QTest::qWaitFor([&] { return announced(prefix) > 0; }, milliseconds);
    }

private:
    bool ready()
    {
        collect();
        for (const QByteArray &line : mLines)
            if (line.startsWith("READY "))
                for (const QString &part : QString::fromLatin1(line.mid(6)).split(' '))
                    mPorts.insert(part.section('=', 0, 0), part.section('=', 1).toInt());
        return !mPorts.isEmpty();
    }

    void collect()
    {
        QTest::qWait(10);
        mPending += mProcess.readAllStandardOutput();
        for (qsizetype end = mPending.indexOf('\n'); end >= 0; end = mPending.indexOf('\n')) {
            mLines << mPending.left(end);
            mPending.remove(0, end + 1);
        }
    }

    QProcess mProcess;
    QByteArray mPending;
    QList<QByteArray> mLines;
    QMap<QString, int> mPorts;
};

// The instrument's FTP server alone, exporting a temporary folder.
class FtpServerProcess
{
public:
    explicit FtpServerProcess(const QStringList &faults = {})
        : mServer("ftp_server.py",
                  QStringList{"--address", "127.0.0.1", "--port", "0", "--root", mRoot.path()} + faults)
    {
    }

    int port() const { return mServer.port("ftp"); }
    int announced(const QByteArray &prefix) { return mServer.announced(prefix); }
    QString path(const QString &name) const { return QDir(mRoot.path()).filePath(name); }

    QByteArray contents(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    void put(const QString &name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
    }

private:
    QTemporaryDir mRoot;
    ServerProcess mServer;
};
