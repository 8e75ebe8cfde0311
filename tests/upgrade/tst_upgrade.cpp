// The upgrade script run by the real window against the simulated instrument: whole upgrades, and
// every failure ending and halt produced by the simulator's modes.
#include "FailureRoutines.h"
#include "Instrument.h"
#include "Script.h"
#include "WizardFixture.h"

#include <QRegularExpression>
#include <QtTest>

#include <set>

using enum FailureRoutine;

namespace {

// The script of a whole upgrade: "flags|state command", in order. A line with flags belongs to the
// scenarios that have all of them: a the folder holds autoexec.bat, A it does not; p and P the
// same for qd8prod.rfs; 1 the installed maintenance image comes out different once; k and K the
// kernel differs or not, r and R the root file system. A state without a command is the one stored
// while a transfer runs.
const QStringList kScript{
    "|1022 cd /mnt/nand1",
    "|1033 pwd",
    "|2011 ps aux",
    "|2021 date 030109052027", // the PC's clock: 1 March 2027 09:05
    "|4031 rm -f bzimage2",
    "|4021 rm -f cmp",
    "|4011 rm -f update*",
    "|4041",
    "|4051 tar -xvf update.tar",
    "|2211 umount /dev/ramdisk2",
    "|2221 mknod --mode=777 /dev/ramdisk2 b 1 2",
    "|2231 mke2fs -m 0 /dev/ramdisk2",
    "|2241 mkdir /mnt/ramdisk2",
    "|2251 mount /dev/ramdisk2 /mnt/ramdisk2",
    "|2260 mkdir /mnt/nand4",
    "|2261 mount /dev/nand4 /mnt/nand4",
    "|2271 rm -r -f /mnt/nand4/bmxsys/dbg/* > /dev/null",
    "|2281 rm -r -f /mnt/nand4/bmxsys/recovery/* > /dev/null",
    "|2291 umount /dev/nand4",
    "|3011 umount /dev/nand2",
    "|30121 mke2fs -j /dev/nand2 30774",
    "|30131 mount /dev/nand2",
    "|3041 umount /dev/nand3",
    "|3051 mke2fs -j /dev/nand3 16632",
    "|3061 mount /dev/nand3",
    "|5011 rm -f /mnt/nand2/upgrback/*",
    "|5021 rmdir /mnt/nand2/upgrback",
    "|5031 rm -f /mnt/nand2/upgrnew/*",
    "|1341 rmdir /mnt/nand2/upgrnew",
    "|5051 mkdir /mnt/nand2/upgrback",
    "|5061 mkdir /mnt/nand2/upgrnew",
    "a|5711 cp /mnt/nor/autoexec.bat /mnt/nand2/upgrback",
    "a|5721 ls -alQ --full-time /mnt/nor/autoexec.bat /mnt/nand2/upgrback/autoexec.bat",
    "a|5731",
    "a|5741 /mnt/nand1/cmp /mnt/nor/autoexec.bat /mnt/nand2/upgrnew/autoexec.bat",
    "a|5751 rm -f /mnt/nor/autoexec.bat",
    "a|5761 cp /mnt/nand2/upgrnew/autoexec.bat /mnt/nor/autoexec.bat",
    "A|5761 ls > /dev/null",
    "p|5511 cp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrback",
    "p|5521 ls -alQ --full-time /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrback/qd8prod.rfs",
    "p|5541",
    "p|5561 /mnt/nand1/cmp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrnew/qd8prod.rfs",
    "p|5571 rm -f /mnt/nand1/qd8prod.rfs",
    "p|5581 cp /mnt/nand2/upgrnew/qd8prod.rfs /mnt/nand1/qd8prod.rfs",
    "p|5565 /mnt/nand1/cmp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrnew/qd8prod.rfs",
    "1|5571 rm -f /mnt/nand1/qd8prod.rfs",
    "1|5581 cp /mnt/nand2/upgrnew/qd8prod.rfs /mnt/nand1/qd8prod.rfs",
    "1|5565 /mnt/nand1/cmp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrnew/qd8prod.rfs",
    "p|5591 rm -f /mnt/nand2/upgrnew/qd8prod.rfs",
    "P|5591 ls > /dev/null",
    "|6011 cp /mnt/nand1/bzimage /mnt/nand2/upgrback",
    "|6031 ls -alQ --full-time /mnt/nand1/bzimage /mnt/nand2/upgrback/bzimage",
    "|6021 cp /mnt/nand1/qd8400.rfs /mnt/nand2/upgrback",
    "|6041 ls -alQ --full-time /mnt/nand1/qd8400.rfs /mnt/nand2/upgrback/qd8400.rfs",
    "|7011",
    "|7021",
    "|7031 /mnt/nand1/cmp /mnt/nand1/bzimage /mnt/nand2/upgrnew/bzimage",
    "k|7091 cp /mnt/nand2/upgrnew/bzimage /mnt/nand1/bzimage2",
    "k|7101 mv /mnt/nand1/bzimage2 /mnt/nand1/bzimage",
    "|7081 /mnt/nand1/cmp /mnt/nand1/qd8400.rfs /mnt/nand2/upgrnew/qd8400.rfs",
    "r|7111 rm -f /mnt/nand1/qd8400.rfs",
    "r|7121 cp /mnt/nand2/upgrnew/qd8400.rfs /mnt/nand1/qd8400.rfs",
    "|5011 rm -f /mnt/nand2/upgrback/*",
    "|5021 rmdir /mnt/nand2/upgrback",
    "|5031 rm -f /mnt/nand2/upgrnew/*",
    "|1341 rmdir /mnt/nand2/upgrnew",
    "|5071 cd /mnt/nand2",
    "|8011",
    "|8022",
    "|9011 cd /mnt/nand2",
    "|9021 tar -xf /mnt/ramdisk2/qd8nand.tar",
    "|9031 rm -f /mnt/nand2/qd8nand.tar",
    "|9041 cd /mnt/nand3",
    "|9051 tar -xf /mnt/ramdisk2/qd8nand3.tar",
    "|9061 rm -f /mnt/nand3/qd8nand3.tar",
    "|9071 chmod u+w *.bin",
    "|9081 chmod u+w *.bmp",
    "|9091 cd home",
    "|9101 chgrp 100 default",
    "|10011 reboot",
};

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
struct Run
{
    Instrument instrument;
    WizardFixture f;

