// The command line qd8400-upgrade, run as a program against simulated instruments, each on its own
// loopback address: the first on free ports, the others on the same ports.
#include "Instrument.h"
#include "UpgradeFiles.h"

#include <QJsonArray>
#include <QTest>

#include <csignal>
#include <memory>
#include <optional>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kTimeScale[] = "0.05";

struct Outcome
{
    int status = -1;
    QByteArray out;
    QByteArray err;
    QList<QJsonObject> events; // the lines of standard output that are JSON objects
    int lines = 0;

    QJsonObject result(const QString &address) const
    {
        for (const QJsonObject &event : events)
            if (event["event"] == "result" && event["address"] == address)
                return event;
        return {};
    }

    // Standard output written since, and the events among all of it.
    Outcome &add(const QByteArray &written)
    {
        out += written;
        lines = 0;
        events.clear();
        for (const QByteArray &line : out.split('\n')) {
            lines += !line.isEmpty();
            if (const QJsonDocument document = QJsonDocument::fromJson(line); document.isObject())
                events << document.object();
        }
        return *this;
    }
};

// A file's JSON object; an empty one if it is missing.
QJsonObject jsonIn(const QString &path)
{
    return QJsonDocument::fromJson(FtpServerProcess::read(path)).object();
}

// The program in namespaces of its own (unshare's letters: m mounts, n a network; without root in a
// user namespace too), once the shell's line has made them ready; "$0" in the line is the place.
QStringList prepared(const QString &kinds, const QString &line, const QString &place = "sh")
{
    return {"/usr/bin/unshare",
            (geteuid() == 0 ? "-" : "-r") + kinds,
            "/bin/sh",
            "-c",
            line + " && exec \"$@\"",
            place,
            QD_CLI};
}

// The program, or another one given as the first argument (in its own network, on its own
// terminal), with what is written on its standard input and a variable of its environment.
Outcome runProgram(const QStringList &arguments, const QByteArray &input = {}, const QString &variable = {})
{
    QProcess program;
    // No controlling terminal: the test's own would be asked for a confirmation.
    program.setChildProcessModifier([] { ::setsid(); });
    if (!variable.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
        program.setProcessEnvironment(environment);
    }
    const bool wrapped = arguments.first().startsWith('/');
    program.start(wrapped ? arguments.first() : QD_CLI, wrapped ? arguments.mid(1) : arguments);
    program.write(input);
    program.closeWriteChannel();
    program.waitForFinished(180000);
    Outcome outcome{program.exitCode(), {}, program.readAllStandardError(), {}, 0};
    return outcome.add(program.readAllStandardOutput());
}

QString shellQuoted(QStringList words)
{
    for (QString &word : words)
        word = "'" + word.replace("'", "'\\''") + "'";
    return words.join(' ');
}

// Simulated instruments at 127.0.<net>.1, .2, ... in the given modes, and a folder for the logs.
class Fleet
{
public:
    Fleet(int net, const QList<QStringList> &modes)
    {
        SimulatorPlace place;
        for (qsizetype i = 0; i < modes.size(); ++i) {
            place.address = QStringLiteral("127.0.%1.%2").arg(net).arg(i + 1);
            mAddresses << place.address;
            mInstruments.push_back(std::make_unique<Instrument>(modes[i], QStringList{}, place));
            place.telnetPort = mInstruments.front()->telnetPort();
            place.ftpPort = mInstruments.front()->ftpPort();
        }
    }

    Instrument &operator[](qsizetype i) { return *mInstruments[static_cast<size_t>(i)]; }
    QString address(qsizetype i) const { return mAddresses[i]; }
    QString logs() const { return mLogs.path(); }

    // The command for every instrument of the fleet, with the ports, the time scale and the logs.
    QStringList arguments(const QString &command, const QStringList &more = {}, const QString &scale = kTimeScale)
    {
        return QStringList{command, (*this)[0].upgradeFolder()} + mAddresses + more +
               QStringList{"--telnet-port", QString::number((*this)[0].telnetPort()),
                           "--ftp-port",    QString::number((*this)[0].ftpPort()),
                           "--time-scale",  scale,
                           "--log-dir",     mLogs.path()};
    }

private:
    std::vector<std::unique_ptr<Instrument>> mInstruments;
    QStringList mAddresses;
    QTemporaryDir mLogs;
};

// A terminal of the given size as the program's output draws it: its screen, the lines that
// scrolled off its top, the screen as it stood at the end of the last frame with the counts on it,
// the widest line of a frame since the terminal last changed its size. ESC ] resize;ROWS;COLUMNS BEL
// in the output (written by the test's shell once it has changed the size) makes it smaller as
// xterm does: its lines are cut to the new width, the lines below the cursor go first, then those
// at the top into the scrollback.
struct Terminal
{
    Terminal(int rows, int columns) : rows(rows), columns(columns), screen(rows, QString()) {}

    int rows;
    int columns;
    QStringList screen;
    QStringList scrolledOff;
    QStringList lastFrame;
    int row = 0;
    int column = 0;
    qsizetype widest = 0;
    bool aboveTheTop = false; // the cursor was sent above the screen

    void resize(int newRows, int newColumns)
    {
        for (QString &line : screen)
            line.truncate(newColumns);
        for (; screen.size() > newRows; --rows) {
            if (screen.size() - 1 > row) {
                screen.removeLast();
            } else {
                scrolledOff << screen.takeFirst();
                --row;
            }
        }
        columns = newColumns;
        widest = 0;
    }

    void feed(const QString &text)
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.mid(i, 9) == "\x1b]resize;") {
                const qsizetype end = text.indexOf('\a', i);
                const QStringList size = text.mid(i + 9, end - i - 9).split(';');
                resize(size[0].toInt(), size[1].toInt());
                i = end;
            } else if (text[i] == '\x1b') { // ESC [ N A (up), 2K (line), J (below)
                qsizetype end = i + 2;
                while (text[end].isDigit())
                    ++end;
                const int n = text.mid(i + 2, end - i - 2).toInt();
                if (text[end] == 'A') {
                    aboveTheTop |= n > row;
                    row = std::max(0, row - n);
                } else if (text[end] == 'K') {
                    screen[row].clear();
                } else if (text[end] == 'J') {
                    screen[row].truncate(column);
                    for (int below = row + 1; below < rows; ++below)
                        screen[below].clear();
                    if (screen.filter(QRegularExpression(" running(,|$)")).size() == 1) {
                        lastFrame = screen;
                        // The frame's own lines: from its header down to the cursor.
                        int top = row;
                        while (top > 0 && !screen[top].contains(" running"))
                            --top;
                        for (int line = top; line <= row; ++line)
                            widest = std::max(widest, screen[line].size());
                    }
                }
                i = end;
            } else if (text[i] == '\r') {
                column = 0;
            } else if (text[i] == '\n') {
                if (++row == rows) {
                    scrolledOff << screen.takeFirst();
                    screen << QString();
                    row = rows - 1;
                }
            } else {
                screen[row] = screen[row].leftJustified(column).left(column) + text[i] + screen[row].mid(column + 1);
                ++column;
            }
        }
    }
};

