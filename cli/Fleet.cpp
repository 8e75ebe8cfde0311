#include "Fleet.h"

#include "Capacity.h"
#include "Commands.h"
#include "Confirmation.h"
#include "Echoed.h"
#include "ErrorLine.h"
#include "Events.h"
#include "ExitStatus.h"
#include "Handshake.h"
#include "LogFile.h"
#include "ProcessStarter.h"
#include "RunRules.h"
#include "UpgradeFolder.h"
#include "WholeFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace {

// Why an instrument's process has no result.
QString endOfProcess(InstrumentProcess::End end)
{
    if (end.unknown)
        return QStringLiteral("its process's end is not known: the process it was started from has gone");
    if (end.signalled)
        return QStringLiteral("its process was ended by signal %1 (%2)").arg(end.code).arg(::strsignal(end.code));
    return QStringLiteral("its process ended without a result (status %1)").arg(end.code);
}

} // namespace

Fleet::Fleet(Options options) : mOptions(std::move(options)), mReport(FleetReport::of(mOptions.procedure))
{
    mSlots.resize(static_cast<size_t>(mOptions.addresses.size()));
    QList<const InstrumentStatus *> statuses;
    for (qsizetype i = 0; i < mOptions.addresses.size(); ++i) {
        Slot &slot = mSlots[static_cast<size_t>(i)];
        slot.status.address = slot.status.end.address = mOptions.addresses[i];
        slot.status.caption = FleetReport::kQueued;
        statuses << &slot.status;
        mQueued.push_back(&slot);
    }
    mDisplay = FleetDisplay::make(mOptions.json, mReport, statuses);
    mRedraw.setInterval(250);
    connect(&mRedraw, &QTimer::timeout, this, [this] { mDisplay->refresh(); });
}

Fleet::~Fleet() = default;

int Fleet::exec()
{
    if (mOptions.procedure == Procedure::Upgrade && !mOptions.yes) {
        const Confirmation confirmation = confirmUpgrade(mOptions.addresses);
        if (!confirmation.confirmed) {
            writeErrorLine(confirmation.problem);
            return code(ExitStatus::Usage);
        }
    }
    // check lists the upgrade files first; a damaged one ends it there, before anything is made or sent.
    const FolderCheck folder =
        mOptions.procedure == Procedure::Check ? UpgradeFolder::CheckFolder(mOptions.folder) : FolderCheck();
    if (const UpgradeFile *damaged = folder.firstDamaged()) {
        listFolder(folder);
        writeErrorLine(echoed(mOptions.folder) + ": " + UpgradeFolder::damageNote(*damaged));
        return code(ExitStatus::Usage);
    }
    mSignals = std::make_unique<Interrupts>([this](int signal) { interrupted(signal); });
    const qsizetype openFiles = Capacity::raiseOpenFiles();
    const qsizetype availableMiB = Capacity::availableMiB();
    mTurns = Capacity::jobs(mOptions.jobs, openFiles, availableMiB);
    mLimit = mOptions.waitSeconds > 0 ? Capacity::jobs(0, openFiles, availableMiB) : mTurns;
    mLogFolder = makeLogFolder();
    if (mLogFolder.isEmpty())
        return code(ExitStatus::Usage);
    mOptions.logDir = mLogFolder;
    for (Slot &slot : mSlots) {
        slot.status.end.log = mOptions.logPath(slot.status.address);
        slot.status.end.timeScale = mOptions.settings.timeScale;
    }
    // Every instrument is to be tried again until it succeeds: the list is there from the start,
    // whatever ends the fleet, and loses each instrument as it succeeds.
    if (const QString problem = writeWhole(QDir(mLogFolder).filePath(kRetries), retries()); !problem.isEmpty()) {
        writeErrorLine(problem);
        return code(ExitStatus::Usage);
    }
    if (mOptions.procedure == Procedure::Check)
        listFolder(folder);
    mDisplay->begin(mLogFolder);
    if (mOptions.settings.timeScale != 1)
        mDisplay->warning(QStringLiteral("every wait is scaled by %1 (--time-scale): an instrument upgraded so has not "
                                         "had the waits it needs")
                              .arg(mOptions.settings.timeScale));
    if (const int ends = ProcessStarter::endsDescriptor(); ends >= 0) {
        mEnds = std::make_unique<QSocketNotifier>(ends, QSocketNotifier::Read);
        connect(mEnds.get(), &QSocketNotifier::activated, this, &Fleet::readEnds);
    }
    mRedraw.start();
    QTimer::singleShot(0, this, &Fleet::startNext);
    QCoreApplication::exec();
    mRedraw.stop();
    const bool recorded = record();
    const int status = exitStatus();
    mDisplay->summary(Events::summary(status, finishedResults()));
    // What could not be written is lost: the run is not whole however its instruments ended.
    return recorded ? status : std::max(status, code(ExitStatus::Failed));
}

