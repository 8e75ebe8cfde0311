#include "Options.h"

#include "UpgradeFolder.h"

#include <QCommandLineParser>
#include <QDir>

#include <arpa/inet.h>

namespace {

const QString kCheck = QStringLiteral("check");
const QString kRun = QStringLiteral("run");
// The hidden commands of one instrument's process.
const QString kInstrumentSuffix = QStringLiteral("-instrument");

// The address in its plain dotted form, or empty when the text is no IPv4 address.
QString canonicalAddress(const QString &text)
{
    in_addr address{};
    if (::inet_pton(AF_INET, text.toLatin1().constData(), &address) != 1)
        return QString();
    char plain[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, plain, sizeof plain);
    return QString::fromLatin1(plain);
}

QString missingFiles(const QString &folder)
{
    QStringList missing;
    for (const QString &name : UpgradeFolder::kRequiredFiles)
        if (!UpgradeFolder::FileExists(QDir(folder).filePath(name)))
            missing << name;
    return missing.join(QLatin1String(", "));
}

std::optional<long> number(const QCommandLineParser &parser, const QString &name, long least, long most)
{
    bool ok = false;
    const long value = parser.value(name).toLong(&ok);
    return ok && value >= least && value <= most ? std::optional<long>(value) : std::nullopt;
}

} // namespace

QStringList Options::instrumentArguments(const QString &address, const QString &folderOfLogs) const
{
    return {(command == Command::Run ? kRun : kCheck) + kInstrumentSuffix,
            folder,
            address,
            "--log-dir",
            folderOfLogs,
            "--telnet-port",
            QString::number(telnetPort),
            "--ftp-port",
            QString::number(ftpPort),
            "--time-scale",
            QString::number(timeScale, 'g', 17)};
}

ParsedOptions parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Checks that QD8400 instruments are ready for a firmware upgrade, and upgrades them.\n\n"
        "check FOLDER ADDRESS...  read-only: the upgrade folder, the network, the log-in, the\n"
        "                         instrument's identity, maintenance mode and its FTP server\n"
        "run FOLDER ADDRESS...    the whole upgrade of each instrument, side by side\n\n"
        "Exit status: 0 every instrument upgraded (or ready), 1 at least one failed (or is not\n"
        "ready), 2 at least one halted and needs a person, 3 usage or folder error (nothing sent).");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("command", "check or run");
    parser.addPositionalArgument("folder", "the folder of upgrade files");
    parser.addPositionalArgument("address", "the instruments' IPv4 addresses", "ADDRESS...");
    parser.addOptions({
        {{"j", "jobs"}, "Upgrade at most N instruments at once (default: all).", "N"},
        {{"y", "yes"}, "Do not ask for confirmation before upgrading."},
        {"json", "Print one JSON object per line for each event."},
        {"log-dir", "Write DIR/ADDRESS/logfile.txt (default: a new folder here).", "DIR"},
        {"telnet-port", "The instruments' Telnet port (default 23).", "PORT", "23"},
        {"ftp-port", "The instruments' FTP port (default 21).", "PORT", "21"},
        {"time-scale", "For test benches: scale every wait by F (default 1).", "F", "1"},
    });
    if (!parser.parse(arguments))
        return {std::nullopt, parser.errorText()};
    if (parser.isSet("help"))
        parser.showHelp(0);
    if (parser.isSet("version"))
        parser.showVersion();

    const QStringList positional = parser.positionalArguments();
    if (positional.size() < 3)
        return {std::nullopt, "give a command (check or run), the upgrade folder and at least one address; see --help"};
    Options options;
    QString command = positional[0];
    if (command.endsWith(kInstrumentSuffix)) {
        options.instrument = true;
        command.chop(kInstrumentSuffix.size());
    }
    if (command != kCheck && command != kRun)
        return {std::nullopt, "unknown command: " + positional[0]};
    options.command = command == kRun ? Options::Command::Run : Options::Command::Check;

    options.folder = positional[1];
    if (!UpgradeFolder::CheckUpgradeFiles(options.folder).mUpgradeFilesFound)
        return {std::nullopt, options.folder + ": the folder lacks the upgrade files " + missingFiles(options.folder)};
    for (const QString &text : positional.mid(2)) {
        const QString address = canonicalAddress(text);
        if (address.isEmpty())
            return {std::nullopt, "not a valid IPv4 address: " + text};
        if (options.addresses.contains(address))
            return {std::nullopt, "the address " + address + " is given twice"};
        options.addresses << address;
    }
    if (options.instrument && options.addresses.size() != 1)
        return {std::nullopt, "one address at a time"};

    if (parser.isSet("jobs")) {
        const std::optional<long> jobs = number(parser, "jobs", 1, 100000);
        if (!jobs)
            return {std::nullopt, "--jobs needs a whole number of at least 1, not " + parser.value("jobs")};
        options.jobs = static_cast<int>(*jobs);
    }
    const std::optional<long> telnetPort = number(parser, "telnet-port", 1, 65535);
    const std::optional<long> ftpPort = number(parser, "ftp-port", 1, 65535);
    if (!telnetPort || !ftpPort)
        return {std::nullopt, "a port is a whole number from 1 to 65535"};
    options.telnetPort = static_cast<quint16>(*telnetPort);
    options.ftpPort = static_cast<quint16>(*ftpPort);
    bool scaled = false;
    options.timeScale = parser.value("time-scale").toDouble(&scaled);
    if (!scaled || options.timeScale <= 0 || options.timeScale > 1)
        return {std::nullopt, "--time-scale needs a number above 0, at most 1, not " + parser.value("time-scale")};
    options.yes = parser.isSet("yes");
    options.json = parser.isSet("json");
    options.logDir = parser.value("log-dir");
    return {options, QString()};
}