    Run(const QStringList &modes, const QStringList &fixtures, double timeScale)
        : instrument(modes, fixtures),
          f({}, instrument.telnetPort(), instrument.ftpPort(), instrument.upgradeFolder(), timeScale)
    {
        f.walkToLoginPage();
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
        f.window->SetUpgradeState(state);
        emit f.window->telnet().CommandPerformed();
        const QByteArray line = "\r\nmUpgradeState=(" + QByteArray::number(state) + ')';
        QVERIFY(f.trace().endsWith(line + "\r\n>>ucTelnetInterface_CommandPerformed" + line + between +
                                   "\r\n<<ucTelnetInterface_CommandPerformed\r\n"));
        QCOMPARE(f.window->UpgradeState(), state);
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
    }

    void wholeUpgrades_data()
    {
        QTest::addColumn<QStringList>("modes");
        QTest::addColumn<QStringList>("fixtures");
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("installed"); // autoexec.bat, bzimage, qd8400.rfs, qd8prod.rfs
        QTest::addColumn<QByteArray>("logged");
        const auto row = [](const char *name, const QStringList &modes, const QStringList &fixtures,
                            const QString &scenario, const QString &installed, const QByteArray &logged = {}) {
            QTest::newRow(name) << modes << fixtures << scenario << installed << logged;
        };
        row("both optional files", {}, {}, "apkr", "new new new new");
        row("neither, rm messages, trickle and split prompt",
            {"rm-messages=bzimage2", "rm-messages=cmp", "rm-messages=update*", "trickle=64:1", "split-prompt"},
            {"--no-autoexec", "--no-prod"}, "APkr", "old new new old");
        row("kernel identical, split prompt", {"split-prompt=5"}, {"--same-kernel"}, "apKr", "new new new new");
        // The kernel's comparison has 120 s and the unpacking 300 s, not 60 (3 s at this scale).
        row("root file system identical, commands slower than 60 s",
            {"slow=tar -xf /mnt/ramdisk2/qd8nand.tar:5", "slow=/mnt/nand1/cmp /mnt/nand1/bzimage:4"}, {"--same-rootfs"},
            "apkR", "new new new new");
        // A prompt arriving while a step waits (before the reboot) changes nothing.
        row("maintenance image different once, a late prompt",
            {"prod-differs-once", "last-login", "late=chgrp 100 default:\\r\\n:200"}, {}, "apkr1", "new new new new",
            "\r\n>>ucTelnetInterface_CommandPerformed\r\nmUpgradeState=(999999)\r\n===== End of state machine "
            "=====\r\n<<ucTelnetInterface_CommandPerformed\r\n");
        // A prompt arriving while update.tar is on its way runs state 4041, which unpacks it; the
        // step that made the transfer sends nothing more.
        row("a late prompt during the first transfer",
            {"late=rm -f update*:\\r\\n:100", "ftp-rate-upload=update.tar:4096"}, {}, "apkr", "new new new new",
            "\r\n* tar -xvf update.tar not sent: a step run meanwhile has sent its own command\r\n");
    }