QByteArray Fleet::retries() const
{
    QByteArray list = "# qd8400-upgrade: the instruments that did not succeed; again: --from " +
                      QFile::encodeName(QDir(mLogFolder).filePath(kRetries)) + '\n';
    for (const Slot &slot : mSlots)
        if (slot.status.end.result != Events::kSuccess && slot.status.end.result != Events::kReady)
            list += slot.status.address.toLatin1() + '\n';
    return list;
}

QList<Events::Result> Fleet::finishedResults() const
{
    QList<Events::Result> results;
    for (const Slot &slot : mSlots)
        if (slot.status.finished())
            results << slot.status.end;
    return results;
}

bool Fleet::record()
{
    const bool retriesWritten = writeFile(kRetries, retries());
    const QJsonObject summary = Events::summary(exitStatus(), finishedResults());
    return writeFile(QStringLiteral("summary.json"), Events::line(summary) + '\n') && retriesWritten;
}

bool Fleet::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString problem = writeWhole(QDir(mLogFolder).filePath(name), bytes);
    // Said once until the file is written again: a full disk would otherwise say it at every result.
    if (problem.isEmpty()) {
        mUnwritable.remove(name);
    } else if (!mUnwritable.contains(name)) {
        mUnwritable.insert(name);
        mDisplay->warning(problem);
    }
    return problem.isEmpty();
}

void Fleet::recordEnd(InstrumentStatus &instrument, const QByteArray &logged)
{
    const QString log = instrument.end.log;
    QDir().mkpath(QFileInfo(log).absolutePath());
    LogFile file(log, QString());
    file.Log_Add("\r\n* qd8400-upgrade: " + logged);
    file.flush();
    instrument.end.logIncomplete = file.loss().text();
    if (!QFileInfo::exists(log))
        instrument.end.log.clear();
    if (!instrument.end.logIncomplete.isEmpty())
        instrument.end.status = std::max(instrument.end.status, code(ExitStatus::Failed));
    const QString resultFile = Events::recordPath(log, mOptions.procedure);
    if (const QString problem = writeWhole(resultFile, Events::line(Events::result(instrument.end)) + '\n');
        !problem.isEmpty())
        mDisplay->warning(problem);
}

void Fleet::interrupted(int signal)
{
    if (signal == SIGWINCH) {
        mDisplay->resized();
        return;
    }
    const char *name = signal == SIGINT ? "SIGINT" : "SIGTERM";
    if (++mInterrupts > 1) {
        mDisplay->interrupt(Events::interrupt(name, mInterrupts, 0, mRunning));
        request(Handshake::kStop);
        return;
    }
    // The instruments that were waiting for their turn are not started.
    mDisplay->interrupt(Events::interrupt(name, mInterrupts, static_cast<qsizetype>(mQueued.size()), mRunning));
    for (; !mQueued.empty(); mQueued.pop_front())
        notStarted(*mQueued.front(), QString());
    record();
    request(Handshake::kStopIfUnchanged);
    if (mFinished == static_cast<qsizetype>(mSlots.size()))
        QCoreApplication::quit();
}

void Fleet::notStarted(Slot &slot, const QString &why)
{
    InstrumentStatus &instrument = slot.status;
    instrument.end = Events::ending(instrument.end, RunResult::NotStarted, mOptions.procedure, 0, why);
    recordEnd(instrument, "not started: " + (why.isEmpty() ? QByteArray("the fleet was interrupted") : why.toUtf8()));
    mDisplay->event(instrument, Events::result(instrument.end));
    ++mFinished;
}

