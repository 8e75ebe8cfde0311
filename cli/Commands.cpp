#include "Commands.h"

#include "AddressFile.h"
#include "Echoed.h"
#include "ExitStatus.h"
#include "Fleet.h"
#include "Octets.h"
#include "SystemError.h"
#include "UpgradeFolder.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <dirent.h>
#include <span>
#include <sys/stat.h>

namespace Commands {

namespace {

enum TakenBy : unsigned
{
    kByCheck = 1,
    kByRun = 2,
    kByBoth = kByCheck | kByRun,
};

int runFleet(const Options &options)
{
    return Fleet(options).exec();
}

struct CommandRow
{
    const char *name;
    Procedure procedure;
    const char *arguments;
    const char *summary;
    TakenBy mask;
    int (*handler)(const Options &);
};

const CommandRow kCommands[] = {
    {"check", Procedure::Check, "FOLDER ADDRESS...",
     "read-only: the upgrade folder, the network, the log-in, the\n"
     "instrument's identity, maintenance mode and its FTP server",
     kByCheck, runFleet},
    {"run", Procedure::Upgrade, "FOLDER ADDRESS...", "the whole upgrade of each instrument, side by side", kByRun,
     runFleet},
};

// A whole number from least to most, or the problem.
QString takeNumber(const char *option, const QString &text, long least, long most, long &value)
{
    bool ok = false;
    value = text.toLong(&ok);
    if (ok && value >= least && value <= most)
        return QString();
    return QStringLiteral("--%1 needs a whole number from %2 to %3, not %4")
        .arg(option)
        .arg(least)
        .arg(most)
        .arg(echoed(text));
}

QString takePort(const char *option, const QString &text, quint16 &port)
{
    long value = 0;
    const QString problem = takeNumber(option, text, 1, 65535, value);
    port = static_cast<quint16>(value);
    return problem;
}

template <bool Options::*flag> QString setFlag(Options &options, const QString &)
{
    options.*flag = true;
    return QString();
}

// A duration of whole seconds, minutes or hours ("90s", "30m", "2h"; a bare number: seconds), up to
// a day; 0: none.
QString takeDuration(const char *option, const QString &text, int &seconds)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,6})([smh]?)$"));
    const QRegularExpressionMatch match = form.match(text);
    const int unit = match.captured(2) == "h" ? 3600 : match.captured(2) == "m" ? 60 : 1;
    const qint64 value = match.hasMatch() ? match.captured(1).toLongLong() * unit : -1;
    seconds = static_cast<int>(std::clamp<qint64>(value, -1, 86401));
    if (seconds >= 0 && seconds <= 86400)
        return QString();
    return QStringLiteral("--%1 needs a duration such as 90s, 30m or 2h (at most 24h), not %2")
        .arg(QLatin1String(option), echoed(text));
}

// The shortest time of the script is 1000 ms: at this scale or above every timer lasts 1 ms or more.
constexpr double kLeastTimeScale = 0.001;

struct OptionRow
{
    QStringList names;
    const char *description;
    const char *valueName = nullptr; // null: a flag
    TakenBy takenBy = kByBoth;
    // Stores the value; returns the problem, or an empty text.
    QString (*take)(Options &, const QString &value) = nullptr;
    // The value given to each instrument's process; null: the option is the fleet's alone.
    QString (*give)(const Options &) = nullptr;
};