    void wholeUpgrades()
    {
        QFETCH(QStringList, modes);
        QFETCH(QStringList, fixtures);
        QFETCH(QString, scenario);
        QFETCH(QString, installed);
        QFETCH(QByteArray, logged);
        Run run(modes, fixtures, 0.05);
        QVERIFY(run.ended(240));
        QCOMPARE(run.f.endedWith, std::optional<int>(0));
        QCOMPARE(run.f.dialogs.shown.size(), 1);
        QCOMPARE(describe(run.f.dialogs.shown[0]), "QD8400 Firmware Upgrade | information | Ok*\nUpgrade completed "
                                                   "successfully\r\nPress OK to end program");
        QStringList states;
        QStringList commands;
        for (const QString &line : kScript) {
            const QString flags = line.section('|', 0, 0);
            if (std::all_of(flags.begin(), flags.end(), [&](QChar flag) { return scenario.contains(flag); })) {
                states << line.section('|', 1).section(' ', 0, 0);
                if (line.contains(' '))
                    commands << line.section(' ', 1);
            }
        }
        QCOMPARE(statesIn(run.f.trace()), states << "0");
        QCOMPARE(run.instrument.commands(), commands);
        const QJsonObject state = run.instrument.state();
        QStringList found;
        for (const char *file : {"autoexec.bat", "bzimage", "qd8400.rfs", "qd8prod.rfs"})
            found << state["installed"][file].toString();
        QCOMPARE(found.join(' '), installed);
        QCOMPARE(state["unpacked"].toObject(), QJsonObject({{"qd8nand.tar", true}, {"qd8nand3.tar", true}}));
        QCOMPARE(state["reboots"].toInt(), 1);
        QCOMPARE(run.f.control<QLabel>("lblProgBarTitle")->text(), QString("100% complete"));
        QVERIFY(run.f.trace().contains(logged));
        QVERIFY(!run.f.trace().contains("k8r2Mq5"));
    }

