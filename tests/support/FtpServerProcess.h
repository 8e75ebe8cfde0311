#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The instrument's FTP server (sim/ftp_server.py) on a free loopback port over a temporary
// folder, started and stopped by the test.
class FtpServerProcess
{
public:
    explicit FtpServerProcess(const QStringList &faults = {})
    {
        mProcess.setProcessChannelMode(QProcess::SeparateChannels);
        mProcess.start("/usr/bin/python3", QStringList{QD_SOURCE_DIR "/sim/ftp_server.py", "--address", "127.0.0.1",
                                                       "--port", "0", "--root", mRoot.path()} +
                                               faults);
        if (!QTest::qWaitFor([&] { return ready(); }, 10000))
            qWarning("the FTP server did not start: %s", mProcess.readAllStandardError().constData());
    }

    ~FtpServerProcess()
    {
        mProcess.terminate();
        if (!mProcess.waitForFinished(3000))
            mProcess.kill();
        mProcess.waitForFinished(3000);
    }

    int port() const { return mPort; }
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

    // How many lines the server announced that begin with prefix ("LOGIN ", "STORED ").
    int announced(const QByteArray &prefix)
    {
        collect();
        return static_cast<int>(std::count_if(mLines.begin(), mLines.end(),
                                              [&](const QByteArray &line) { return line.startsWith(prefix); }));
    }

private:
    bool ready()
    {
        collect();
        for (const QByteArray &line : mLines)
            if (line.startsWith("READY ftp="))
                mPort = line.mid(10).toInt();
        return mPort != 0;
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

    QTemporaryDir mRoot;
    QProcess mProcess;
    QByteArray mPending;
    QList<QByteArray> mLines;
    int mPort = 0;
};
