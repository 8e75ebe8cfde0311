#include "Fleet.h"

#include "Events.h"
#include "RunRules.h"
#include "RunTexts.h"
#include "UpgradeFolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <numeric>
#include <string>
#include <unistd.h>

namespace {

FleetDisplay::Mode displayMode(const Options &options)
{
    if (options.json)
        return FleetDisplay::Mode::Json;
    return ::isatty(STDOUT_FILENO) ? FleetDisplay::Mode::Live : FleetDisplay::Mode::Lines;
}

QList<InstrumentStatus> statusesOf(const QStringList &addresses)
{
    QList<InstrumentStatus> statuses;
    for (const QString &address : addresses) {
        InstrumentStatus status;
        status.address = address;
        status.caption = QStringLiteral("waiting");
        statuses.append(status);
    }
    return statuses;
}

void printError(const QString &text)
{
    std::fprintf(stderr, "qd8400-upgrade: %s\n", qPrintable(text));
}

} // namespace

Fleet::Fleet(Options options)
    : mOptions(std::move(options)), mInstruments(statusesOf(mOptions.addresses)),
      mDisplay(displayMode(mOptions), mOptions.command == Options::Command::Check, mInstruments)
{
    mRedraw.setInterval(250);
    mProcesses.resize(static_cast<size_t>(mInstruments.size()));
    mClocks.resize(static_cast<size_t>(mInstruments.size()));
    connect(&mRedraw, &QTimer::timeout, this, [this] { mDisplay.refresh(); });
}

Fleet::~Fleet() = default;

int Fleet::exec()
{
    if (mOptions.command == Options::Command::Run && !confirmed())
        return kUsageStatus;
    mLogFolder = makeLogFolder();
    if (mLogFolder.isEmpty()) {
        printError("cannot make the folder of logs " + mOptions.logDir);
        return kUsageStatus;
    }
    if (mOptions.command == Options::Command::Check)
        listFolder();
    if (!mOptions.json)
        std::printf("logs in %s\n", qPrintable(QDir::toNativeSeparators(mLogFolder)));
    mDisplay.begin();
    mRedraw.start();
    QTimer::singleShot(0, this, &Fleet::startNext);
    QCoreApplication::exec();
    mRedraw.stop();
    const int status =
        std::accumulate(mInstruments.cbegin(), mInstruments.cend(), 0,
                        [](int highest, const InstrumentStatus &i) { return std::max(highest, i.status); });
    mDisplay.summary(status);
    return status;
}

bool Fleet::confirmed() const
{
    if (mOptions.yes)
        return true;
    if (!::isatty(STDIN_FILENO)) {
        printError("no terminal to confirm the upgrade on: give --yes to upgrade without asking");
        return false;
    }
    std::printf("%s\n\nUpgrade %lld instrument(s): %s\nType yes to go on: ",
                qPrintable(QString(RunTexts::kDataLossWarning).replace("\r\n", "\n")),
                static_cast<long long>(mOptions.addresses.size()), qPrintable(mOptions.addresses.join(", ")));
    std::fflush(stdout);
    std::string answer;
    std::getline(std::cin, answer);
    if (answer == "yes")
        return true;
    printError("not confirmed: nothing was sent");
    return false;
}