const OptionRow kOptions[] = {
    {.names = {"j", "jobs"},
     .description = "Upgrade at most N instruments at once (default: as many as this machine holds; the others "
                    "wait for their turn).",
     .valueName = "N",
     .take =
         [](Options &o, const QString &v) {
             long jobs = 0;
             const QString problem = takeNumber("jobs", v, 1, 100000, jobs);
             o.jobs = static_cast<int>(jobs);
             return problem;
         }},
    {.names = {"from"},
     .description = "Also the addresses in FILE, one a line (blank lines and # comments left out; - : standard "
                    "input), such as DIR/retry.txt of an earlier run.",
     .valueName = "FILE",
     .take =
         [](Options &o, const QString &v) {
             o.from = v;
             return QString();
         }},
    {.names = {"y", "yes"},
     .description = "run: do not ask for confirmation before upgrading.",
     .takenBy = kByRun,
     .take = setFlag<&Options::yes>},
    {.names = {"json"},
     .description = "Print one JSON object per line for each event.",
     .take = setFlag<&Options::json>},
    {.names = {"log-dir"},
     .description = "Write DIR/ADDRESS/logfile.txt (default: a new folder here).",
     .valueName = "DIR",
     .take =
         [](Options &o, const QString &v) {
             o.logDir = v;
             return QString();
         },
     .give = [](const Options &o) { return o.logDir; }},
    {.names = {"wait"},
     .description = "Wait up to DURATION (such as 30m or 90s) for each instrument to come up in maintenance mode, "
                    "trying it read-only every 5 to 30 s; run: each is upgraded once it is, within --jobs.",
     .valueName = "DURATION",
     .take = [](Options &o, const QString &v) { return takeDuration("wait", v, o.waitSeconds); },
     .give = [](const Options &o) { return QString::number(o.waitSeconds); }},
    {.names = {"telnet-port"},
     .description = "The instruments' Telnet port (default 23).",
     .valueName = "PORT",
     .take = [](Options &o, const QString &v) { return takePort("telnet-port", v, o.settings.telnetPort); },
     .give = [](const Options &o) { return QString::number(o.settings.telnetPort); }},
    {.names = {"ftp-port"},
     .description = "The instruments' FTP port (default 21).",
     .valueName = "PORT",
     .take = [](Options &o, const QString &v) { return takePort("ftp-port", v, o.settings.ftpPort); },
     .give = [](const Options &o) { return QString::number(o.settings.ftpPort); }},
    {.names = {"time-scale"},
     .description = "For test benches: scale every wait by F (0.001 to 1, default 1).",
     .valueName = "F",
     .take =
         [](Options &o, const QString &v) {
             bool ok = false;
             o.settings.timeScale = v.toDouble(&ok);
             if (ok && std::isfinite(o.settings.timeScale) && o.settings.timeScale >= kLeastTimeScale &&
                 o.settings.timeScale <= 1)
                 return QString();
             return QStringLiteral("--time-scale needs a number from %1 to 1, not %2")
                 .arg(kLeastTimeScale)
                 .arg(echoed(v));
         },
     .give = [](const Options &o) { return QString::number(o.settings.timeScale, 'g', 17); }},
};

const CommandRow *findCommand(const QString &name)
{
    for (const CommandRow &row : kCommands)
        if (name == QLatin1String(row.name))
            return &row;
    return nullptr;
}

const CommandRow &rowOf(Procedure procedure)
{
    for (const CommandRow &row : kCommands)
        if (row.procedure == procedure)
            return row;
    Q_UNREACHABLE();
}

QString description()
{
    QString text =
        QStringLiteral("Checks that QD8400 instruments are ready for a firmware upgrade, and upgrades them.\n\n");
    for (const CommandRow &row : kCommands) {
        const QString head = QStringLiteral("%1 %2").arg(row.name, row.arguments);
        text +=
            QStringLiteral("%1  %2\n").arg(head, -23).arg(QString(row.summary).replace("\n", "\n" + QString(25, ' ')));
    }
    return text + "\nCtrl-C (SIGINT) or SIGTERM: no more instruments start, those that have changed nothing yet\n"
                  "stop, the others run on to their end; a second one stops them all now (they may not\n"
                  "start again). SIGHUP and a closed output change nothing. Results: DIR/ADDRESS/result.json\n"
                  "(a check's: DIR/ADDRESS/check.json) and DIR/summary.json; DIR/retry.txt lists those that\n"
                  "did not succeed, for --from.\n\n"
                  "One process at a time logs in to an instrument from this PC: each holds the lock\n"
                  "/run/lock/qd8400upgrade-ADDRESS[-PORT].lock (else in $XDG_RUNTIME_DIR: one user's only)\n"
                  "until it ends; an instrument another process holds is not started (check: not ready), the\n"
                  "holder named. Two PCs upgrading one instrument do not see each other.\n\n"
                  "Exit status: 0 every instrument upgraded (or ready), 1 at least one failed, not ready or\n"
                  "not started (its lock held elsewhere among the reasons), or a log incomplete, 2 at least\n"
                  "one halted or stopped and needs a person, 3 usage or folder error (nothing sent).";
}

QString missingFiles(const QString &folder)
{
    QStringList missing;
    for (const QString &name : UpgradeFolder::kRequiredFiles)
        if (!UpgradeFolder::FileExists(QDir(folder).filePath(name)))
            missing << name;
    return missing.join(QLatin1String(", "));
}

QString unreadable(int error)
{
    return QStringLiteral(": the folder cannot be read: ") + systemError(error);
}

// run refuses a damaged upgrade file here; check lists every file with its damage.
QString folderProblem(const QString &folder, Procedure procedure)
{
    const QString named = echoed(folder);
    const QByteArray path = QFile::encodeName(folder);
    struct stat info = {};
    if (::stat(path.constData(), &info) != 0)
        return named + (errno == ENOENT || errno == ENOTDIR ? QStringLiteral(": no such folder") : unreadable(errno));
    if (!S_ISDIR(info.st_mode))
        return named + ": not a folder";
    if (DIR *listing = ::opendir(path.constData()))
        ::closedir(listing);
    else
        return named + unreadable(errno);
    if (!UpgradeFolder::CheckUpgradeFiles(folder).mUpgradeFilesFound)
        return named + ": the folder lacks the upgrade files " + missingFiles(folder);
    if (procedure == Procedure::Check)
        return QString();
    const FolderCheck check = UpgradeFolder::CheckFolder(folder);
    const UpgradeFile *damaged = check.firstDamaged();
    return damaged ? named + ": " + UpgradeFolder::damageNote(*damaged) : QString();
}

} // namespace