void Fleet::request(const char *request)
{
    for (const Slot &slot : mSlots)
        if (slot.process && slot.process->running())
            slot.process->write(QByteArray(request) + '\n');
}

int Fleet::exitStatus() const
{
    // No instrument's process could begin its run: nothing was sent to any.
    if (std::all_of(mSlots.cbegin(), mSlots.cend(),
                    [](const Slot &slot) { return slot.exitCode == code(ExitStatus::Usage); }))
        return code(ExitStatus::Usage);
    int highest = 0;
    for (const Slot &slot : mSlots)
        highest = std::max(highest, slot.status.end.status);
    return highest;
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
    const QString path = QDir(folder).absolutePath();
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(path).toStdString(), error);
    if (error || !QFileInfo(path).isDir()) {
        const QString reason =
            error ? QString::fromLocal8Bit(error.message()) : QStringLiteral("a file of that name is there");
        writeErrorLine(QStringLiteral("cannot make the folder of logs %1: %2").arg(echoed(path), reason));
        return QString();
    }
    return path;
}

void Fleet::listFolder(const FolderCheck &check) const
{
    QList<Events::File> files;
    for (const UpgradeFile &file : check.files)
        files.append({file.name, file.size, file.damage.isEmpty() ? Events::kSound : file.damage});
    mDisplay->folder(Events::folder(QDir(mOptions.folder).absolutePath(), files));
}

void Fleet::startNext()
{
    while (!mQueued.empty() && mRunning < mLimit) {
        Slot &slot = *mQueued.front();
        mQueued.pop_front();
        ++mRunning;
        InstrumentProcess::Watchers watchers{[this, &slot] { readEvents(slot); }, nullptr,
                                             [this, &slot](InstrumentProcess::End end) { finished(slot, end); }};
        // What it says on standard error goes above the screen, which it would break on the terminal.
        if (mDisplay->passesOnAbove()) {
            watchers.errors = [this](const QByteArray &bytes) {
                // Its lines are each written whole, at once.
                for (const QByteArray &line : bytes.split('\n'))
                    if (!line.isEmpty())
                        mDisplay->passOn(QString::fromUtf8(line));
            };
        }
        slot.process = std::make_unique<InstrumentProcess>(std::move(watchers));
        const Handshake::Secret secret = Handshake::make();
        slot.clock.start();
        const QString problem = slot.process->start(
            Commands::instrumentArguments(mOptions, slot.status.address, mLogFolder), secret.environmentEntry);
        if (!problem.isEmpty()) {
            // Taken up after this loop, like any other that could not start.
            QTimer::singleShot(0, this, [this, &slot, problem] { failedToStart(slot, problem); });
            continue;
        }
        slot.process->write(secret.line);
        slot.status.pid = slot.process->pid();
        slot.status.waiting = mOptions.waitSeconds > 0;
        slot.status.waitingSince = std::chrono::steady_clock::now();
    }
}

void Fleet::giveTurns()
{
    while (mInterrupts == 0 && !mReady.empty() && mUpgrading < mTurns) {
        Slot &slot = *mReady.front();
        mReady.pop_front();
        slot.turnGiven = true;
        slot.status.awaitingTurn = false;
        ++mUpgrading;
        slot.process->write(QByteArray(Handshake::kGo) + '\n');
    }
}

void Fleet::failedToStart(Slot &slot, const QString &problem)
{
    const QString why = "its process could not be started: " + problem;
    slot.process.reset();
    slot.status.waiting = false;
    --mRunning;
    if (++slot.startsFailed > 1 || mInterrupts > 0) {
        notStarted(slot, why);
        record();
        endOrStartNext();
        return;
    }
    // The machine holds no more than are running now: the instrument waits for the next to end.
    mLimit = std::max<qsizetype>(mRunning, 1);
    mQueued.push_front(&slot);
    if (mRunning == 0)
        QTimer::singleShot(kRetryAlone, this, &Fleet::startNext);
}