    // Every failure ending and halt: the message of the routine (or none), the step's log lines in
    // order, and nothing sent after the command that the failing step examined.
    void preparationEndings_data()
    {
        endingColumns();
        const auto tight = [](const QByteArray &line, const QByteArray &failed) {
            return "\r\n* [ST=999999][bash-2.04#]<>[" + line + "]\r\n* [ST=999999][Failed" + failed + "]\r\n";
        };
        addEnding("1022 another device's prompt", {promptThenLine("cd /mnt/nand1")}, int(AbortNotInstrument),
                  kNotPrompt, "cd /mnt/nand1");
        addEnding("1022 not silent",
                  {lineThenPrompt("cd /mnt/nand1", "bash: cd: /mnt/nand1: No such file or directory")},
                  int(AbortCommandFailed), "\r\n* [ST=999999][bash-2.04#] <> [bash-2.04#]\r\n", "cd /mnt/nand1");
        addEnding("1033 two lines", {"reply=pwd:/mnt/nand1\\r\\n/\\r\\nbash-2.04# "}, int(AbortCommandFailed),
                  "\r\n* [ST=999999][bash-2.04#]<>[/mnt/nand1]\r\n", "pwd");
        addEnding("1033 a blank after the folder", {lineThenPrompt("pwd", "/mnt/nand1 ")}, int(AbortCommandFailed),
                  "\r\n* [/mnt/nand1] <> [/mnt/nand1 ]\r\n", "pwd");
        addEnding("2011 Measure", {"not-maintenance=Measure"}, int(AbortNotMaintenanceMode),
                  "\r\n* [ST=999999][Output contains 'measure']\r\n", "ps aux");
        addEnding("2011 QDCom", {"not-maintenance=qdcomd"}, int(AbortNotMaintenanceMode),
                  "\r\n* [ST=999999][Output contains 'QDCom']\r\n", "ps aux");
        addEnding("2021 prompt", {promptThenLine("date ")}, int(AbortCommandNotAcknowledged), kNotPrompt,
                  "date 030109052027");
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
                  tight("mknod: `/dev/ramdisk2': Read-only file system", " mknod --mode=777 /dev/ramdisk2 b 1 2"),
                  "mknod --mode=777 /dev/ramdisk2 b 1 2");
        addEnding("2231 report of 18 lines", {"ramdisk-report-lines=18"}, int(AbortCommandNotAcknowledged),
                  tight("mke2fs 1.19, 13-Jul-2000 for EXT2 FS 0.5b, 95/08/09", " mke2fs -m 0 /dev/ramdisk2"),
                  "mke2fs -m 0 /dev/ramdisk2");
        addEnding(
            "2241 read-only",
            {lineThenPrompt("mkdir /mnt/ramdisk2",
                            "mkdir: cannot create directory `/mnt/ramdisk2': Read-only file system")},
            int(AbortCommandNotAcknowledged),
            tight("mkdir: cannot create directory `/mnt/ramdisk2': Read-only file system", " mkdir /mnt/ramdisk2"),
            "mkdir /mnt/ramdisk2");
        addEnding("2251 prompt", {promptThenLine("mount /dev/ramdisk2")}, int(AbortCommandNotAcknowledged),
                  tight("bash-2.04#", ":mount /dev/ramdisk2 /mnt/ramdisk2"), "mount /dev/ramdisk2 /mnt/ramdisk2");
        addEnding("2291 prompt", {promptThenLine("umount /dev/nand4")}, int(AbortCommandNotAcknowledged), kNotPrompt,
                  "umount /dev/nand4");
        addEnding("3011 busy", {lineThenPrompt("umount /dev/nand2", "umount: /dev/nand2: device is busy")},
                  int(AbortCommandNotAcknowledged), tight("umount: /dev/nand2: device is busy", ":umount /dev/nand2"),
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
                  tight("mount: /dev/nand3 is not a valid block device", ":mount /dev/nand3"), "mount /dev/nand3");
        addEnding("a reset while connecting", {"reset=root"}, int(AbortConnectFailed), "\r\nmUpgradeState=(81)\r\n",
                  {});
        // Qt reports a reset like an orderly close, so the guard ends the command.
        addEnding("a reset", {"reset=ps aux"}, int(AbortTimeout), "\r\nmUpgradeState=(2011)\r\n", "pwd");
        // The instrument closes as pwd arrives, before its shell has read it.
        addEnding("a dropped connection", {"drop=pwd"}, int(AbortTimeout),
                  "\r\n>>ucTelnetInterface_Timeout\r\nmUpgradeState=(1033)\r\n", "cd /mnt/nand1");
        // The text arrives while update.tar is on its way over a slow link.
        addEnding("4041 late output during the transfer",
                  {"late=rm -f update*:Done:100", "ftp-rate-upload=update.tar:4096"}, kHalt,
                  "\r\n* bash-2.04# <> (bash-2.04# Donebash-2.04# )\r\n", "rm -f update*");
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
        // Output after the listing's prompt, arriving while the file is on its way over a slow link,
        // runs the transfer's own state once the transfer has returned.
        addEnding("5731 a prompt during the transfer",
                  {"late=ls -alQ --full-time /mnt/nor:\\r\\n:100", "ftp-rate-upload=autoexec.bat:30"},
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
        addEnding("7011 a line during the kernel's transfer",
                  {"late=ls -alQ --full-time /mnt/nand1/qd8400.rfs:x\\r\\n:1000", "ftp-rate-upload=bzimage:500000"},
                  int(AbortCommandFailed), "\r\n* [ST=999999][bash-2.04#] <> [bash-2.04# x]\r\n", listRootFileSystems);
        addEnding("7021 a prompt during the root file system's transfer",
                  {"late=ls -alQ --full-time /mnt/nand1/qd8400.rfs:\\r\\n:1000", "ftp-rate-upload=qd8400.rfs:2097152"},
                  int(AbortCommandFailed), "\r\n* [ST=999999][bash-2.04#] <> [-rw-r--r--", listRootFileSystems);
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
        Run run(modes, fixtures, 0.02);
        if (routine == kHalt) {
            QVERIFY(QTest::qWaitFor([&] { return run.f.trace().contains(logged); }, 60000));
            QTest::qWait(300);
            QCOMPARE(run.f.window->UpgradeState(), Script::kBusy);
            QVERIFY(run.f.dialogs.shown.isEmpty());
            QVERIFY(!run.f.endedWith);
            run.f.window->close(); // the operator can leave once the script has stopped
            QCOMPARE(run.f.endedWith, std::optional<int>(1));
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
