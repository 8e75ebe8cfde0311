// The upgrade script run by the real window against the simulated instrument: whole upgrades, and
// every failure ending and halt produced by the simulator's modes.
#include "BlockingCall.h"
#include "FailureRoutines.h"
#include "Instrument.h"
#include "LogFile.h"
#include "RunWatch.h"
#include "Script.h"
#include "WizardFixture.h"

#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <set>
#include <vector>

using enum FailureRoutine;

namespace {

using Button = Dialogs::Button;

// The script of a whole upgrade, in order: "flags|state command|items". A line with flags belongs
// to the scenarios that have all of them: a the folder holds autoexec.bat, A it does not; p and P
// the same for qd8prod.rfs; 1 the installed maintenance image comes out different once; k and K the
// kernel differs or not, r and R the root file system; i the first step runs again inside its own
// wait; l and h a command completes during the first transfer and its step sends the next command
// (l) or halts (h), L not. A state without a command is the one stored while a transfer runs; a line
// without a state only adds items.
// The items are what the window shows and waits while that state is the last one stored (its step
// above all), in order: +N the progress advances N tasks, wN a wait of N ms, tN the examined
// command's time-out when it is not 60 s, full the bar filled, and any other item a caption, whose
// {W}, {N2}, {N4} and {N10} stand for the warning and the notes. [flags] before an item limits it to
// the scenarios with those flags.
const QStringList kScript{
    "||Connecting to QD8400. This may take up to 30 seconds.|+1|w1000|+1",
    "|1022 cd /mnt/nand1|Identifying connected device|w1000|+1",
    "|1033 pwd|+1|Checking maintenance mode.|w1000",
    "|2011 ps aux|+1|Setting system date to 112314372027|w1000",
    "|2021 date 112314372027|+1|Cleaning previous upgrade|w1000", // the PC's clock: 23 November 2027 14:37
    "|4031 rm -f bzimage2|+1|Cleaning previous utilities|w1000",
    "|4021 rm -f cmp|+1|Cleaning previous upgrade archives|w1000",
    "|4011 rm -f update*|+1|Transferring upgrade archives|w1000",
    "|4041|Extracting upgrade archives|w1000|[l]+1|[h]+1",
    "|4051 tar -xvf update.tar|[L]w1000|[l]w10000|+1|Creating RAM disk node{W}|w1000",
    "|2211 umount /dev/ramdisk2|+1|w1000",
    "|2221 mknod --mode=777 /dev/ramdisk2 b 1 2|+1|w1000",
    "|2231 mke2fs -m 0 /dev/ramdisk2|+1|w1000",
    "|2241 mkdir /mnt/ramdisk2|+1|w1000",
    "|2251 mount /dev/ramdisk2 /mnt/ramdisk2|+1|w1000",
    "|2260 mkdir /mnt/nand4|+1|w1000",
    "|2261 mount /dev/nand4 /mnt/nand4|+1|w1000",
    "|2271 rm -r -f /mnt/nand4/bmxsys/dbg/* > /dev/null|+1|w1000",
    "|2281 rm -r -f /mnt/nand4/bmxsys/recovery/* > /dev/null|+1|w1000",
    "|2291 umount /dev/nand4|+1|Unmounting system file system{W}|w1000",
    "|3011 umount /dev/nand2|+1|Reformatting system file system{W}|w1000",
    "|30121 mke2fs -j /dev/nand2 30774|+5|Remounting system file system{W}|w1000",
    "|30131 mount /dev/nand2|+1|Unmounting application file system{W}|w1000",
    "|3041 umount /dev/nand3|+1|Reformatting application file system{W}|w1000",
    "|3051 mke2fs -j /dev/nand3 16632|+5|Remounting application file system{W}|w1000",
    "|3061 mount /dev/nand3|+1|Cleaning backup system files{W}|w1000",
    "|5011 rm -f /mnt/nand2/upgrback/*|+1|Cleaning backup system directory{W}|w1000",
    "|5021 rmdir /mnt/nand2/upgrback|+1|Cleaning existing temporary new system files{W}|w1000",
    "|5031 rm -f /mnt/nand2/upgrnew/*|+1|Cleaning existing temporary new system files directory{W}|w1000",
    "|1341 rmdir /mnt/nand2/upgrnew|+1|Making backup system directory{W}|w1000",
    "|5051 mkdir /mnt/nand2/upgrback|+1|Making new temporary system directory.{W}|w1000",
    "|5061 mkdir /mnt/nand2/upgrnew|+1|[a]Backing up startup file{W}|[a]w1000",
    "a|5711 cp /mnt/nor/autoexec.bat /mnt/nand2/upgrback|+1",
    "a|5721 ls -alQ --full-time /mnt/nor/autoexec.bat /mnt/nand2/upgrback/autoexec.bat|+1|"
    "Transferring new startup file\r\n{W}|w1000",
    "a|5731|w1000",
    "a|5741 /mnt/nand1/cmp /mnt/nor/autoexec.bat /mnt/nand2/upgrnew/autoexec.bat|+1",
    "a|5751 rm -f /mnt/nor/autoexec.bat|+1",
    "a|5761 cp /mnt/nand2/upgrnew/autoexec.bat /mnt/nor/autoexec.bat",
    "A|5761 ls > /dev/null",
    "||+1|[p]Backing up Maintenance system file{W}|[p]w1000",
    "p|5511 cp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrback|+1",
    "p|5521 ls -alQ --full-time /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrback/qd8prod.rfs|+1|"
    "Transferring new maintenance file system file{N4}|w1000",
    "p|5541|+5|w1000",
    "p|5561 /mnt/nand1/cmp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrnew/qd8prod.rfs|+3",
    "p|5571 rm -f /mnt/nand1/qd8prod.rfs|+1",
    "p|5581 cp /mnt/nand2/upgrnew/qd8prod.rfs /mnt/nand1/qd8prod.rfs|+1",
    "p|5565 /mnt/nand1/cmp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrnew/qd8prod.rfs|+2",
    "1|5571 rm -f /mnt/nand1/qd8prod.rfs|+1",
    "1|5581 cp /mnt/nand2/upgrnew/qd8prod.rfs /mnt/nand1/qd8prod.rfs|+1",
    "1|5565 /mnt/nand1/cmp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrnew/qd8prod.rfs|+2",
    "p|5591 rm -f /mnt/nand2/upgrnew/qd8prod.rfs",
    "P|5591 ls > /dev/null",
    "||+1|Backing up kernel file{W}|w1000",
    "|6011 cp /mnt/nand1/bzimage /mnt/nand2/upgrback|+1",
    "|6031 ls -alQ --full-time /mnt/nand1/bzimage /mnt/nand2/upgrback/bzimage|+1|"
    "Backing up root file system file{W}|w1000",
    "|6021 cp /mnt/nand1/qd8400.rfs /mnt/nand2/upgrback|+1",
    "|6041 ls -alQ --full-time /mnt/nand1/qd8400.rfs /mnt/nand2/upgrback/qd8400.rfs|+1|"
    "Transferring new kernel file{N4}|w1000",
    "|7011|w10000|+3|Transferring new root file system file{N4}|w1000",
    "|7021|+3|Content checking new kernel file{N2}|w1000",
    "|7031 /mnt/nand1/cmp /mnt/nand1/bzimage /mnt/nand2/upgrnew/bzimage|t120|+1|"
    "[K]Content checking new root file system file{N2}|[K]w1000|[k]Installing new kernel file{N2}|[k]w1000",
    "k|7091 cp /mnt/nand2/upgrnew/bzimage /mnt/nand1/bzimage2|+1|Finalising installation of kernel file.{N2}|w1000",
    "k|7101 mv /mnt/nand1/bzimage2 /mnt/nand1/bzimage|+1|Content checking new root file system file{N2}|w1000",
    "|7081 /mnt/nand1/cmp /mnt/nand1/qd8400.rfs /mnt/nand2/upgrnew/qd8400.rfs|+1|"
    "[R]Cleaning backup system files{W}|[R]w1000",
    "r|7111 rm -f /mnt/nand1/qd8400.rfs|+1",
    "r|7121 cp /mnt/nand2/upgrnew/qd8400.rfs /mnt/nand1/qd8400.rfs|+1|Cleaning backup system files{W}|w1000",
    "|5011 rm -f /mnt/nand2/upgrback/*|+1|Cleaning backup system directory{W}|w1000",
    "|5021 rmdir /mnt/nand2/upgrback|+1|Cleaning existing temporary new system files{W}|w1000",
    "|5031 rm -f /mnt/nand2/upgrnew/*|+1|Cleaning existing temporary new system files directory{W}|w1000",
    "|1341 rmdir /mnt/nand2/upgrnew|+1",
    "|5071 cd /mnt/nand2|+1|Transferring new system files{N10}|w1000",
    "|8011|+5|Transferring new application files{N10}|w1000",
    "|8022|+5|Prepare system files installation|w1000",
    "|9011 cd /mnt/nand2|+1|Installing system files\r\nThis can take up to 10 minutes\r\n{W}|w1000",
    "|9021 tar -xf /mnt/ramdisk2/qd8nand.tar|t300|+15|Cleaning system install files{W}|w1000",
    "|9031 rm -f /mnt/nand2/qd8nand.tar|+1|Preparing application files installation{W}|w1000",
    "|9041 cd /mnt/nand3|+1|Installing application files{W}|w1000",
    "|9051 tar -xf /mnt/ramdisk2/qd8nand3.tar|w10000|t300|+15|Cleaning application install files{W}|w1000",
    "|9061 rm -f /mnt/nand3/qd8nand3.tar|+1|Altering permissions{W}|w1000",
    "|9071 chmod u+w *.bin|+1|Altering permissions{W}|w1000",
    "|9081 chmod u+w *.bmp|+1|Altering permissions{W}|w1000",
    "|9091 cd home|+1|Altering permissions{W}|w1000",
    "|9101 chgrp 100 default|+1|w10000|Rebooting QD8400|w10000",
    "|10011 reboot|full|The QD8400 firmware has been up upgraded and the QD8400 rebooted.|w1000",
};

// What the operator sees of a whole upgrade in a scenario, and what reaches the instrument.
struct ExpectedRun
{
    QStringList states;   // from kStart on, as statesIn() gives them
    QStringList commands; // as the instrument receives them
    QStringList seen;     // as the Recording records them
};

QString captionText(QString caption)
{
    const QString warning = "\r\n\r\nWARNING: Do not disconnect or reboot the QD8400 while file transfer and "
                            "installation is being performed.";
    const QString note = "\r\n\r\nNOTE: This may take up to approximately %1 minutes." + warning;
    return caption.replace("{W}", warning)
        .replace("{N2}", note.arg(2))
        .replace("{N4}", note.arg(4))
        .replace("{N10}", note.arg(10));
}

ExpectedRun expectedRun(const QString &scenario)
{
    const auto holds = [&](QStringView flags) {
        return std::all_of(flags.begin(), flags.end(), [&](QChar flag) { return scenario.contains(flag); });
    };
    // The bar's maximum: 109 tasks, 5 more for the start-up file, 20 more for the maintenance image;
    // a run with more tasks than that raises it.
    int maximum = 109 + (scenario.contains('a') ? 5 : 0) + (scenario.contains('p') ? 20 : 0);
    int tasks = 0;
    QString progress = "0% complete";
    ExpectedRun run;
    for (const QString &line : kScript) {
        const QStringList parts = line.split('|');
        if (!holds(parts[0]))
            continue;
        if (!parts[1].isEmpty()) {
            run.states << parts[1].section(' ', 0, 0);
            if (parts[1].contains(' '))
                run.commands << parts[1].section(' ', 1);
        }
        for (QString item : parts.mid(2)) {
            if (item.startsWith('[')) {
                if (!holds(item.mid(1, item.indexOf(']') - 1)))
                    continue;
                item = item.mid(item.indexOf(']') + 1);
            }
            const bool figure = item.size() > 1 && item[1].isDigit();
            if (item.startsWith('+')) {
                tasks += item.mid(1).toInt();
                maximum = std::max(maximum, tasks);
                progress = QString::number(std::lround(tasks * 100.0 / maximum)) + "% tasks complete";
            } else if (figure && item.startsWith('w')) {
                run.seen << "wait " + item.mid(1);
            } else if (figure && item.startsWith('t')) {
                run.seen << "timeout " + item.mid(1);
            } else if (item == "full") {
                progress = "100% complete";
            } else {
                run.seen << captionText(item) + " @ " + progress;
            }
        }
    }
    run.states << "0";
    return run;
}

// What the operator sees of the window's run, recorded through a view of it: each caption with the
// progress shown beside it, each wait as it begins, and each command's time-out other than 60 s as
// its step examines it. A wait that returned before its scaled time is kept apart.
class Recording final : public RunWatch
{
public:
    explicit Recording(Main &window)
        : RunWatch(window.run()), mWindow(window), mRun(window.run()),
          mEntryByEntry(window.run().settings().logPath + ".each")
    {
        // What the window logged while it was being made, before this one took its entries.
        mRun.flushLog();
        QFile::copy(mRun.settings().logPath, mRun.settings().logPath + ".each");
    }