// The last row of lines that begins with the address, and the indented lines below it; empty if any
// of them does not fit within columns - 1.
QStringList rowOf(const QStringList &lines, const QString &address, int columns)
{
    qsizetype first = lines.size();
    while (--first >= 0 && !lines[first].startsWith(address + ' '))
        ;
    QStringList row = lines.mid(first, 1);
    for (qsizetype i = first + 1; i < lines.size() && lines[i].startsWith(' '); ++i)
        row << lines[i];
    const bool fits = std::all_of(row.cbegin(), row.cend(), [&](const QString &line) { return line.size() < columns; });
    return fits ? row : QStringList();
}

QStringList names(const QList<QJsonObject> &events)
{
    QStringList list;
    for (const QJsonObject &event : events)
        if (list.isEmpty() || list.last() != event["event"].toString())
            list << event["event"].toString();
    return list;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    // Three instruments: one upgraded, one failed with its message, one halted; the halt wins. The
    // upgraded one's events come in the order they happened. An open-files limit that holds one
    // instrument's process at a time, by default and with more --jobs than it holds: they take turns.
    void fleetOfThree_data()
    {
        QTest::addColumn<bool>("json");
        QTest::newRow("summary table, more jobs than the open files hold") << false;
        QTest::newRow("JSON events") << true;
    }

    void fleetOfThree()
    {
        QFETCH(bool, json);
        Fleet fleet(json ? 32 : 33, {{}, {"ftp-break-upload=bzimage"}, {"cmp-odd=qd8400.rfs"}});
        const Outcome outcome = runProgram(QStringList{"/usr/bin/prlimit", "--nofile=18:18", QD_CLI} +
                                           fleet.arguments("run", {"--yes", json ? "--json" : "--jobs=3"}));
        QCOMPARE(outcome.status, 2);
        QCOMPARE(fleet[0].state()["installed"].toObject()["bzimage"].toString(), "new");
        const QStringList results{"success", "failed", "halted"};
        const QStringList captions{"The QD8400 firmware has been up upgraded and the QD8400 rebooted.",
                                   "Transferring new kernel file", "Content checking new root file system file"};
        const QStringList rows{"success \\(waits scaled 0.05\\)",
                               "failed at: Transferring new kernel file \\(waits scaled 0.05\\)\n +Transfer of the "
                               "kernel system file has failed\\.\n +log: LOG",
                               "halted at: Content checking new root file system file \\(state 7081; waits scaled "
                               "0.05\\)\n +log: LOG"};
        for (qsizetype i = 0; i < results.size(); ++i) {
            const QString address = fleet.address(i);
            const QString log = QDir(fleet.logs()).filePath(address + "/logfile.txt");
            if (json) {
                const QJsonObject result = outcome.result(address);
                QCOMPARE(result["result"].toString(), results[i]);
                QCOMPARE(result["log"].toString(), log);
                QCOMPARE(result["caption"].toString().section("\r\n", 0, 0), captions[i]);
            } else {
                const QRegularExpression row('\n' + QRegularExpression::escape(address) + " +[0-9.]+ s  " +
                                             QString(rows[i]).replace("LOG", QRegularExpression::escape(log)) + '\n');
                QVERIFY2(row.match(outcome.out).hasMatch(), outcome.out);
            }
        }
        if (!json) {
            QVERIFY2(QRegularExpression("\n1 success, 1 failed, 1 halted in [0-9]+ s\n$").match(outcome.out).hasMatch(),
                     outcome.out);
            return;
        }
        QCOMPARE(outcome.events.size(), outcome.lines);
        QCOMPARE(names(outcome.events).last(), "summary");
        QList<QJsonObject> events;
        for (const QJsonObject &event : outcome.events)
            if (event["address"] == fleet.address(0))
                events << event;
        QCOMPARE(names(events).first(), "start");
        QList<int> states;
        long percent = 0;
        QMap<QString, qint64> sent; // each file's transfer events count up to its size, which each gives
        for (const QJsonObject &event : events) {
            states << event["state"].toInt(-1);
            if (event["event"] == "progress") {
                QVERIFY(event["percent"].toInt() >= percent || event["value"].toInt() == 0);
                percent = event["percent"].toInt();
            }
            const QString file = event["file"].toString();
            if (event["event"] == "transfer") {
                QCOMPARE(event["total"].toInteger(), QFileInfo(QDir(fleet[0].upgradeFolder()).filePath(file)).size());
                QVERIFY2(event["sent"].toInteger() >= sent.value(file, 0), qPrintable(file));
                sent[file] = event["sent"].toInteger();
            }
        }
        states.removeAll(-1);
        QCOMPARE(states.mid(0, 5), (QList<int>{81, 1022, 1033, 2011, 2021}));
        QCOMPARE(states.mid(states.size() - 3), (QList<int>{10011, 0, 10011})); // the result gives the last
        QCOMPARE(percent, 100);
        QCOMPARE(sent.value("qd8nand3.tar"), QFileInfo(QDir(fleet[0].upgradeFolder()).filePath("qd8nand3.tar")).size());
        QCOMPARE(fleet[0].state()["reboots"].toInt(), 1);
    }

    // Read-only: the three commands alone, then the FTP log-in if the instrument is in maintenance mode.
    // Its result, state and caption are those of its last step, which only reads.
    void check_data()
    {
        QTest::addColumn<QStringList>("modes");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("columns"); // of the terminal made by script; 0: none
        QTest::addColumn<QString>("line");
        QTest::newRow("ready") << QStringList{} << 0 << 0 << "ready (waits scaled 0.05)";
        const QString notReady =
            "not-ready: The QD8400 you are attempting to upgrade has not been rebooted into the maintenance mode. "
            "Please read the upgrade documentation for an explanation of how to put the QD8400 into maintenance mode. "
            "Stopping firmware upgrade operation. (waits scaled 0.05)";
        // The live screen, and the line wrapped between words below the address.
        QTest::newRow("not in maintenance mode, 40 columns") << QStringList{"not-maintenance"} << 1 << 40 << notReady;
    }

    void check()
    {
        QFETCH(QStringList, modes);
        QFETCH(int, status);
        QFETCH(int, columns);
        QFETCH(QString, line);
        Fleet fleet(34 + status + columns, {modes});
        const QStringList arguments = fleet.arguments("check");
        const Outcome outcome = columns == 0 ? runProgram(arguments)
                                             : runProgram({"/usr/bin/script", "-qec",
                                                           QStringLiteral("stty rows 10 cols %1; exec ").arg(columns) +
                                                               shellQuoted(QStringList{QD_CLI} + arguments),
                                                           "/dev/null"});
        QCOMPARE(outcome.status, status);
        if (columns > 0) {
            Terminal terminal(10, columns);
            terminal.feed(QString::fromUtf8(outcome.out));
            QVERIFY(terminal.lastFrame.filter(QRegularExpression("^1 not-ready, 0 running")).size() == 1);
            const QStringList row = rowOf(terminal.scrolledOff + terminal.screen, fleet.address(0), columns);
            QCOMPARE(row.join(' ').simplified(), fleet.address(0) + ' ' + line);
        } else {
            QVERIFY2(outcome.out.contains('\n' + fleet.address(0).toLatin1() + "  " + line.toLatin1() + '\n'),
                     outcome.out);
            QVERIFY(QRegularExpression("\nqd8400.rfs +4194304 bytes  ok\n").match(outcome.out).hasMatch());
        }
        QCOMPARE(fleet[0].commands(), (QStringList{"cd /mnt/nand1", "pwd", "ps aux"}));
        QCOMPARE(fleet[0].announced("FTP LOGIN "), 1 - status);
        QCOMPARE(fleet[0].announced("STORED "), 0);
        // A check keeps its result apart from an upgrade's, which it must never replace.
        const QDir logs(QDir(fleet.logs()).filePath(fleet.address(0)));
        QVERIFY(!logs.exists("result.json"));
        const QJsonObject result = jsonIn(logs.filePath("check.json"));
        QCOMPARE(result["state"], 2011);
        QCOMPARE(result["caption"], "Checking maintenance mode.");
        QVERIFY(!FtpServerProcess::read(logs.filePath("logfile.txt")).contains("mUpgradeState=(2021)"));
    }

    // A damaged upgrade file: check lists it with the reason, run refuses with one line; both exit
    // with status 3 before any connection. Every damage the folder check finds: tst_wizard.
    void damagedFolder_data() { addDamagedFileRows(true); }

    void damagedFolder()
    {
        QFETCH(QString, entry);
        QFETCH(QString, name);
        QFETCH(QString, reason);
        Fleet fleet(60, {{}});
        writeFiles(fleet[0].upgradeFolder(), {entry});
        // As an operator, whom a file's mode bits bind, root or not.
        const QStringList asAnOperator{"/usr/bin/setpriv", "--bounding-set=-dac_override,-dac_read_search", QD_CLI};
        const Outcome checked = runProgram(asAnOperator + fleet.arguments("check", {"--json"}));
        QCOMPARE(checked.status, 3);
        QStringList statuses;
        for (const QJsonValue file : checked.events.value(0)["files"].toArray())
            statuses << file["name"].toString() + ' ' + file["status"].toString();
        QCOMPARE(statuses.filter(" ok").size(), 6);
        QVERIFY2(statuses.contains(name + ' ' + reason), qPrintable(statuses.join(", ")));
        const QByteArray line = "qd8400-upgrade: " + fleet[0].upgradeFolder().toUtf8() + ": the upgrade file " +
                                name.toUtf8() + " is damaged: " + reason.toUtf8() + '\n';
        QCOMPARE(checked.err, line);
        const Outcome ran = runProgram(asAnOperator + fleet.arguments("run", {"--yes"}));
        QCOMPARE(ran.status, 3);
        QCOMPARE(ran.err, line);
        QVERIFY(ran.out.isEmpty());
        QCOMPARE(fleet[0].announced("TELNET ") + fleet[0].announced("FTP "), 0);
    }

    // One line naming the problem, exit status 3, and no connection to the instrument.
    void badInputs_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("problem");
        const auto row = [](const char *name, const QString &line, const QString &problem) {
            QTest::newRow(name) << line.split(' ') << problem;
        };
        row("invalid address", "run FOLDER 127.0.36.1 127.0.0.256 --yes", "not a valid IPv4 address: 127.0.0.256");
        row("same address twice, written two ways", "run FOLDER 127.0.36.1 127.0.036.01 --yes",
            "the address 127.0.36.1 is given twice");
        row("folder without the upgrade files", "check LOGS 127.0.36.1",
            "the folder lacks the upgrade files bzimage, qd8400.rfs");
        row("unknown option", "run FOLDER 127.0.36.1 --yes --force", "Unknown option 'force'.");
        row("no jobs", "run FOLDER 127.0.36.1 --yes --jobs 0", "--jobs needs a whole number from 1 to 100000, not 0");
        row("too many jobs", "run FOLDER 127.0.36.1 --yes --jobs 100001",
            "--jobs needs a whole number from 1 to 100000, not 100001");
        row("a bad port names its option", "check FOLDER 127.0.36.1 NOPORTS --ftp-port 0",
            "--ftp-port needs a whole number from 1 to 65535, not 0");
        row("an instrument's command of its own", "run-instrument FOLDER 127.0.36.1",
            "unknown command: run-instrument");
        row("a wait in days", "check FOLDER 127.0.36.1 --wait 2d",
            "--wait needs a duration such as 90s, 30m or 2h (at most 24h), not 2d");
        row("time scale not a number", "run FOLDER 127.0.36.1 --yes --time-scale nan",
            "--time-scale needs a number from 0.001 to 1, not nan");
        row("time scale too small", "run FOLDER 127.0.36.1 --yes --time-scale 1e-300", "from 0.001 to 1, not 1e-300");
        row("an option twice", "run FOLDER 127.0.36.1 --yes --telnet-port 23", "--telnet-port is given more than once");
        row("an option the command does not take", "check FOLDER 127.0.36.1 --yes", "check does not take --yes");
        row("short options together", "check FOLDER 127.0.36.1 -yj2", "check does not take --yes");
        row("no such folder", "check LOGS/none 127.0.36.1", "/none: no such folder");
        row("a file for the folder", "check FOLDER/bzimage 127.0.36.1", "/bzimage: not a folder");
        row("a file where the folder of logs goes", "check FOLDER 127.0.36.1 --log-dir FOLDER/bzimage/logs",
            "cannot make the folder of logs FOLDER/bzimage/logs: Not a directory");
        row("no terminal, no --yes", "run FOLDER 127.0.36.1", "no terminal to confirm the upgrade on: give --yes");
        // An instrument's process runs only when the fleet starts it: given the fleet's variable, with
        // no secret on its standard input, or another one.
        const QString backDoor = "an instrument's process runs only when the fleet starts it";
        row("no secret", "SECRET= run FOLDER 127.0.36.1", backDoor);
        QTest::newRow("another secret") << QStringList{"SECRET=00112233445566778899aabbccddeeff\n", "run", "FOLDER",
                                                       "127.0.36.1"}
                                        << backDoor;
        // Addresses read line by line from standard input (INPUT=) or a file (LOGS/list holds
        // 127.0.36.1 and 10.0.0), besides those on the line: comments, blank lines and the blanks
        // around an address left aside.
        QTest::newRow("an address on the line and on standard input")
            << QStringList{"INPUT=# bench\n\n  127.0.36.1  \n", "check", "FOLDER", "127.0.36.1", "--from=-"}
            << "standard input line 3: the address 127.0.36.1 is given twice";
        row("a line of the file that is no address", "check FOLDER --from LOGS/list",
            "LOGS/list line 2: not a valid IPv4 address: 10.0.0");
        row("no such file of addresses", "check FOLDER --from LOGS/none",
            "cannot read the addresses in LOGS/none: No such file or directory");
        row("help for Qt's own options", "check FOLDER 127.0.36.1 --help-all", "Unknown option 'help-all'.");
        row("a long value cut", "check FOLDER 127.0.36.1 --jobs " + QString(300, '9'), QString(159, '9') + "…\n");
        // As root, without the capabilities that let root read any folder.
        row("an unreadable folder", "check LOGS/unreadable 127.0.36.1",
            "/unreadable: the folder cannot be read: Permission denied");
        // A file system mounted read-only there, in a mount namespace of its own.
        row("a read-only folder of logs", "check FOLDER 127.0.36.1 --log-dir LOGS/ro",
            "/ro/retry.txt: Read-only file system");
    }

    void badInputs()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, problem);
        Fleet fleet(36, {{}});
        arguments.replaceInStrings("FOLDER", fleet[0].upgradeFolder()).replaceInStrings("LOGS", fleet.logs());
        problem.replace("FOLDER", fleet[0].upgradeFolder()).replace("LOGS", fleet.logs());
        FtpServerProcess::write(QDir(fleet.logs()).filePath("list"), "127.0.36.1\n10.0.0\n");
        if (arguments.contains(fleet.logs() + "/ro") && QDir(fleet.logs()).mkdir("ro"))
            arguments = prepared("m", "mount -t tmpfs -o ro tmpfs \"$0\"", fleet.logs() + "/ro") + arguments;
        if (arguments.contains(fleet.logs() + "/unreadable")) {
            QVERIFY(QDir(fleet.logs()).mkdir("unreadable", QFileDevice::Permissions()));
            if (geteuid() == 0)
                arguments = QStringList{"/usr/bin/setpriv", "--bounding-set=-dac_override,-dac_read_search", QD_CLI} +
                            arguments;
        }
        if (!arguments.removeOne("NOPORTS"))
            arguments << "--telnet-port" << QString::number(fleet[0].telnetPort()) << "--ftp-port"
                      << QString::number(fleet[0].ftpPort());
        // What standard input holds; with SECRET=, the fleet's variable given too.
        const bool instrument = arguments.first().startsWith("SECRET=");
        const QString input = arguments.first().contains('=') ? arguments.takeFirst().section('=', 1) : QString();
        const Outcome outcome =
            runProgram(arguments, input.toLatin1(),
                       instrument ? "QD8400_UPGRADE_INSTRUMENT=ffeeddccbbaa99887766554433221100" : QString());
        QCOMPARE(outcome.status, 3);
        QVERIFY2(outcome.err.startsWith("qd8400-upgrade: ") && outcome.err.count('\n') == 1, outcome.err);
        QVERIFY2(outcome.err.contains(problem.toUtf8()), outcome.err);
        QVERIFY(outcome.out.isEmpty());
        QCOMPARE(fleet[0].announced("TELNET ") + fleet[0].announced("FTP "), 0);
    }

    // Nothing is sent to an instrument that cannot be upgraded with its log, its network or the thread
    // its run needs.
    void refusedBeforeSending_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("message");
        QTest::newRow("its log cannot be written")
            << "log" << 3 << "failed"
            << "cannot write the log LOGS/127.0.38.1/logfile.txt: Not a directory";
        QTest::newRow("no answer to the network probe")
            << "network" << 1 << "failed"
            << "No network connection found to IP Address\r\nPlease check IP Address or seek IT support";
        QTest::newRow("the system refuses a thread")
            << "threads" << 1 << "not-started"
            << "The upgrade could not start: the system refused a thread: Resource temporarily unavailable.\r\n"
               "Nothing has been changed on the QD8400.";
        // No ICMP socket for this user (a network of its own keeps the kernel's default), no raw
        // socket without the capability, and no ping on the way.
        QTest::newRow("no probe can be made") << "probe" << 1 << "not-started"
                                              << "The network probe (one ICMP echo) could not be made: this user may "
                                                 "open no ICMP socket and ping could not send one. Allow it with: "
                                                 "sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\", or "
                                                 "install ping (iputils-ping).";
        QTest::newRow("no folder for its lock")
            << "lock" << 1 << "not-started"
            << "no folder can hold the lock of 127.0.38.1: /run/lock: Read-only file system";
    }

    void refusedBeforeSending()
    {
        QFETCH(QString, where);
        QFETCH(int, status);
        QFETCH(QString, result);
        QFETCH(QString, message);
        Fleet fleet(38, {{}});
        message.replace("LOGS", fleet.logs());
        QStringList arguments = fleet.arguments("run", {"--yes", "--json"});
        if (where == "log") {
            QVERIFY(QFile(QDir(fleet.logs()).filePath(fleet.address(0))).open(QIODevice::WriteOnly));
        } else if (where == "lock") { // A /run/lock of its own that cannot be written, and no $XDG_RUNTIME_DIR.
            arguments = prepared("m", "mount -t tmpfs -o ro tmpfs /run/lock") + arguments;
        } else if (where == "threads") {
            // A limit of three processes for a user of its own: the fleet's, the one instruments'
            // processes are started from and its instrument's, which then cannot make a thread.
            // Root's processes are never limited.
            if (geteuid() != 0)
                QSKIP("only root can run the fleet as another user");
            const QString user = QString::number(50000 + getpid() % 10000);
            const QString instrument = QFileInfo(fleet[0].upgradeFolder()).absolutePath();
            QVERIFY(QFile::setPermissions(instrument, QFile::permissions(instrument) | QFile::ExeOther));
            QVERIFY(::chown(QFile::encodeName(fleet.logs()).constData(), user.toUInt(), user.toUInt()) == 0);
            arguments =
                QStringList{"/usr/bin/prlimit", "--nproc=3", "/usr/bin/setpriv", "--reuid=" + user, "--regid=" + user,
                            "--clear-groups",   QD_CLI} +
                arguments;
        } else { // A network of its own, whose loopback ignores echo requests: the probe's time runs out.
            arguments =
                prepared("n", "ip link set lo up && echo 1 >/proc/sys/net/ipv4/icmp_echo_ignore_all") + arguments;
        }
        if (where == "probe" || where == "lock") // no raw socket and no ping; no $XDG_RUNTIME_DIR
            arguments = arguments.mid(0, 6) +
                        (where == "probe"
                             ? QStringList{"/usr/bin/setpriv", "--bounding-set=-net_raw", "/usr/bin/env", "PATH=/none"}
                             : QStringList{"/usr/bin/env", "-u", "XDG_RUNTIME_DIR"}) +
                        arguments.mid(6);
        const Outcome outcome = runProgram(arguments);
        QCOMPARE(outcome.status, status);
        const QJsonObject ended = outcome.result(fleet.address(0));
        QCOMPARE(ended["result"].toString(), result);
        QCOMPARE(ended["message"].toString(), message);
        // The path of a log that is there, or none.
        QCOMPARE(QFileInfo::exists(ended["log"].toString()), where != "log");
        QCOMPARE(fleet[0].announced("TELNET ") + fleet[0].announced("FTP "), 0);
        if (where == "threads")
            QVERIFY(FtpServerProcess::read(ended["log"].toString())
                        .contains("\r\n* Not started: the system refused a thread: Resource temporarily unavailable"));
    }

    // The confirmation is asked and answered on the terminal, never on standard output or standard
    // input, which may hold the addresses.
    void confirmationOnTheTerminal_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("status");
        QTest::newRow("no") << QByteArray("no\n") << 3;
        QTest::newRow("YES among blanks") << QByteArray("  YES \n") << 0;
    }

    void confirmationOnTheTerminal()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, status);
        Fleet fleet(40, {{}});
        QTemporaryDir dir;
        const QString out = dir.filePath("out");
        QStringList arguments = QStringList{QD_CLI} + fleet.arguments("run", {"--json", "--from=-"});
        arguments.removeOne(fleet.address(0));
        const QString command = "printf '" + fleet.address(0) + "\\n' | " + shellQuoted(arguments) + " >" + out;
        const Outcome shown = runProgram({"/usr/bin/script", "-qec", command, "/dev/null"}, answer);
        QCOMPARE(shown.status, status);
        QVERIFY2(shown.out.contains("Type yes to go on: "), shown.out);
        const Outcome written = Outcome().add(FtpServerProcess::read(out));
        QVERIFY(!written.out.contains("Type yes"));
        QCOMPARE(written.result(fleet.address(0))["result"].toString(), status == 0 ? "success" : "");
        QCOMPARE(fleet[0].announced("TELNET ") > 0, status == 0);
    }

    // 12 instruments, 3 at a time, one failing and one halting. Once the first has failed, the terminal
    // goes from 100x20 to 40x8 (the program stopped meanwhile, so that the test's terminal sees it where
    // it happens) and SIGWINCH follows: each frame fits, keeps the counts that need a person first and
    // leaves nothing stale; the table wraps between words, the log's path whole on its own line.
    void fleetOnTheTerminal()
    {
        QList<QStringList> modes(12);
        modes[0] = {"ftp-break-upload=bzimage"};
        modes[9] = {"cmp-odd=qd8400.rfs"};
        Fleet fleet(50, modes);
        QProcess shell;
        shell.start(
            "/usr/bin/script",
            {"-qec",
             "stty rows 20 cols 100 -echo; " +
                 shellQuoted(QStringList{QD_CLI} + fleet.arguments("run", {"--yes", "--jobs=3"})) +
                 " & read go; kill -STOP $!; printf '\\033]resize;8;40\\a'; stty rows 8 cols 40; kill -CONT $!; "
                 "kill -WINCH $!; wait $!",
             "/dev/null"});
        QByteArray out;
        QVERIFY(QTest::qWaitFor([&] { return (out += shell.readAllStandardOutput()).contains("failed at: "); }, 60000));
        shell.write("\n");
        QVERIFY(shell.waitForFinished(120000));
        QCOMPARE(shell.exitCode(), 2);
        Terminal terminal(20, 100);
        terminal.feed(QString::fromUtf8(out + shell.readAllStandardOutput()));
        QCOMPARE(terminal.columns, 40);
        QVERIFY(!terminal.aboveTheTop);
        QVERIFY2(terminal.widest < terminal.columns, qPrintable(terminal.lastFrame.join('\n')));
        QVERIFY2(terminal.lastFrame.filter(QRegularExpression("^1 failed, 1 halted, 0 running")).size() == 1,
                 qPrintable(terminal.lastFrame.join('\n')));
        const QStringList lines = terminal.scrolledOff + terminal.screen;
        QCOMPARE(lines.filter(QRegularExpression("[0-9]% |waiting|running")), QStringList());
        for (qsizetype i = 0; i < modes.size(); ++i) // once when it ends, once in the table
            QCOMPARE(lines.filter(QRegularExpression('^' + QRegularExpression::escape(fleet.address(i)) + ' ')).size(),
                     2);
        const QStringList row = rowOf(lines, fleet.address(0), terminal.columns); // in the table, below the address
        QCOMPARE(row.mid(1).join(' ').simplified(), "failed at: Transferring new kernel file (waits scaled 0.05) "
                                                    "Transfer of the kernel system file has failed. log:");
        QVERIFY(lines.contains(QDir(fleet.logs()).filePath(fleet.address(0) + "/logfile.txt")));
        QVERIFY(lines.filter(QRegularExpression("^10 success, 1 failed, 1 halted in ")).size() == 1);
    }

    // The fleet killed outright (SIGKILL, by its pid) once the first of three has succeeded and the
    // second has started: the second runs on to its own end and result, the list of retries holds
    // the two that the fleet did not see succeed, and the README's loop upgrades them from it.
    void fleetKilled()
    {
        Fleet fleet(55, {{}, {}, {}});
        QProcess program;
        program.start(QD_CLI, fleet.arguments("run", {"--yes", "--json", "--jobs=1"}));
        program.closeWriteChannel();
        Outcome outcome;
        QVERIFY(QTest::qWaitFor(
            [&] {
                for (const QJsonObject &event : outcome.add(program.readAllStandardOutput()).events)
                    if (event["event"] == "start" && event["address"] == fleet.address(1))
                        return true;
                return false;
            },
            60000));
        QCOMPARE(::kill(static_cast<pid_t>(program.processId()), SIGKILL), 0);
        QVERIFY(program.waitForFinished(10000));
        const QDir logs(fleet.logs());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(logs.filePath(fleet.address(1) + "/result.json")), 60000);
        const QString retries = logs.filePath("retry.txt");
        QCOMPARE(QString::fromLatin1(FtpServerProcess::read(retries)).split('\n').filter(QRegularExpression("^[^#]")),
                 (QStringList{fleet.address(1), fleet.address(2)}));

        const QString text = QString::fromUtf8(FtpServerProcess::read(QD_SOURCE_DIR "/README.md"));
        const qsizetype begin = text.indexOf("  list=instruments.txt");
        QString loop = text.mid(begin, text.indexOf("```", begin) - begin);
        const QStringList options = fleet.arguments("run").mid(2 + 3, 6); // the ports and the time scale
        loop.replace("instruments.txt", retries)
            .replace("~/QD8400-1.5", fleet[0].upgradeFolder())
            .replace("qd8400-upgrade", QD_CLI)
            .replace("--yes", "--yes " + options.join(' '))
            .replace(QRegularExpression("read -p [^\n]*"), "exit 9 # no one to mend anything");
        QProcess shell;
        shell.setWorkingDirectory(fleet.logs());
        shell.start("/bin/bash", {"-c", loop});
        QVERIFY(shell.waitForFinished(120000));
        QCOMPARE(shell.exitCode(), 0);
        for (const qsizetype i : {1, 2})
            QCOMPARE(fleet[i].state()["installed"].toObject()["bzimage"].toString(), "new");
    }

    // Instruments' processes are started from one process made at the fleet's start. Killed, the
    // instrument running upgrades on to its end and the next cannot be started.
    void starterGone()
    {
        Fleet fleet(75, {{}, {}});
        QProcess program;
        program.start(QD_CLI, fleet.arguments("run", {"--yes", "--json", "--jobs=1"}));
        program.closeWriteChannel();
        Outcome outcome;
        QVERIFY(QTest::qWaitFor([&] { return !outcome.add(program.readAllStandardOutput()).events.isEmpty(); }, 60000));
        QCOMPARE(outcome.events.first()["event"], "start");
        // What ps shows of the instrument's process: the program, the command and the address.
        const QString pid = QString::number(outcome.events.first()["pid"].toInteger());
        QCOMPARE(FtpServerProcess::read("/proc/" + pid + "/cmdline").split('\0').mid(0, 3),
                 (QList<QByteArray>{QD_CLI, "run", fleet.address(0).toLatin1()}));
        const QByteArray children =
            FtpServerProcess::read(QStringLiteral("/proc/%1/task/%1/children").arg(program.processId())).trimmed();
        QVERIFY(!children.contains(' ')); // the starter alone
        QCOMPARE(::kill(children.toInt(), SIGKILL), 0);
        QVERIFY(program.waitForFinished(120000));
        outcome.add(program.readAllStandardOutput());
        QCOMPARE(program.exitCode(), 1);
        QCOMPARE(outcome.result(fleet.address(0))["result"], "success");
        QCOMPARE(outcome.result(fleet.address(1))["message"],
                 "its process could not be started: the process it is started from has gone: Broken pipe");
        QCOMPARE(fleet[1].announced("TELNET "), 0);
    }

    // The folder of logs on a small file system of its own. Full before the first command that changes
    // the instrument, the run ends there untouched; full after it, the upgrade goes on to its end and
    // its result says the log is incomplete. Either way the status is not 0.
    void logOnASmallDisk_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("result");
        QTest::newRow("full before the first change") << "16k"
                                                      << "not-started";
        QTest::newRow("full after it") << "256k"
                                       << "success";
    }

    void logOnASmallDisk()
    {
        QFETCH(QString, size);
        QFETCH(QString, result);
        static int net = 56;
        Fleet fleet(net++, {{}});
        const Outcome outcome =
            runProgram(prepared("m", "mount -t tmpfs -o size=" + size + " tmpfs \"$0\"", fleet.logs()) +
                       fleet.arguments("run", {"--yes", "--json"}));
        QCOMPARE(outcome.status, 1);
        const QString full = QDir(fleet.logs()).filePath(fleet.address(0) + "/logfile.txt: No space left on device");
        QVERIFY2(outcome.err.contains("cannot write to the log file " + full.toUtf8()), outcome.err);
        const QJsonObject ended = outcome.result(fleet.address(0));
        QCOMPARE(ended["result"], result);
        QCOMPARE(ended["status"], 1);
        QVERIFY2(ended["log_incomplete"].toString().startsWith(full), qPrintable(ended["log_incomplete"].toString()));
        if (result == "success") {
            QCOMPARE(fleet[0].state()["installed"].toObject()["bzimage"].toString(), "new");
        } else {
            QVERIFY(ended["message"].toString().startsWith("The log cannot be written (" + full + ")."));
            QCOMPARE(fleet[0].commands(), (QStringList{"cd /mnt/nand1", "pwd", "ps aux"}));
        }
    }

    // One instrument, one process: while a run holds it, a second run (its address written another
    // way, its logs elsewhere) and a check are refused at once, naming the holder, and send nothing;
    // the first goes on to its end. A link planted where the lock goes is refused.
    void instrumentLocked_data()
    {
        QTest::addColumn<QString>("planted"); // at the lock's path before the first run
        QTest::newRow("nothing") << "";
        QTest::newRow("another user's file") << "file";
        QTest::newRow("a link") << "link";
    }

    void instrumentLocked()
    {
        QFETCH(QString, planted);
        static int net = 61;
        // The unpacking that follows the first change waits 10 s: the first run holds the lock well past it.
        Fleet fleet(net++, {{"slow=tar -xf /mnt/ramdisk2/qd8nand.tar:10"}});
        const QString address = fleet.address(0);
        const QString lock =
            QStringLiteral("/run/lock/qd8400upgrade-%1-%2.lock").arg(address).arg(fleet[0].telnetPort());
        if (planted == "file" && geteuid() != 0)
            QSKIP("only root makes another user's file");
        if (planted == "file")
            QVERIFY(QFile(lock).open(QIODevice::WriteOnly) && ::chown(qPrintable(lock), 65534, 65534) == 0);
        if (planted == "link")
            QVERIFY(QFile::link(fleet.logs(), lock));
        QProcess first;
        first.start(QD_CLI, fleet.arguments("run", {"--yes", "--json"}));
        first.closeWriteChannel();
        if (planted == "link") {
            QVERIFY(first.waitForFinished(60000));
            const Outcome outcome = Outcome().add(first.readAllStandardOutput());
            QVERIFY(QFile::remove(lock));
            QCOMPARE(outcome.result(address)["message"],
                     "cannot take the lock " + lock + ": Too many levels of symbolic links");
            QCOMPARE(fleet[0].announced("TELNET ") + fleet[0].announced("FTP "), 0);
            return;
        }
        QVERIFY(QTest::qWaitFor([&] { return fleet[0].announced("CMD date ") == 1; }, 60000));
        QStringList second = fleet.arguments("run", {"--yes", "--json"});
        second.replaceInStrings(QRegularExpression("^" + QRegularExpression::escape(address) + "$"),
                                address.section('.', 0, 2) + ".001");
        second.last() += "-second";
        const Outcome refused = runProgram(second);
        QStringList check = fleet.arguments("check", {"--json"});
        check.last() += "-check";
        const Outcome checked = runProgram(check);
        QCOMPARE(first.state(), QProcess::Running);
        const Outcome outcome = Outcome().add(first.readAllStandardOutput());
        const QString holder =
            QStringLiteral(R"(%1 is being upgraded by process %2 \(qd8400-upgrade run, since )"
                           R"((\d{4}-\d\d-\d\d )?\d\d:\d\d:\d\d; log %3\))")
                .arg(QRegularExpression::escape(address))
                .arg(outcome.events.first()["pid"].toInteger())
                .arg(QRegularExpression::escape(QDir(fleet.logs()).filePath(address + "/logfile.txt")));
        for (const auto &[ended, result] : {std::pair{&refused, "not-started"}, std::pair{&checked, "not-ready"}}) {
            QCOMPARE(ended->status, 1);
            QCOMPARE(ended->result(address)["result"], result);
            const QString message = ended->result(address)["message"].toString();
            QVERIFY2(QRegularExpression('^' + holder + '$').match(message).hasMatch(), qPrintable(message));
        }
        QVERIFY(first.waitForFinished(120000));
        QCOMPARE(first.exitCode(), 0);
        const QStringList commands = fleet[0].commands();
        QCOMPARE(commands.filter(QRegularExpression("^(cd /mnt/nand1|date )")).size(), 2);
        QCOMPARE(fleet[0].announced("TELNET LOGIN "), 1);
        QVERIFY(planted.isEmpty() ? !QFile::exists(lock) : QFile::remove(lock));
    }

    // The note after a first SIGTERM, once the instrument's read-only command has reached it: a
    // check only reads, a run names the signal that stops it all.
    void interruptNote_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("note"); // its end
        QTest::newRow("check") << "check"
                               << "not checked; the 1 running stop now: a check changes nothing\n";
        QTest::newRow("run") << "run"
                             << "runs on to its end. SIGTERM again stops them now: they may not start again\n";
    }

    void interruptNote()
    {
        QFETCH(QString, command);
        QFETCH(QString, note);
        Fleet fleet(command == "run" ? 58 : 59, {{"hang=ps aux"}});
        QProcess program;
        program.start(QD_CLI, fleet.arguments(command, command == "run" ? QStringList{"--yes"} : QStringList{}, "1"));
        QVERIFY(QTest::qWaitFor([&] { return fleet[0].announced("CMD ps aux") == 1; }, 60000));
        QCOMPARE(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 1);
        QVERIFY(program.readAllStandardOutput().contains(note.toLatin1()));
    }

    // The fleet started before its instruments are ready, with --wait: one runs its normal firmware
    // until it is rebooted into maintenance mode, one comes up late (its simulator started then), one
    // never comes; the test acts once the fleet has said why each waits. Until it is ready only what
    // reads reaches an instrument, and its log has a line per new reason; --jobs 1 upgrades one at a
    // time. Or a first Ctrl-C ends the waiting of all three.
    void waitForMaintenance_data()
    {
        QTest::addColumn<bool>("interrupt");
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<QString>("never"); // the message's first line of the one that never comes
        QTest::newRow("walk the room") << false << QStringList{"success", "success", "not-started"}
                                       << "not ready within the wait of 40 s: Telnet: Connection refused";
        QTest::newRow("Ctrl-C while waiting") << true << QStringList(3, "not-started") << "";
    }

    void waitForMaintenance()
    {
        QFETCH(bool, interrupt);
        QFETCH(QStringList, results);
        QFETCH(QString, never);
        const int net = interrupt ? 71 : 70;
        Fleet fleet(net, {{"normal"}});
        const QStringList later{QStringLiteral("127.0.%1.2").arg(net), QStringLiteral("127.0.%1.3").arg(net)};
        const QStringList addresses = QStringList{fleet.address(0)} + later;
        QProcess program;
        program.start(QD_CLI, fleet.arguments("run", later + QStringList{"--yes", "--json", "--jobs=1", "--wait=40s"}));
        program.closeWriteChannel();
        Outcome outcome;
        const auto reasons = [&](const QString &address) {
            QStringList list;
            for (const QJsonObject &event : outcome.events)
                if (event["event"] == "waiting" && event["address"] == address)
                    list << event["reason"].toString();
            return list;
        };
        QVERIFY(QTest::qWaitFor(
            [&] {
                outcome.add(program.readAllStandardOutput());
                return std::all_of(addresses.cbegin(), addresses.cend(),
                                   [&](const QString &address) { return !reasons(address).isEmpty(); });
            },
            60000));
        std::optional<Instrument> cameLate;
        if (interrupt) {
            QCOMPARE(::kill(static_cast<pid_t>(program.processId()), SIGINT), 0);
        } else {
            QVERIFY(fleet[0].signal(SIGUSR1));
            cameLate.emplace(QStringList{}, QStringList{},
                             SimulatorPlace{later[0], fleet[0].telnetPort(), fleet[0].ftpPort()});
        }
        QVERIFY(program.waitForFinished(180000));
        outcome.add(program.readAllStandardOutput());
        QCOMPARE(program.exitCode(), 1);
        QList<std::pair<qsizetype, qsizetype>>
            upgrades; // the events of each upgrade, from its first state to its result
        for (qsizetype i = 0; i < addresses.size(); ++i) {
            const QJsonObject result = outcome.result(addresses[i]);
            QCOMPARE(result["result"].toString(), results[i]);
            QVERIFY(result["waited"].toDouble() > 0);
            QStringList logged;
            const QRegularExpression line("\\* Not ready for the upgrade after [^:]+: ([^\r]+)");
            for (const QRegularExpressionMatch &match :
                 line.globalMatch(QString::fromUtf8(FtpServerProcess::read(result["log"].toString()))))
                logged << match.captured(1);
            QCOMPARE(logged, reasons(addresses[i]));
            for (qsizetype n = 1; n < logged.size(); ++n)
                QVERIFY(logged[n] != logged[n - 1]);
            qsizetype first = -1;
            for (qsizetype e = 0; e < outcome.events.size() && results[i] == "success"; ++e)
                if (outcome.events[e]["address"] == addresses[i] && outcome.events[e]["event"] == "state" && first < 0)
                    first = e;
            if (first >= 0)
                upgrades << std::pair{first, outcome.events.indexOf(result)};
        }
        QCOMPARE(outcome.result(addresses[2])["message"].toString().section("\r\n", 0, 0), never);
        const QStringList commands = fleet[0].commands();
        const QStringList untilReady = commands.mid(0, commands.indexOf(QRegularExpression("date .*")));
        QVERIFY(untilReady.count("ps aux") >= (interrupt ? 1 : 2));
        QCOMPARE(QSet(untilReady.cbegin(), untilReady.cend()), (QSet<QString>{"cd /mnt/nand1", "pwd", "ps aux"}));
        if (!interrupt)
            QVERIFY(upgrades.size() == 2 &&
                    (upgrades[0].first > upgrades[1].second || upgrades[1].first > upgrades[0].second));
    }

    // The signals the fleet takes, sent by the test once every instrument's run has reached a
    // state (shown by its events): the instruments' own processes never see them. An instrument's
    // process killed (SIGKILL to it) has a result all the same, written by the fleet into its
    // result.json (past the read-only part it needs a person), and leaves the instrument to the next.
    void interrupted_data()
    {
        QTest::addColumn<QStringList>("modes"); // one an instrument, its modes separated by ','
        QTest::addColumn<int>("jobs");
        QTest::addColumn<QString>("scale"); // 1: the guard gives a command that hangs 60 s
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("during"); // a file whose transfer has begun, if any
        QTest::addColumn<QList<int>>("sent");
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<int>("status");
        QTest::newRow("SIGINT once mid-upgrade: both run on")
            << QStringList{"", ""} << 2 << "0.05" << 4031 << "" << QList<int>{SIGINT}
            << QStringList{"success", "success"} << 0;
        QTest::newRow("SIGINT once while it reads: nothing started")
            << QStringList{"hang=ps aux", ""} << 1 << "1" << 2011 << "" << QList<int>{SIGINT}
            << QStringList{"not-started", "not-started"} << 1;
        QTest::newRow("SIGINT, then SIGTERM: stopped") << QStringList{"hang=rm -f bzimage2"} << 1 << "1" << 4031 << ""
                                                       << QList<int>{SIGINT, SIGTERM} << QStringList{"stopped"} << 2;
        // The kernel's upload stalls: the transfer would fail only after 30 s.
        QTest::newRow("SIGINT twice during a transfer: stopped")
            << QStringList{"ftp-stall-upload=bzimage:65536"} << 1 << "0.05" << 7011 << "bzimage"
            << QList<int>{SIGINT, SIGINT} << QStringList{"stopped"} << 2;
        QTest::newRow("SIGHUP: runs on") << QStringList{""} << 1 << "0.05" << 4031 << "" << QList<int>{SIGHUP}
                                         << QStringList{"success"} << 0;
        QTest::newRow("its process killed while it reads") << QStringList{"hang=ps aux"} << 1 << "1" << 2011 << ""
                                                           << QList<int>{SIGKILL} << QStringList{"failed"} << 1;
        QTest::newRow("its process killed past the read-only part")
            << QStringList{"hang=rm -f bzimage2"} << 1 << "1" << 4031 << "" << QList<int>{SIGKILL}
            << QStringList{"failed"} << 2;
    }

    void interrupted()
    {
        QFETCH(QStringList, modes);
        QFETCH(int, jobs);
        QFETCH(QString, scale);
        QFETCH(int, state);
        QFETCH(QString, during);
        QFETCH(QList<int>, sent);
        QFETCH(QStringList, results);
        QFETCH(int, status);
        QList<QStringList> fleetModes;
        for (const QString &each : modes)
            fleetModes << each.split(',', Qt::SkipEmptyParts);
        static int net = 42;
        Fleet fleet(net++, fleetModes);
        QProcess program;
        program.start(QD_CLI, fleet.arguments("run", {"--yes", "--json", "--jobs", QString::number(jobs)}, scale));
        program.closeWriteChannel();
        Outcome outcome;
        const auto reached = [&] {
            outcome.add(program.readAllStandardOutput());
            QSet<QString> at;
            for (const QJsonObject &event : outcome.events)
                if ((event["event"] == "state" && event["state"] == state && during.isEmpty()) ||
                    (event["event"] == "transfer" && event["file"] == during))
                    at << event["address"].toString();
            return at.size() == std::min<qsizetype>(jobs, modes.size());
        };
        QVERIFY(QTest::qWaitFor(reached, 60000));
        const auto interrupts = [&] {
            outcome.add(program.readAllStandardOutput());
            QList<QJsonObject> list;
            for (const QJsonObject &event : outcome.events)
                if (event["event"] == "interrupt")
                    list << event;
            return list;
        };
        const bool killed = sent.contains(SIGKILL); // the first instrument's process, by the pid it started with
        const qint64 pid = killed ? outcome.events.first()["pid"].toInteger() : program.processId();
        QVERIFY(pid > 0 && (!killed || outcome.events.first()["event"] == "start"));
        for (qsizetype i = 0; i < sent.size(); ++i) {
            QCOMPARE(::kill(static_cast<pid_t>(pid), sent[i]), 0);
            // Signals of one kind that arrive together count once: the next goes once this one is seen.
            if (sent[i] != SIGHUP && i + 1 < sent.size())
                QVERIFY(QTest::qWaitFor([&] { return interrupts().size() == i + 1; }, 20000));
        }
        QVERIFY(program.waitForFinished(120000));
        outcome.add(program.readAllStandardOutput());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        QCOMPARE(jsonIn(QDir(fleet.logs()).filePath("summary.json")), outcome.events.last());
        for (qsizetype i = 0; i < results.size(); ++i) {
            QCOMPARE(outcome.result(fleet.address(i))["result"].toString(), results[i]);
            // An instrument never started too has its log, of one line.
            QVERIFY(QFileInfo::exists(outcome.result(fleet.address(i))["log"].toString()));
            QCOMPARE(outcome.events.last()["results"].toArray()[i].toObject()["result"].toString(), results[i]);
        }
        const QString log = QDir(fleet.logs()).filePath(fleet.address(0));
        QCOMPARE(jsonIn(QDir(log).filePath("result.json")), outcome.result(fleet.address(0)));
        QCOMPARE(interrupts().size(), sent.contains(SIGHUP) || killed ? 0 : sent.size());
        if (results.first() == "not-started") {
            // Only what reads reached the first (the simulator may read its last line after the
            // fleet has ended); the second was never started.
            QTRY_COMPARE_WITH_TIMEOUT(fleet[0].commands(), (QStringList{"cd /mnt/nand1", "pwd", "ps aux"}), 20000);
            QCOMPARE(fleet[1].announced("TELNET "), 0);
            QCOMPARE(interrupts().first()["not_started"], 1);
        }
        if (killed) {
            const QJsonObject result = outcome.result(fleet.address(0));
            QCOMPARE(result["status"], status);
            QCOMPARE(result["state"], state);
            QVERIFY(result["seconds"].toDouble() > 0);
            QCOMPARE(result["message"], "its process was ended by signal 9 (Killed)");
            QCOMPARE(outcome.events.last()["results"].toArray()[0].toObject()["seconds"], result["seconds"]);
            // Its lock went with it: the next one logs in.
            fleet[0].restart({});
            QStringList again = fleet.arguments("check");
            again.last() += "-again";
            QCOMPARE(runProgram(again).status, 0);
        } else if (results.first() != "success") {
            QVERIFY(FtpServerProcess::read(QDir(log).filePath("logfile.txt"))
                        .contains(QStringLiteral("* Stopped by the operator at state %1\r\n").arg(state).toLatin1()));
        }
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_cli.moc"
