#pragma once

#include <QDir>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// One of the simulator's servers (sim/*.py) on free loopback ports over a temporary folder,
// started and stopped by the test. It announces "READY name=port ..." and then one line per event.
class ServerProcess
{
public:
    ServerProcess(const QString &script, const QStringList &arguments)
    {
        mProcess.start("/usr/bin/python3", QStringList{QD_SOURCE_DIR "/sim/" + script} + arguments);
        if (!QTest::qWaitFor([&] { return announced("READY ") > 0; }, 10000))
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
    // To the server's own process, which this object started.
    bool signal(int number) { return ::kill(static_cast<pid_t>(mProcess.processId()), number) == 0; }

    // How many announced lines begin with prefix ("LOGIN ", "CMD cd /mnt/nand1").
    int announced(const QByteArray &prefix)
    {
        QTest::qWait(10);
        while (mProcess.canReadLine()) {
            mLines << mProcess.readLine().chopped(1);
            if (mLines.last().startsWith("READY "))
                for (const QString &part : QString::fromLatin1(mLines.last().mid(6)).split(' '))
                    mPorts.insert(part.section('=', 0, 0), part.section('=', 1).toInt());
        }
        return static_cast<int>(std::count_if(mLines.cbegin(), mLines.cend(),
                                              [&](const QByteArray &line) { return line.startsWith(prefix); }));
    }

private:
    QProcess mProcess;
    QList<QByteArray> mLines;
    QMap<QString, int> mPorts;
};

// The instrument's FTP server alone, exporting a temporary folder.
class FtpServerProcess : private QTemporaryDir, public ServerProcess
{
public:
    explicit FtpServerProcess(const QStringList &faults = {})
        : ServerProcess("ftp_server.py",
                        QStringList{"--address", "127.0.0.1", "--port", "0", "--root", QTemporaryDir::path()} + faults)
    {
    }

    int port() const { return ServerProcess::port("ftp"); }
    QString path(const QString &name) const { return filePath(name); }
    QByteArray contents(const QString &name) const { return read(path(name)); }

    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    static QString write(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }
};