    QStringList seen;
    QStringList shortWaits;
    std::function<void(int)> onState;
    // The file's name (empty once the transfer has returned), and whether all of it has gone out.
    std::function<void(const QString &, bool)> onTransfer;
    std::function<void(QByteArrayView)> onLogged;

private:
    void showState(int state) override
    {
        if (state == Script::kBusy && mRun.telnet().commandSeconds() != 60)
            seen << "timeout " + QString::number(mRun.telnet().commandSeconds());
        if (onState)
            onState(state);
    }
    void showCaption(const QString &text) override
    {
        if (mWindow.findChild<QProgressBar *>("pbMainProgress")->isVisible())
            seen << text + " @ " + mWindow.findChild<QLabel *>("lblProgBarTitle")->text();
    }
    void showTransfer(const QString &file, qint64 sent, qint64 total) override
    {
        if (onTransfer)
            onTransfer(file, sent == total);
    }

    void showWait(int milliseconds) override
    {
        seen << "wait " + QString::number(milliseconds);
        mWaits.emplace_back().start();
    }
    void showWaitOver(int milliseconds) override
    {
        if (mWaits.back().nsecsElapsed() < (milliseconds * mRun.settings().timeScale - 1) * 1e6)
            shortWaits << QString::number(milliseconds);
        mWaits.pop_back();
    }
    void showLogged(QByteArrayView entry) override
    {
        mEntryByEntry.Log_Add(entry);
        mEntryByEntry.flush();
        if (onLogged)
            onLogged(entry);
    }