void Fleet::endOrStartNext()
{
    if (mFinished == static_cast<qsizetype>(mSlots.size()))
        QCoreApplication::quit();
    else
        startNext();
}

void Fleet::readEvents(Slot &slot)
{
    InstrumentProcess &process = *slot.process;
    InstrumentStatus &instrument = slot.status;
    while (process.canReadLine()) {
        const QJsonObject event = QJsonDocument::fromJson(process.readLine().trimmed()).object();
        const QString name = Events::nameOf(event);
        if (name == Events::kStart) {
            instrument.started = true;
        } else if (name == Events::kState) {
            if (const int state = event.value("state").toInt(); state != 0)
                instrument.end.state = state;
        } else if (name == Events::kCaption) {
            instrument.end.caption = event.value("text").toString();
            instrument.caption = instrument.end.caption.section(QStringLiteral("\r\n"), 0, 0);
            instrument.file.clear();
        } else if (name == Events::kProgress) {
            instrument.percent = event.value("percent").toInt();
            instrument.file.clear();
        } else if (name == Events::kTransfer) {
            instrument.file = event.value("file").toString();
            instrument.sent = event.value("sent").toInteger();
            instrument.total = event.value("total").toInteger();
        } else if (name == Events::kWaiting) {
            instrument.reason = event.value("reason").toString();
        } else if (name == Events::kMaintenance) {
            instrument.waiting = false;
            // A check goes on at once; an upgrade waits for its turn.
            if (mOptions.procedure == Procedure::Upgrade) {
                instrument.awaitingTurn = true;
                instrument.caption = QStringLiteral("in maintenance mode: waiting for its turn");
                mReady.push_back(&slot);
                giveTurns();
            }
        } else if (name == Events::kResult) {
            instrument.end = Events::resultOf(event);
            // On disk before it is shown: whatever ends the fleet now, the lists hold this result.
            record();
        } else if (name.isEmpty()) {
            continue;
        }
        mDisplay->event(instrument, event);
    }
}

void Fleet::readEnds()
{
    bool gone = false;
    while (const std::optional<ProcessStarter::Ended> ended = ProcessStarter::nextEnd(gone)) {
        const auto ending = std::find_if(mSlots.begin(), mSlots.end(), [&ended](const Slot &slot) {
            return slot.process && slot.process->running() && slot.process->pid() == ended->pid;
        });
        if (ending != mSlots.end())
            ending->process->ended(ended->status);
    }
    if (!gone)
        return;
    // Those still running can now be seen to end only by their output closing.
    mEnds->setEnabled(false);
    for (Slot &slot : mSlots)
        if (slot.process && slot.process->running())
            slot.process->orphaned();
}

void Fleet::finished(Slot &slot, InstrumentProcess::End end)
{
    slot.exitCode = end.signalled || end.unknown ? -1 : end.code;
    InstrumentStatus &instrument = slot.status;
    if (!instrument.finished()) {
        // The instrument's process ended without its result: it did not start, it crashed or a
        // signal ended it. Its events are complete all the same.
        const qint64 elapsed = slot.clock.elapsed();
        if (!instrument.started) {
            instrument.started = true;
            mDisplay->event(instrument,
                            Events::start(instrument.address, mOptions.procedure, QDir(mOptions.folder).absolutePath(),
                                          QDateTime::currentDateTimeUtc().addMSecs(-elapsed), instrument.pid,
                                          mOptions.settings.timeScale));
        }
        const QString why = endOfProcess(end);
        instrument.end = Events::ending(instrument.end, RunResult::Failure, mOptions.procedure,
                                        static_cast<double>(elapsed) / 1000, why);
        // Past the read-only part the instrument may be half upgraded: it needs a person.
        if (!RunRules::changedNothingAt(instrument.end.state))
            instrument.end.status = code(ExitStatus::Halted);
        recordEnd(instrument, why.toUtf8() + " at state " + QByteArray::number(instrument.end.state));
        record();
        mDisplay->event(instrument, Events::result(instrument.end));
    }
    --mRunning;
    ++mFinished;
    std::erase(mReady, &slot);
    if (slot.turnGiven)
        --mUpgrading;
    giveTurns();
    endOrStartNext();
}
