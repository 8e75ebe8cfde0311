#pragma once

#include "ServerProcess.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

// Runs one of the simulator's helper programs to its end and returns what it printed.
inline QByteArray runSimTool(const QString &script, const QStringList &arguments)
{
    QProcess tool;
    tool.start("/usr/bin/python3", QStringList{QD_SOURCE_DIR "/sim/" + script} + arguments);
    if (!tool.waitForFinished(30000) || tool.exitCode() != 0)
        qWarning("%s failed: %s", qPrintable(script), tool.readAllStandardError().constData());
    return tool.readAllStandardOutput();
}

// Where the simulator listens: free ports (0) or given ones, on a loopback address.
struct SimulatorPlace
{
    QString address = QStringLiteral("127.0.0.1");
    int telnetPort = 0;
    int ftpPort = 0;
};

// The simulated QD8400 on free loopback ports: a never-upgraded instrument and an upgrade folder
// made by the fixtures (with their options), then the simulator in the given modes. The test reads
// back the commands it received and what the run left on it.
class Instrument
{
public:
    explicit Instrument(const QStringList &modes = {}, const QStringList &fixtureOptions = {},
                        const SimulatorPlace &place = {})
        : mMade(make(mDir, fixtureOptions)),
          mSimulator(std::make_unique<ServerProcess>("qd8400sim.py", arguments(mDir, modes, place))),
          mPlace{place.address, mSimulator->port("telnet"), mSimulator->port("ftp")}
    {
    }

    // The same instrument on the same address and ports, in other modes: its simulator started again.
    void restart(const QStringList &modes)
    {
        mSimulator.reset();
        mSimulator = std::make_unique<ServerProcess>("qd8400sim.py", arguments(mDir, modes, mPlace));
    }

    QString upgradeFolder() const { return mDir.filePath("upgrade"); }
    quint16 telnetPort() { return static_cast<quint16>(mPlace.telnetPort); }
    quint16 ftpPort() { return static_cast<quint16>(mPlace.ftpPort); }
    // How many of the simulator's announced events begin with prefix ("TELNET ", "FTP LOGIN").
    int announced(const QByteArray &prefix) { return mSimulator->announced(prefix); }
    bool signal(int number) { return mSimulator->signal(number); }

    // Every command line received, one after the other.
    QStringList commands() const
    {
        QFile transcript(mDir.filePath("transcript"));
        transcript.open(QIODevice::ReadOnly);
        return QString::fromLatin1(transcript.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    // What the run left behind (sim/state.py).
    QJsonObject state() const
    {
        return QJsonDocument::fromJson(
                   runSimTool("state.py", {"--instrument", mDir.filePath("instrument"), "--upgrade", upgradeFolder()}))
            .object();
    }

private:
    static bool make(const QTemporaryDir &dir, const QStringList &options)
    {
        runSimTool("fixtures.py",
                   QStringList{"--instrument", dir.filePath("instrument"), "--upgrade", dir.filePath("upgrade")} +
                       options);
        return true;
    }

    static QStringList arguments(const QTemporaryDir &dir, const QStringList &modes, const SimulatorPlace &place)
    {
        QStringList list{"--address",     place.address,
                         "--telnet-port", QString::number(place.telnetPort),
                         "--ftp-port",    QString::number(place.ftpPort),
                         "--root",        dir.filePath("instrument"),
                         "--transcript",  dir.filePath("transcript"),
                         "--option-wait", "2"};
        for (const QString &mode : modes)
            list << "--mode" << mode;
        return list;
    }

    QTemporaryDir mDir;
    bool mMade;
    std::unique_ptr<ServerProcess> mSimulator;
    SimulatorPlace mPlace; // with the ports it listens on
};