    Main &mWindow;
    Run &mRun;
    // The waits begun and not yet over, the innermost last.
    std::vector<QElapsedTimer> mWaits;
    // Each entry is also logged into a second file, written as it is made.
    LogFile mEntryByEntry;
};

// A log file's bytes with the digits of every time stamp masked.
QByteArray masked(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    static const QRegularExpression stamp("\r\nI\\|\\d{8}-\\d{6}\\|");
    return QString::fromLatin1(file.readAll()).replace(stamp, "\r\nI|yyyymmdd-hhmmss|").toLatin1();
}

// The states set from the first step on, each once, without the busy marker.
QStringList statesIn(const QByteArray &trace)
{
    static const QRegularExpression line("\r\nmUpgradeState=\\((\\d+)\\)");
    QStringList states;
    for (const QRegularExpressionMatch &match : line.globalMatch(QString::fromLatin1(trace))) {
        const QString state = match.captured(1);
        if (state != "999999" && (states.isEmpty() ? state == "1022" : states.last() != state))
            states << state;
    }
    return states;
}

// One upgrade: the simulated instrument in the given modes, the window walked to its last page and
// Next pressed.
struct WindowRun
{
    Instrument instrument;
    WizardFixture f;
    Recording recording;

    WindowRun(const QStringList &modes, const QStringList &fixtures, double timeScale)
        : instrument(modes, fixtures),
          f({}, instrument.telnetPort(), instrument.ftpPort(), instrument.upgradeFolder(), timeScale),
          recording(*f.window)
    {
        f.walkToLoginPage();
        recording.seen.clear();
        f.click("cmdNext");
    }

    bool ended(int seconds = 120)
    {
        return QTest::qWaitFor([&] { return f.endedWith.has_value(); }, seconds * 1000);
    }
};

// The columns of the endings' rows: the simulator's modes and fixtures, the routine whose message
// ends the run (or kHalt), a block of the log, and the last command the instrument received.
void endingColumns()
{
    QTest::addColumn<QStringList>("modes");
    QTest::addColumn<QStringList>("fixtures");
    QTest::addColumn<int>("routine");
    QTest::addColumn<QByteArray>("logged");
    QTest::addColumn<QString>("lastCommand");
}

void addEnding(const char *name, const QStringList &modes, int routine, const QByteArray &logged,
               const QString &lastCommand, const QStringList &fixtures = {})
{
    QTest::newRow(name) << modes << fixtures << routine << logged << lastCommand;
}

// A halt stops the script without a message.
constexpr int kHalt = -1;

// The forms that reach a state's checks, C being the command the state examines: the prompt
// followed by a console line in the same segment, or an unexpected line before the prompt.
QString promptThenLine(const QString &command)
{
    return "reply=" + command + ":bash-2.04# \\r\\neth0: link down\\r\\n";
}
QString lineThenPrompt(const QString &command, const QString &line)
{
    return "reply=" + command + ':' + line + "\\r\\nbash-2.04# ";
}

// What the instrument lists for its root file system and the backup made of it.
const QString kRootFileSystemListing[] = {
    R"(-rw-r--r--    1 root     root      4190208 Tue Dec  8 08:54:48 2026 "/mnt/nand1/qd8400.rfs")",
    R"(-rw-r--r--    1 root     root      4190208 Tue Dec  8 08:54:52 2026 "/mnt/nand2/upgrback/qd8400.rfs")"};

const QByteArray kNotPrompt = "\r\n* [ST=999999][Last terminal line not prompt]\r\n";

} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT

private slots:
    // The frame around every step, for the states that have none: entry, state and exit lines, and
    // between them only the busy marker's or the unknown state's line; nothing changes or is sent.
    void frame_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QByteArray>("between");
        QTest::newRow("idle") << 0 << QByteArray();
        QTest::newRow("1011") << 1011 << QByteArray();
        QTest::newRow("busy") << 999999 << QByteArray("\r\n===== End of state machine =====");
        QTest::newRow("a transfer's state") << 8011 << QByteArray("\r\n*** Unknown UPGRD_STAT_8011");
    }

    void frame()
    {
        QFETCH(int, state);
        QFETCH(QByteArray, between);
        WizardFixture f;
        f.window->run().SetUpgradeState(state);
        emit f.window->run().telnet().CommandPerformed();
        const QByteArray line = "\r\nmUpgradeState=(" + QByteArray::number(state) + ')';
        QVERIFY(f.trace().endsWith(line + "\r\n>>ucTelnetInterface_CommandPerformed" + line + between +
                                   "\r\n<<ucTelnetInterface_CommandPerformed\r\n"));
        QCOMPARE(f.window->run().UpgradeState(), state);
    }

    // The script's table itself: every successor is a step or a transfer's state, and every step
    // can be reached from the first.
    void scriptTable()
    {
        std::set<int> states;
        for (const Script::Row &row : Script::rows())
            QVERIFY2(states.insert(row.state).second, qPrintable(QString::number(row.state)));
        std::set<int> reached{Script::kStart};
        const std::set<int> stepless{8011, 8022};
        for (const Script::Row &row : Script::rows()) {
            for (const Script::Transfer *transfer : row.transfers)
                if (transfer)
                    QVERIFY(reached.insert(transfer->state).second);
            for (const Script::Way &way : row.ways)
                if (way.next) {
                    QVERIFY2(states.count(way.next) || stepless.count(way.next), qPrintable(QString::number(way.next)));
                    reached.insert(way.next);
                }
        }
        for (const int state : stepless)
            reached.erase(state);
        QCOMPARE(reached, states);

        // The states that read only examine "cd /mnt/nand1", "pwd" or "ps aux" and send no other
        // command, but the last of them, whose command is the first change.
        const QStringList reading{"cd /mnt/nand1", "pwd", "ps aux"};
        QVERIFY(reading.contains(Script::firstCommand()) && Script::readsOnly(Script::kStart));
        QStringList firstChanges;
        for (const Script::Row &row : Script::rows())
            for (const Script::Way &way : row.ways)
                if (way.next && Script::readsOnly(way.next))
                    QVERIFY2(Script::readsOnly(row.state) && reading.contains(way.command), qPrintable(way.command));
                else if (way.next && Script::readsOnly(row.state))
                    firstChanges << way.command;
        QCOMPARE(firstChanges, QStringList{"date "});
    }

    // The texts the script composes, whole: the captions with their note and warning, and the
    // caption a failed transfer leaves behind.
    void composedTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        using enum Script::Suffix;
        const QString warning = "\r\n\r\nWARNING: Do not disconnect or reboot the QD8400 while file transfer and "
                                "installation is being performed.";
        QTest::newRow("warning") << Script::captionText({"Unmounting system file system", Warning})
                                 << "Unmounting system file system" + warning;
        QTest::newRow("2 minutes") << Script::captionText({"Content checking new kernel file", Note2})
                                   << "Content checking new kernel file\r\n\r\nNOTE: This may take up to "
                                      "approximately 2 minutes." +
                                          warning;
        QTest::newRow("4 minutes") << Script::captionText({"Transferring new kernel file", Note4})
                                   << "Transferring new kernel file\r\n\r\nNOTE: This may take up to approximately 4 "
                                      "minutes." +
                                          warning;
        QTest::newRow("10 minutes") << Script::captionText({"Transferring new system files", Note10})
                                    << "Transferring new system files\r\n\r\nNOTE: This may take up to approximately "
                                       "10 minutes." +
                                           warning;
        QTest::newRow("kernel") << Script::transferFailureCaption(FailureRoutine::AbortKernelTransferFailed)
                                << "Transfer of the kernel system file has failed. Please check the network cables "
                                   "between the QD8400 and the PC, that the QD8400 eth0 configuration has been set "
                                   "correctly and that the IP address entered is the same as the one configured on "
                                   "the eth0 interface. Then retry the firmware upgrade. If this condition persists "
                                   "then please contact your Brimlux instrument support. Stopping firmware upgrade "
                                   "operation.";
        QTest::newRow("system file") << Script::transferFailureCaption(FailureRoutine::AbortSystemFileTransferFailed)
                                     << "Transfer of the system file has failed. Please retry the firmware upgrade. "
                                        "Please check the network cables between the QD8400 and the PC, that the "
                                        "QD8400 eth0 configuration has been set correctly and that the IP address "
                                        "entered is the same as the one configured on the eth0 interface. Then retry "
                                        "the firmware upgrade. If this condition persists then please contact your "
                                        "Brimlux instrument support. Stopping firmware upgrade operation.";
        QTest::newRow("application file")
            << Script::transferFailureCaption(FailureRoutine::AbortApplicationTransferFailed)
            << "Transfer of the application file has failed. Please retry the firmware upgrade. Please check the "
               "network cables between the QD8400 and the PC, that the QD8400 eth0 configuration has been set "
               "correctly and that the IP address entered is the same as the one configured on the eth0 interface. "
               "Then retry the firmware upgrade. If this condition persists then please contact your Brimlux "
               "instrument support. Stopping firmware upgrade operation.";
        QTest::newRow("upgrade utilities file")
            << Script::transferFailureCaption(FailureRoutine::AbortUtilitiesTransferFailed)
            << "Transfer of the upgrade utilities file has failed. Please retry the firmware upgrade. Please check the "
               "network cables between the QD8400 and the PC, that the QD8400 eth0 configuration has been set "
               "correctly and that the IP address entered is the same as the one configured on the eth0 interface. "
               "Then retry the firmware upgrade. If this condition persists then please contact your Brimlux "
               "instrument support. Stopping firmware upgrade operation.";
        QTest::newRow("system file system file")
            << Script::transferFailureCaption(FailureRoutine::AbortFileSystemTransferFailed)
            << "Transfer of the system file system file has failed. Please retry the firmware upgrade. Please check "
               "the network cables between the QD8400 and the PC, that the QD8400 eth0 configuration has been set "
               "correctly and that the IP address entered is the same as the one configured on the eth0 interface. "
               "Then retry the firmware upgrade. If this condition persists then please contact your Brimlux "
               "instrument support. Stopping firmware upgrade operation.";
    }

    void composedTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    void wholeUpgrades_data()
    {
        QTest::addColumn<QStringList>("modes");
        QTest::addColumn<QStringList>("fixtures");
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("installed"); // autoexec.bat, bzimage, qd8400.rfs, qd8prod.rfs
        QTest::addColumn<QByteArrayList>("logged");
        const auto row = [](const char *name, const QStringList &modes, const QStringList &fixtures,
                            const QString &scenario, const QString &installed, const QByteArrayList &logged = {}) {
            QTest::newRow(name) << modes << fixtures << scenario << installed << logged;
        };
        row("both optional files", {}, {}, "apkrL", "new new new new");
        row("neither, rm messages, trickle and split prompt",
            {"rm-messages=bzimage2", "rm-messages=cmp", "rm-messages=update*", "trickle=64:1", "split-prompt"},
            {"--no-autoexec", "--no-prod"}, "APkrL", "old new new old");
        row("kernel identical, split prompt, no maintenance image", {"split-prompt=5"}, {"--same-kernel", "--no-prod"},
            "aPKrL", "new new new old");
        // The kernel's comparison has 120 s and the unpacking 300 s, not 60 (3 s at this scale).
        row("root file system identical, commands slower than 60 s",
            {"slow=tar -xf /mnt/ramdisk2/qd8nand.tar:5", "slow=/mnt/nand1/cmp /mnt/nand1/bzimage:4"}, {"--same-rootfs"},
            "apkRL", "new new new new");
        // The prompt raised again while a step waits (before the reboot) changes nothing.
        row("maintenance image different once, the prompt raised again",
            {"prod-differs-once", "last-login", "ask-again=chgrp 100 default:1"}, {}, "apkr1L", "new new new new",
            {"\r\n>>ucTelnetInterface_CommandPerformed\r\nmUpgradeState=(999999)\r\n===== End of state machine "
             "=====\r\n<<ucTelnetInterface_CommandPerformed\r\n"});
        // A prompt arriving while update.tar is on its way runs state 4041, which unpacks it; the
        // step that made the transfer sends nothing more.
        row("a late prompt during the first transfer", {"late=rm -f update*:\\r\\n:upload=update.tar"}, {}, "apkrl",
            "new new new new",
            {"\r\n* State 4011 stops here: a step run during its wait has sent tar -xvf update.tar\r\n"});
        // Steps run inside other steps' waits: the first step's own state raised during its caption
        // wait, which changes nothing; 4041 halting inside the wait that follows the first transfer, which goes on;
        // arrivals during the wait before the application archive's unpacking, which examine
        // nothing, so nothing is removed before it is unpacked.
        row("steps inside other steps' waits",
            {"ask-again=cd /mnt/nand1:1", "late=rm -f update*:Done:upload=update.tar", "ask-again=cd /mnt/nand3"}, {},
            "apkrLh", "new new new new",
            {"\r\n>>ucTelnetInterface_CommandPerformed\r\nmUpgradeState=(1022)\r\n===== End of state machine =====\r\n",
             "\r\n* bash-2.04# <> (bash-2.04# Donebash-2.04# )\r\n",
             "\r\nmUpgradeState=(9051)\r\n* Not examined: the command of state 9051 has not been sent yet\r\n"});
        // A slow link and flash: the kernel's upload is all in the socket buffers long before the
        // instrument has taken it, and its final reply comes after more than 30 s.
        row("a slow link", {"ftp-rate-upload=bzimage:20000"}, {}, "apkrL", "new new new new");
        // The first step's state raised again and again until its command goes out: each time the
        // step is found running, and the upgrade goes on.
        row("the first step's state raised until its command goes out", {"ask-again=cd /mnt/nand1"}, {}, "apkrL",
            "new new new new",
            {"\r\n>>ucTelnetInterface_CommandPerformed\r\nmUpgradeState=(1022)\r\n===== End of state machine "
             "=====\r\n<<ucTelnetInterface_CommandPerformed\r\n"});
    }

    void wholeUpgrades()
    {
        QFETCH(QStringList, modes);
        QFETCH(QStringList, fixtures);
        QFETCH(QString, scenario);
        QFETCH(QString, installed);
        QFETCH(QByteArrayList, logged);
        WindowRun run(modes, fixtures, 0.05);
        QVERIFY(run.ended(240));
        QCOMPARE(run.f.endedWith, std::optional<int>(0));
        QCOMPARE(run.f.dialogs.shown.size(), 1);
        QCOMPARE(describe(run.f.dialogs.shown[0]), "QD8400 Firmware Upgrade | information | Ok*\nUpgrade completed "
                                                   "successfully\r\nPress OK to end program");
        const ExpectedRun expected = expectedRun(scenario);
        QCOMPARE(statesIn(run.f.trace()), expected.states);
        QCOMPARE(run.instrument.commands(), expected.commands);
        QCOMPARE(run.recording.seen, expected.seen);
        QCOMPARE(run.recording.shortWaits, QStringList());
        const QJsonObject state = run.instrument.state();
        QStringList found;
        for (const char *file : {"autoexec.bat", "bzimage", "qd8400.rfs", "qd8prod.rfs"})
            found << state["installed"][file].toString();
        QCOMPARE(found.join(' '), installed);
        QCOMPARE(state["unpacked"].toObject(), QJsonObject({{"qd8nand.tar", true}, {"qd8nand3.tar", true}}));
        QCOMPARE(state["reboots"].toInt(), 1);
        QCOMPARE(run.f.control<QLabel>("lblProgBarTitle")->text(), QString("100% complete"));
        for (const QByteArray &text : logged)
            QVERIFY2(run.f.trace().contains(text), text.constData());
        QVERIFY(!run.f.trace().contains("k8r2Mq5"));
        const QByteArray whole = masked(run.f.environment.settings.logPath);
        QVERIFY(whole.size() > 100000);
        QCOMPARE(whole, masked(run.f.environment.settings.logPath + ".each"));
    }

    // Every failure ending and halt: the message of the routine (or none), the step's log lines in
    // order, and nothing sent after the command that the failing step examined.
    void preparationEndings_data()
    {
        endingColumns();
        addEnding("1022 another device's prompt", {promptThenLine("cd /mnt/nand1")}, int(AbortNotInstrument),
                  kNotPrompt, "cd /mnt/nand1");
        // Another shell's prompt after the first command: the guard runs out.
        addEnding("1022 another shell", {"not-qd8400"}, int(AbortTimeout),
                  "\r\n>>ucTelnetInterface_Timeout\r\nmUpgradeState=(1022)\r\n", "cd /mnt/nand1");
        addEnding("1022 not silent",
                  {lineThenPrompt("cd /mnt/nand1", "bash: cd: /mnt/nand1: No such file or directory")},
                  int(AbortCommandFailed), "\r\n* [ST=999999][bash-2.04#] <> [bash-2.04#]\r\n", "cd /mnt/nand1");
        addEnding("1033 two lines", {"reply=pwd:/mnt/nand1\\r\\n/\\r\\nbash-2.04# "}, int(AbortCommandFailed),
                  "\r\n* [ST=999999][bash-2.04#]<>[/mnt/nand1]\r\n", "pwd");
        addEnding("1033 a blank after the folder", {lineThenPrompt("pwd", "/mnt/nand1 ")}, int(AbortCommandFailed),
                  "\r\n* [/mnt/nand1] <> [/mnt/nand1 ]\r\n", "pwd");
        addEnding("1033 another folder", {"wrong-cwd"}, int(AbortCommandFailed), "\r\n* [/mnt/nand1] <> [/var/tmp]\r\n",
                  "pwd");
        addEnding("2011 Measure", {"not-maintenance=Measure"}, int(AbortNotMaintenanceMode),
                  "\r\n* [ST=999999][Output contains 'measure']\r\n", "ps aux");
        addEnding("2011 QDCom", {"not-maintenance=qdcomd"}, int(AbortNotMaintenanceMode),
                  "\r\n* [ST=999999][Output contains 'QDCom']\r\n", "ps aux");
        addEnding("2021 prompt", {promptThenLine("date ")}, int(AbortCommandNotAcknowledged), kNotPrompt,
                  "date 112314372027");
        addEnding("4031 rm error", {"rm-error=bzimage2"}, int(AbortCommandNotAcknowledged),
                  "\r\n* [ST=999999][Failed remove bzimage2]\r\n", "rm -f bzimage2");
        addEnding("4021 rm error", {"rm-error=cmp"}, int(AbortCommandNotAcknowledged),
                  "\r\n* [ST=999999][Failed remove cmp]\r\n", "rm -f cmp");
        addEnding("4011 prompt", {promptThenLine("rm -f update*")}, int(AbortCommandNotAcknowledged),
                  kNotPrompt + ">>Disconnect()", "rm -f update*");
        addEnding("4011 rm error", {"rm-error=update*"}, int(AbortCommandNotAcknowledged),
                  "\r\nmUpgradeState=(0)\r\n>>Disconnect()\r\n<<Disconnect\r\n* bash-2.04# <> (rm: cannot remove "
                  "`update*': Read-only file system)\r\n",
                  "rm -f update*");
        addEnding("4011 no FTP server", {"no-ftp"}, int(AbortFirewallBlocked), "\r\nmUpgradeState=(4041)\r\n",
                  "rm -f update*");
        addEnding("4011 FTP log-in refused", {"ftp-refuse-login"}, int(AbortFirewallBlocked),
                  "\r\nmUpgradeState=(4041)\r\n", "rm -f update*");
        addEnding("4011 transfer broken", {"ftp-break-upload=update.tar"}, int(AbortUtilitiesTransferFailed),
                  "\r\n* Transfer of update.tar failed\r\n", "rm -f update*");
        addEnding("4051 tar quiet", {"tar-quiet"}, int(AbortCommandNotAcknowledged), "\r\n* bash-2.04# <> (cmp)\r\n",
                  "tar -xvf update.tar");
        addEnding("2211 busy", {lineThenPrompt("umount /dev/ramdisk2", "umount: /dev/ramdisk2: device is busy")},
                  int(AbortCommandNotAcknowledged), "\r\n* bash-2.04# <> (umount: /dev/ramdisk2: device is busy)\r\n",
                  "umount /dev/ramdisk2");
        addEnding("2221 read-only", {lineThenPrompt("mknod", "mknod: `/dev/ramdisk2': Read-only file system")},
                  int(AbortCommandNotAcknowledged),
                  "\r\n* [ST=999999][bash-2.04#]<>[mknod: `/dev/ramdisk2': Read-only file system]\r\n"
                  "* [ST=999999][Failed mknod --mode=777 /dev/ramdisk2 b 1 2]\r\n",
                  "mknod --mode=777 /dev/ramdisk2 b 1 2");
        addEnding("2231 report of 18 lines", {"ramdisk-report-lines=18"}, int(AbortCommandNotAcknowledged),
                  "\r\n* [ST=999999][bash-2.04#]<>[mke2fs 1.19, 13-Jul-2000 for EXT2 FS 0.5b, 95/08/09]\r\n"
                  "* [ST=999999][Failed mke2fs -m 0 /dev/ramdisk2]\r\n",
                  "mke2fs -m 0 /dev/ramdisk2");
        addEnding("2241 read-only",
                  {lineThenPrompt("mkdir /mnt/ramdisk2",
                                  "mkdir: cannot create directory `/mnt/ramdisk2': Read-only file system")},
                  int(AbortCommandNotAcknowledged),
                  "\r\n* [ST=999999][bash-2.04#]<>[mkdir: cannot create directory `/mnt/ramdisk2': Read-only file "
                  "system]\r\n* [ST=999999][Failed mkdir /mnt/ramdisk2]\r\n",
                  "mkdir /mnt/ramdisk2");
        addEnding("2251 prompt", {promptThenLine("mount /dev/ramdisk2")}, int(AbortCommandNotAcknowledged),
                  "\r\n* [ST=999999][bash-2.04#]<>[bash-2.04#]\r\n* [ST=999999][Failed:mount /dev/ramdisk2 "
                  "/mnt/ramdisk2]\r\n",
                  "mount /dev/ramdisk2 /mnt/ramdisk2");
        addEnding("2291 prompt", {promptThenLine("umount /dev/nand4")}, int(AbortCommandNotAcknowledged), kNotPrompt,
                  "umount /dev/nand4");
        addEnding("3011 busy", {lineThenPrompt("umount /dev/nand2", "umount: /dev/nand2: device is busy")},
                  int(AbortCommandNotAcknowledged),
                  "\r\n* [ST=999999][bash-2.04#]<>[umount: /dev/nand2: device is busy]\r\n"
                  "* [ST=999999][Failed:umount /dev/nand2]\r\n",
                  "umount /dev/nand2");
        addEnding("30121 formatter too slow", {"slow=mke2fs -j /dev/nand2:3"}, int(AbortTimeout),
                  "\r\n>>ucTelnetInterface_Timeout\r\nmUpgradeState=(30121)\r\n", "mke2fs -j /dev/nand2 30774");
        addEnding("3051 prompt", {promptThenLine("mke2fs -j /dev/nand3")}, int(AbortCommandNotAcknowledged),
                  kNotPrompt +
                      ">>Disconnect()\r\n<<Disconnect\r\n>>Disconnect()\r\n<<Disconnect\r\nmUpgradeState=(0)\r\n"
                      ">>Disconnect()\r\n<<Disconnect\r\n* Failed make filesystem nand3\r\n",
                  "mke2fs -j /dev/nand3 16632");
        addEnding("3061 not silent",
                  {lineThenPrompt("mount /dev/nand3", "mount: /dev/nand3 is not a valid block device")},
                  int(AbortCommandNotAcknowledged),
                  "\r\n* [ST=999999][bash-2.04#]<>[mount: /dev/nand3 is not a valid block device]\r\n"
                  "* [ST=999999][Failed:mount /dev/nand3]\r\n",
                  "mount /dev/nand3");
        addEnding("a reset while connecting", {"reset=root"}, int(AbortConnectFailed), "\r\nmUpgradeState=(81)\r\n",
                  {});
        // Qt reports a reset like an orderly close, so the guard ends the command.
        addEnding("a reset", {"reset=ps aux"}, int(AbortTimeout), "\r\nmUpgradeState=(2011)\r\n", "pwd");
        // The instrument closes as pwd arrives, before its shell has read it.
        addEnding("a dropped connection", {"drop=pwd"}, int(AbortTimeout),
                  "\r\n>>ucTelnetInterface_Timeout\r\nmUpgradeState=(1033)\r\n", "cd /mnt/nand1");
    }

    // Closed during the run, the window asks and the run goes on meanwhile, before its first change
    // only through its read-only part, then held until the answer: Continue, or Stop with nothing
    // changed. Closed once the instrument has been changed, the window says so; Stop ends the run
    // there, a transfer on its way (4041: once it has stalled) cut off. A question left
    // open goes away when the run ends or halts, however it ends.
    void closedMidUpgrade_data()
    {
        QTest::addColumn<int>("closedAt");
        QTest::addColumn<QStringList>("modes");
        QTest::addColumn<std::optional<Button>>("answer");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("last"); // the last message's first line, or the trace's lines
        const QString held = "\r\n* Held before the first change at state 2011\r\n";
        QTest::newRow("Continue before any change") << 1022 << QStringList{} << std::optional(Button::Continue) << 0
                                                    << held + "* Close asked during the run: it goes on\r\n";
        QTest::newRow("Stop before any change") << 1022 << QStringList{} << std::optional(Button::Stop) << 1
                                                << held + "* Stopped by the operator at state 2011\r\n>>Disconnect()";
        QTest::newRow("Stop after the first change")
            << 4031 << QStringList{} << std::optional(Button::Stop) << 2
            << "\r\nmUpgradeState=(4031)\r\n* Close asked at state 4031: \"The QD8400 is being upgraded. Stopping now "
               "may leave it unable to start.\"\r\n* Stopped by the operator at state 4031\r\n>>Disconnect()";
        QTest::newRow("Stop during a stalled transfer")
            << 4041 << QStringList{"ftp-stall-upload=update.tar:0"} << std::optional(Button::Stop) << 2
            << "\r\n* Stopped by the operator at state 4041\r\n";
        QTest::newRow("left open: the upgrade completes")
            << 4031 << QStringList{} << std::optional<Button>() << 0 << "Upgrade completed successfully";
        QTest::newRow("left open: the script halts")
            << 4031 << QStringList{"rmdir-error=/mnt/nand2/upgrback"} << std::optional<Button>() << 1
            << "Device or resource busy)\r\n<<ucTelnetInterface_CommandPerformed\r\n* Window closed after the "
               "upgrade script stopped\r\n";
        QTest::newRow("left open: the connection drops")
            << 1022 << QStringList{"drop=cd /mnt/nand1"} << std::optional<Button>() << 1
            << "A timeout has occurred while communicating with the QD8400.";
    }

    void closedMidUpgrade()
    {
        QFETCH(int, closedAt);
        QFETCH(QStringList, modes);
        QFETCH(std::optional<Button>, answer);
        QFETCH(int, status);
        QFETCH(QString, last);
        Instrument instrument(modes);
        WizardFixture f({}, instrument.telnetPort(), instrument.ftpPort(), instrument.upgradeFolder(), 0.02);
        Recording recording(*f.window);
        const bool beforeChange = Script::readsOnly(closedAt);
        QStringList sentBeforeStop;
        QElapsedTimer sinceStop;
        bool transferReturned = closedAt != 4041;
        const auto close = [&] {
            sentBeforeStop = instrument.commands();
            sinceStop.start();
            f.window->close();
        };
        recording.onState = [&](int state) {
            if (state == closedAt && state != 4041)
                close();
        };
        // The file all handed over and the transfer still waiting for the instrument, which has
        // stopped reading it.
        recording.onTransfer = [&](const QString &file, bool whole) {
            if (closedAt == 4041 && blockingCallRunning() && whole && !sinceStop.isValid())
                close();
            else if (file.isEmpty() && sinceStop.isValid() && !transferReturned)
                qInfo("Stop to the end of the stalled transfer: %lld ms", sinceStop.elapsed());
            transferReturned |= file.isEmpty();
        };
        // Held before its first change, the run waits in an event loop of its own: the answer comes
        // from there.
        const auto answerHeld = [&] {
            sentBeforeStop = instrument.commands();
            f.dialogs.answer(*answer);
        };
        recording.onLogged = [&](QByteArrayView text) {
            if (answer && beforeChange && text == "\r\n" + last.section("\r\n", 1, 1).toLatin1())
                QMetaObject::invokeMethod(f.window.get(), answerHeld, Qt::QueuedConnection);
        };
        f.walkToLoginPage();
        if (answer && !beforeChange)
            f.dialogs.answers.enqueue(*answer);
        f.click("cmdNext");
        QVERIFY(QTest::qWaitFor([&] { return f.endedWith.has_value() && transferReturned; }, 60000));
        QCOMPARE(f.endedWith, std::optional<int>(status));
        if (answer && beforeChange)
            QCOMPARE(sentBeforeStop, QStringList({Script::firstCommand(), "pwd", "ps aux"}));
        const QString asked = beforeChange ? "Nothing has been changed on the QD8400 yet."
                                           : "The QD8400 is being upgraded. Stopping now may leave it unable to start.";
        QCOMPARE(describe(f.dialogs.shown.first()),
                 "QD8400 Firmware Upgrade | question | Stop Continue*\n" + asked + "\r\nStop the upgrade?");
        QVERIFY(f.trace().contains(
            QString("\r\n* Close asked at state %1: \"%2\"\r\n").arg(closedAt).arg(asked).toLatin1()));
        QCOMPARE(f.dialogs.dismissals, answer ? 0 : 1);
        if (last.contains("\r\n"))
            QVERIFY2(f.trace().contains(last.toLatin1()), f.trace().right(600).constData());
        else
            QCOMPARE(f.dialogs.shown.last().text.section("\r\n", 0, 0), last);
        // Nothing goes out after Stop, and a transfer cut off neither arrives nor times out.
        if (answer == Button::Stop)
            QCOMPARE(instrument.commands(), sentBeforeStop);
        QVERIFY(!f.trace().contains("Transfer of update.tar") || closedAt != 4041);
        QVERIFY(!f.trace().contains("[Error=28:"));
        QVERIFY(status != 0 || instrument.commands().last().startsWith("reboot"));
    }

    void preparationEndings() { ending(); }

    void installationEndings_data()
    {
        endingColumns();
        // The commands that several endings examine last.
        const QString listStartupFiles = "ls -alQ --full-time /mnt/nor/autoexec.bat /mnt/nand2/upgrback/autoexec.bat";
        const QString compareProdImages = "/mnt/nand1/cmp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrnew/qd8prod.rfs";
        const QString listRootFileSystems = "ls -alQ --full-time /mnt/nand1/qd8400.rfs /mnt/nand2/upgrback/qd8400.rfs";
        addEnding("5011 rm message", {"rm-messages=/mnt/nand2/upgrback/*"}, int(AbortCommandNotAcknowledged),
                  "\r\n* [ST=999999][bash-2.04#]<>[rm: cannot remove `/mnt/nand2/upgrback/*': No such file or "
                  "directory]\r\n* [ST=999999][Failed remove /mnt/nand2/upgrback/*]\r\n",
                  "rm -f /mnt/nand2/upgrback/*");
        addEnding("5021 rmdir error", {"rmdir-error=/mnt/nand2/upgrback"}, kHalt,
                  "\r\n* bash-2.04# <> (rmdir: `/mnt/nand2/upgrback': Device or resource busy)\r\n",
                  "rmdir /mnt/nand2/upgrback");
        addEnding("5031 rm error", {"rm-error=/mnt/nand2/upgrnew/*"}, int(AbortCommandFailed),
                  "\r\n* [ST=999999][bash-2.04#] <> [rm: cannot remove `/mnt/nand2/upgrnew/*': Read-only file "
                  "system]\r\n",
                  "rm -f /mnt/nand2/upgrnew/*");
        addEnding("1341 second pass rmdir error", {lineThenPrompt("rmdir /mnt/nand2/upgrnew#2", "rmdir: odd")}, kHalt,
                  "\r\n* bash-2.04# <> (rmdir: odd)\r\n", "rmdir /mnt/nand2/upgrnew");
        addEnding("5721 three listing lines", {"reply=ls -alQ --full-time /mnt/nor:a\\r\\nb\\r\\nc\\r\\nbash-2.04# "},
                  int(AbortCommandFailed), "\r\n* [ST=999999][bash-2.04#] <> [c]\r\n", listStartupFiles);
        addEnding("5721 backup size", {"backup-size-differs=autoexec.bat"}, int(AbortKernelBackupFailed), {},
                  listStartupFiles);
        addEnding("5721 transfer broken", {"ftp-break-upload=autoexec.bat"}, int(AbortFileSystemTransferFailed),
                  "\r\n* Transfer of autoexec.bat failed\r\n", listStartupFiles);
        // Output after the listing's prompt, arriving while the file is on its way, runs the
        // transfer's own state once the transfer has returned.
        addEnding("5731 a prompt during the transfer", {"late=ls -alQ --full-time /mnt/nor:\\r\\n:upload=autoexec.bat"},
                  int(AbortCommandFailed), "\r\n* [ST=999999][bash-2.04#] <> [-rw-r--r--", listStartupFiles);
        addEnding("5741 odd comparison", {"cmp-odd=autoexec.bat"}, kHalt,
                  "\r\nbash-2.04# <> (cmp: EOF on /mnt/nand2/upgrnew/autoexec.bat)\r\n* bash-2.04# <> (cmp: EOF on "
                  "/mnt/nand2/upgrnew/autoexec.bat)\r\n",
                  "/mnt/nand1/cmp /mnt/nor/autoexec.bat /mnt/nand2/upgrnew/autoexec.bat");
        addEnding("5521 backup size", {"backup-size-differs=qd8prod.rfs"}, int(AbortKernelBackupFailed), {},
                  "ls -alQ --full-time /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrback/qd8prod.rfs");
        addEnding("5561 odd comparison", {"cmp-odd=qd8prod.rfs"}, kHalt,
                  "\r\n* bash-2.04# <> (cmp: EOF on /mnt/nand2/upgrnew/qd8prod.rfs)\r\n", compareProdImages);
        addEnding("5565 odd comparison",
                  {"reply=/mnt/nand1/cmp /mnt/nand1/qd8prod.rfs#2:cmp: EOF on /mnt/nand1/qd8prod.rfs\\r\\nbash-2.04# "},
                  kHalt, "\r\n* bash-2.04# <> (cmp: EOF on /mnt/nand1/qd8prod.rfs)\r\n", compareProdImages);
        addEnding("5565 the flash keeps storing another image", {"prod-differs-always"}, int(AbortCommandFailed),
                  "\r\n* [ST=999999][qd8prod.rfs still differs after 3 installations]\r\n", compareProdImages);
        addEnding("6041 root file system backup size", {"backup-size-differs=qd8400.rfs"},
                  int(AbortFileSystemBackupFailed), {}, listRootFileSystems);
        addEnding("6041 kernel transfer broken", {"ftp-break-upload=bzimage"}, int(AbortKernelTransferFailed),
                  "\r\n* Transfer of bzimage failed\r\n", listRootFileSystems);
        // All of it handed over, the instrument stops taking it: 30 s later the transfer has failed.
        addEnding("6041 kernel transfer stops moving", {"ftp-stall-upload=bzimage:65536"},
                  int(AbortKernelTransferFailed), "[Error=28:Nothing moved for 30 seconds", listRootFileSystems);
        // A bare prompt before each listing line, and another as the kernel's upload begins: what they
        // raise would compare and install a kernel that never arrived. The broken transfer is
        // reported before anything looks at them.
        addEnding("6041 kernel transfer broken, a prompt during it",
                  {"reply=" + listRootFileSystems + ":bash-2.04# \\r\\n" + kRootFileSystemListing[0] +
                       "\\r\\nbash-2.04# \\r\\n" + kRootFileSystemListing[1] + "\\r\\nbash-2.04# ",
                   "late=" + listRootFileSystems + ":\\r\\n:upload=bzimage", "ask-again=" + listRootFileSystems,
                   "ftp-break-upload=bzimage"},
                  int(AbortKernelTransferFailed), "\r\n* Transfer of bzimage failed\r\n", listRootFileSystems);
        addEnding("7011 a line during the kernel's transfer",
                  {"late=ls -alQ --full-time /mnt/nand1/qd8400.rfs:x\\r\\n:upload=bzimage"}, int(AbortCommandFailed),
                  "\r\n* [ST=999999][bash-2.04#] <> [bash-2.04# x]\r\n", listRootFileSystems);
        addEnding("7021 a prompt during the root file system's transfer",
                  {"late=ls -alQ --full-time /mnt/nand1/qd8400.rfs:\\r\\n:upload=qd8400.rfs"}, int(AbortCommandFailed),
                  "\r\n* [ST=999999][bash-2.04#] <> [-rw-r--r--", listRootFileSystems);
        addEnding("7031 odd comparison", {"cmp-odd=bzimage"}, int(AbortCommandFailed),
                  "\r\nbash-2.04# <> (cmp: EOF on /mnt/nand2/upgrnew/bzimage)\r\n* bash-2.04# <> (cmp: EOF on "
                  "/mnt/nand2/upgrnew/bzimage)\r\n",
                  "/mnt/nand1/cmp /mnt/nand1/bzimage /mnt/nand2/upgrnew/bzimage");
        addEnding("7081 odd comparison", {"cmp-odd=qd8400.rfs"}, kHalt,
                  "\r\n* bash-2.04# <> (cmp: EOF on /mnt/nand2/upgrnew/qd8400.rfs)\r\n",
                  "/mnt/nand1/cmp /mnt/nand1/qd8400.rfs /mnt/nand2/upgrnew/qd8400.rfs");
        addEnding("7121 copy failed", {lineThenPrompt("cp /mnt/nand2/upgrnew/qd8400.rfs", "cp: write error")}, kHalt,
                  "\r\n* bash-2.04# <> (cp: write error)\r\n",
                  "cp /mnt/nand2/upgrnew/qd8400.rfs /mnt/nand1/qd8400.rfs");
        addEnding("5071 system archive transfer refused",
                  {"ftp-refuse-upload=qd8nand.tar:452:Insufficient storage space."}, int(AbortSystemFileTransferFailed),
                  "\r\n* Transfer of qd8nand.tar failed\r\n", "cd /mnt/nand2");
        addEnding("5071 application archive transfer broken", {"ftp-break-upload=qd8nand3.tar"},
                  int(AbortApplicationTransferFailed), "\r\n* Transfer of qd8nand3.tar failed\r\n", "cd /mnt/nand2");
        addEnding("9021 disk full", {"tar-disk-full=qd8nand.tar"}, int(AbortCommandFailed),
                  "\r\n* [ST=999999][DiskFull: tar: Wrote only 4096 of 10240 bytes]\r\n",
                  "tar -xf /mnt/ramdisk2/qd8nand.tar");
        addEnding("9021 prompt", {promptThenLine("tar -xf /mnt/ramdisk2/qd8nand.tar")},
                  int(AbortCommandNotAcknowledged),
                  "\r\n* [Last terminal line not prompt]][bash-2.04#] <> [eth0: link down]\r\n",
                  "tar -xf /mnt/ramdisk2/qd8nand.tar");
        addEnding("9051 unpacking beyond its 300 s", {"slow=tar -xf /mnt/ramdisk2/qd8nand3.tar:8"}, int(AbortTimeout),
                  "\r\n>>ucTelnetInterface_Timeout\r\nmUpgradeState=(9051)\r\n", "tar -xf /mnt/ramdisk2/qd8nand3.tar");
        addEnding("9101 prompt", {promptThenLine("chgrp 100 default")}, kHalt,
                  "\r\n* [ST=999999]bash-2.04# <> (bash-2.04# )\r\n", "chgrp 100 default");
        addEnding("10011 prompt", {promptThenLine("reboot")}, kHalt, "\r\n* [ST=999999]bash-2.04# <> (bash-2.04# )\r\n",
                  "reboot");
        addEnding("10011 connection dropped by the reboot", {"reboot=drop"}, int(AbortTimeout),
                  "\r\n>>ucTelnetInterface_Timeout\r\nmUpgradeState=(10011)\r\n", "reboot");
    }

    void installationEndings() { ending(); }