QString Fleet::makeLogFolder() const
{
    QString folder = mOptions.logDir;
    if (folder.isEmpty()) {
        // A folder of its own for each run, so that a second run does not mix its logs with the first's.
        const QString base = QDir::current().filePath(
            "qd8400-upgrade-" + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
        folder = base;
        for (int n = 2; QFileInfo::exists(folder); ++n)
            folder = base + '-' + QString::number(n);
    }
    return QDir().mkpath(folder) ? QDir(folder).absolutePath() : QString();
}

void Fleet::listFolder() const
{
    QJsonArray files;
    const QDir folder(mOptions.folder);
    const UpgradeFileFlags flags = UpgradeFolder::CheckUpgradeFiles(mOptions.folder);
    QStringList names = UpgradeFolder::kRequiredFiles;
    if (flags.mProdImageFound)
        names << UpgradeFolder::kProdImage;
    if (flags.mAutoexecFound)
        names << UpgradeFolder::kAutoexec;
    for (const QString &name : names) {
        const qint64 size = QFileInfo(folder.filePath(name)).size();
        files.append(QJsonObject{{"name", name}, {"size", size}});
        if (!mOptions.json)
            std::printf("%-14s %12lld bytes\n", qPrintable(name), static_cast<long long>(size));
    }
    if (mOptions.json)
        writeLine(QJsonDocument(QJsonObject{{"event", "folder"}, {"folder", folder.absolutePath()}, {"files", files}})
                      .toJson(QJsonDocument::Compact));
}

void Fleet::startNext()
{
    const qsizetype limit = mOptions.jobs > 0 ? mOptions.jobs : mInstruments.size();
    while (mNext < mInstruments.size() && mRunning < limit) {
        const qsizetype index = mNext++;
        ++mRunning;
        mProcesses[static_cast<size_t>(index)] = std::make_unique<QProcess>();
        QProcess *process = mProcesses[static_cast<size_t>(index)].get();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        connect(process, &QProcess::readyReadStandardOutput, this, [this, index] { readEvents(index); });
        connect(process, &QProcess::finished, this, [this, index](int exitCode, QProcess::ExitStatus exitStatus) {
            finished(index, exitCode, exitStatus);
        });
        // A process that never started sends no finished signal; it ends there, after this loop.
        connect(
            process, &QProcess::errorOccurred, this,
            [this, index](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart)
                    finished(index, -1, QProcess::CrashExit);
            },
            Qt::QueuedConnection);
        mClocks[static_cast<size_t>(index)].start();
        process->start(QCoreApplication::applicationFilePath(),
                       mOptions.instrumentArguments(mInstruments[index].address, mLogFolder));
        process->closeWriteChannel();
    }
}

void Fleet::readEvents(qsizetype index)
{
    QProcess &process = *mProcesses[static_cast<size_t>(index)];
    InstrumentStatus &instrument = mInstruments[index];
    while (process.canReadLine()) {
        const QByteArray line = process.readLine().trimmed();
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        const QString name = event.value("event").toString();
        if (name == QLatin1String("caption")) {
            instrument.caption = event.value("text").toString().section(QStringLiteral("\r\n"), 0, 0);
            instrument.file.clear();
        } else if (name == QLatin1String("progress")) {
            instrument.percent = event.value("percent").toInt();
            instrument.file.clear();
        } else if (name == QLatin1String("transfer")) {
            instrument.file = event.value("file").toString();
            instrument.sent = event.value("sent").toInteger();
            instrument.total = event.value("total").toInteger();
        } else if (name == QLatin1String("result")) {
            instrument.result = event.value("result").toString();
            instrument.status = event.value("status").toInt();
            instrument.message = event.value("message").toString();
            instrument.state = event.value("state").toInt();
        } else if (name.isEmpty()) {
            continue;
        }
        mDisplay.event(instrument, line, name);
    }
}

void Fleet::finished(qsizetype index, int exitCode, QProcess::ExitStatus exitStatus)
{
    readEvents(index);
    InstrumentStatus &instrument = mInstruments[index];
    instrument.seconds = static_cast<double>(mClocks[static_cast<size_t>(index)].elapsed()) / 1000;
    if (!instrument.finished()) {
        // The instrument's process ended without its result: a crash, or a signal.
        instrument.result = mOptions.command == Options::Command::Run ? "failed" : "not-ready";
        instrument.status = RunRules::kFailed;
        instrument.message = exitStatus == QProcess::CrashExit
                                 ? QStringLiteral("its process did not start or crashed")
                                 : QStringLiteral("its process ended without a result (status %1)").arg(exitCode);
        const QJsonObject event{{"event", "result"},           {"address", instrument.address},
                                {"result", instrument.result}, {"status", instrument.status},
                                {"state", instrument.state},   {"message", instrument.message}};
        mDisplay.event(instrument, QJsonDocument(event).toJson(QJsonDocument::Compact), "result");
    }
    --mRunning;
    if (++mFinished == mInstruments.size())
        QCoreApplication::quit();
    else
        startNext();
}