Parsed parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    // Not Qt's help option: its --help-all would list the options of Qt's own, which this program has none of.
    parser.addOption(QCommandLineOption({"h", "help"}, "Displays help on commandline options."));
    parser.addVersionOption();
    parser.addPositionalArgument("command", "check or run");
    parser.addPositionalArgument("folder", "the folder of upgrade files");
    parser.addPositionalArgument("address", "the instruments' IPv4 addresses (or --from)", "[ADDRESS...]");
    for (const OptionRow &row : kOptions)
        parser.addOption(row.valueName ? QCommandLineOption(row.names, row.description, row.valueName)
                                       : QCommandLineOption(row.names, row.description));
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        return {std::nullopt, unknown.isEmpty() ? parser.errorText()
                                                : QStringLiteral("Unknown option '%1'.").arg(echoed(unknown.first()))};
    }
    if (parser.isSet("help"))
        parser.showHelp(0);
    if (parser.isSet("version"))
        parser.showVersion();

    const QStringList positional = parser.positionalArguments();
    const QString noAddress = "give a command (check or run), the upgrade folder and at least one address; see --help";
    if (positional.size() < 2)
        return {std::nullopt, noAddress};
    const CommandRow *command = findCommand(positional[0]);
    if (!command)
        return {std::nullopt, "unknown command: " + echoed(positional[0])};
    Options options;
    options.procedure = command->procedure;

    const QStringList given = parser.optionNames();
    for (const OptionRow &row : kOptions) {
        const auto times =
            std::count_if(given.cbegin(), given.cend(), [&](const QString &name) { return row.names.contains(name); });
        if (times == 0)
            continue;
        const QString name = "--" + row.names.last();
        if (times > 1)
            return {std::nullopt, name + " is given more than once"};
        if (!(row.takenBy & command->mask))
            return {std::nullopt, QStringLiteral("%1 does not take %2").arg(command->name, name)};
        if (const QString problem = row.take(options, parser.value(row.names.last())); !problem.isEmpty())
            return {std::nullopt, problem};
    }

    options.folder = positional[1];
    if (const QString problem = folderProblem(options.folder, options.procedure); !problem.isEmpty())
        return {std::nullopt, problem};
    // Where an address came from, in its problem: nothing for the command line, the file's line.
    QSet<QString> seen;
    const auto add = [&options, &seen](const QString &text, const QString &where) {
        const Octets::Parsed address = Octets::deviceAddress(text);
        if (address.address.isEmpty())
            return where + address.problem;
        if (seen.contains(address.address))
            return where + "the address " + address.address + " is given twice";
        seen.insert(address.address);
        options.addresses << address.address;
        return QString();
    };
    for (const QString &text : positional.mid(2))
        if (const QString problem = add(text, QString()); !problem.isEmpty())
            return {std::nullopt, problem};
    if (!options.from.isEmpty()) {
        const AddressFile::Read file = AddressFile::read(options.from);
        if (!file.problem.isEmpty())
            return {std::nullopt, file.problem};
        for (const AddressFile::Line &line : file.addresses)
            if (const QString problem =
                    add(line.text,
                        QStringLiteral("%1 line %2: ").arg(echoed(AddressFile::nameOf(options.from))).arg(line.number));
                !problem.isEmpty())
                return {std::nullopt, problem};
    }
    if (options.addresses.isEmpty())
        return {std::nullopt, noAddress};
    return {options, QString()};
}

QStringList instrumentArguments(const Options &options, const QString &address, const QString &logFolder)
{
    Options instrument = options;
    instrument.logDir = logFolder;
    QStringList arguments{rowOf(options.procedure).name, options.folder, address};
    for (const OptionRow &row : kOptions)
        if (row.give)
            arguments << "--" + row.names.last() << row.give(instrument);
    return arguments;
}

QString nameOf(Procedure procedure)
{
    return QLatin1String(rowOf(procedure).name);
}

bool startsInstruments(const char *name)
{
    return findCommand(QString::fromLocal8Bit(name)) != nullptr;
}

QList<OptionText> options()
{
    QList<OptionText> texts;
    for (const OptionRow &row : kOptions) {
        QStringList commands;
        for (const CommandRow &command : kCommands)
            if (row.takenBy & command.mask)
                commands << command.name;
        texts.append({row.names, row.valueName, commands, row.description, row.give ? row.give(Options()) : QString()});
    }
    return texts;
}

int run(const Options &options)
{
    return rowOf(options.procedure).handler(options);
}

} // namespace Commands