private:
    void ending()
    {
        QFETCH(const QStringList, modes);
        QFETCH(const QStringList, fixtures);
        QFETCH(int, routine);
        QFETCH(QByteArray, logged);
        QFETCH(QString, lastCommand);
        WindowRun run(modes, fixtures, 0.02);
        if (routine == kHalt) {
            // Once the step that halted has returned, all it and its run would do has been done.
            qsizetype at = -1;
            QVERIFY(QTest::qWaitFor(
                [&] {
                    at = run.f.trace().indexOf(logged);
                    return at >= 0 && run.f.trace().indexOf("\r\n<<ucTelnetInterface_CommandPerformed", at) > at;
                },
                60000));
            QCOMPARE(run.f.window->run().UpgradeState(), Script::kBusy);
            QVERIFY(run.f.dialogs.shown.isEmpty());
            QVERIFY(!run.f.endedWith);
            run.f.window->close(); // the operator can leave once the script has stopped
            QCOMPARE(run.f.endedWith, std::optional<int>(1));
            QVERIFY(!run.f.trace().mid(at).contains(">>SendCommand("));
        } else {
            QVERIFY(run.ended(60));
            QCOMPARE(run.f.endedWith, std::optional<int>(1));
            QCOMPARE(run.f.dialogs.shown.size(), 1);
            QCOMPARE(describe(run.f.dialogs.shown[0]),
                     describe(failureMessage(FailureRoutine(routine), QStringLiteral("127.0.0.1"))));
            QVERIFY2(run.f.trace().contains(logged), run.f.trace().right(2000).replace('\r', ' ').constData());
        }
        const QStringList commands = run.instrument.commands();
        QCOMPARE(commands.isEmpty() ? QString() : commands.last(), lastCommand);
    }
};

QTEST_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
