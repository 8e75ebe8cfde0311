// The upgrade script: identification and preparation (states below 5000 and the two formatting
// steps 30121 and 30131), transfer and checking of the system files (5000s and 6000s, and 1341),
// installation and completion (7000 up).
#include "Script.h"

#include "Step.h"
#include "UpgradeHost.h"

#include <QDateTime>

#include <algorithm>

namespace Script {

namespace {

using enum FailureRoutine;

constexpr Caption plain(const char *text)
{
    return {text, Suffix::None, true};
}
constexpr Caption W(const char *text)
{
    return {text, Suffix::Warning, true};
}
constexpr Caption N2(const char *text)
{
    return {text, Suffix::Note2, true};
}
constexpr Caption N4(const char *text)
{
    return {text, Suffix::Note4, true};
}
constexpr Caption N10(const char *text)
{
    return {text, Suffix::Note10, true};
}
// No caption, only the wait; or neither.
constexpr Caption kWait{nullptr, Suffix::None, true};
constexpr Caption kAtOnce{};

constexpr Way go(Caption caption, const char *command, int next, qint32 timeout = 60)
{
    return {caption, command, next, timeout};
}

// ---- Log texts of failed checks.

const char *const kTight = "]<>[";
const char *const kSpaced = "] <> [";

QString notPrompt(const Step &s)
{
    return s.st() + "[Last terminal line not prompt]";
}

// The prompt expected on a line, and what the line holds instead.
QString mismatch(const Step &s, const char *separator, int line)
{
    return s.st() + '[' + kPrompt + separator + s.trimmed(line) + ']';
}

// The command that failed, in the form "[Failed:cmd]" or the RAM disk steps' "[Failed cmd]".
QString failedCommand(const Step &s, const char *separator)
{
    return s.st() + "[Failed" + separator + s.examined() + ']';
}

QString failedRemove(const Step &s)
{
    return s.st() + "[Failed remove " + s.row().text + ']';
}

// The unexpected line 2 beside the prompt expected, as a halt logs it.
QString unexpected(const Step &s)
{
    return "* " + kPrompt + " <> (" + s.line(2) + ')';
}

// ---- Checks.

bool prompt(const Step &s)
{
    return s.lastIsPrompt() || s.fail(AbortCommandNotAcknowledged, {notPrompt(s)});
}

bool silent(const Step &s)
{
    return s.isPrompt(2) || s.fail(AbortCommandNotAcknowledged, {mismatch(s, kTight, 2), failedCommand(s, ":")});
}

bool silentSpaced(const Step &s)
{
    return s.isPrompt(2) || s.fail(AbortCommandFailed, {mismatch(s, kSpaced, 2)});
}

// A first command that does not come back to this prompt was answered by some other device.
bool promptOfInstrument(const Step &s)
{
    return s.lastIsPrompt() || s.fail(AbortNotInstrument, {notPrompt(s)});
}

bool silentAtIdentification(const Step &s)
{
    return s.isPrompt(2) || s.fail(AbortCommandFailed, {s.st() + '[' + kPrompt + kSpaced + s.trimmed(3) + ']'});
}

// pwd prints exactly one line: the folder the first command went to.
bool oneLine(const Step &s)
{
    return s.isPrompt(3) || s.fail(AbortCommandFailed, {mismatch(s, kTight, 2)});
}

bool inWorkingFolder(const Step &s)
{
    return s.line(2) == QLatin1String(s.row().text) ||
           s.fail(AbortCommandFailed, {QStringLiteral("* [%1] <> [%2]").arg(s.row().text, s.line(2))});
}

// The instrument's measurement processes run only outside maintenance mode.
bool noMeasurement(const Step &s)
{
    for (const char *word : {"measure", "frontend", "QDCom"})
        if (s.listed(word))
            return s.fail(AbortNotMaintenanceMode, {s.st() + "[Output contains '" + word + "']"});
    return true;
}

// What rm without -f would say of a name that matched nothing.
QString rmMissing(const char *name)
{
    return QStringLiteral("rm: cannot remove `%1': No such file or directory").arg(name);
}

bool silentOrNothingToRemove(const Step &s)
{
    return s.isPrompt(2) || s.line(2) == rmMissing(s.row().text);
}

bool removed(const Step &s)
{
    return silentOrNothingToRemove(s) || s.fail(AbortCommandNotAcknowledged, {failedRemove(s)});
}

bool promptBeforeTransfer(const Step &s)
{
    return s.lastIsPrompt() || s.fail(AbortCommandNotAcknowledged, {notPrompt(s)}, {unexpected(s)});
}

bool removedBeforeTransfer(const Step &s)
{
    return silentOrNothingToRemove(s) || s.fail(AbortCommandNotAcknowledged, {}, {unexpected(s)});
}

bool removedElseHalt(const Step &s)
{
    return silentOrNothingToRemove(s) || s.halt(unexpected(s));
}

// update.tar holds the compare utility cmp alone; the shell cannot give it root's owner and time.
bool cmpUnpacked(const Step &s)
{
    return s.isPrompt(2) ||
           (s.trimmed(2) == QLatin1String("cmp") &&
            s.trimmed(3) == QLatin1String("tar: cmp: Cannot utime: No such file or directory") &&
            s.trimmed(4) ==
                QLatin1String("tar: cmp: Cannot change ownership to uid 0, gid 0: No such file or directory") &&
            s.trimmed(5) == QLatin1String("tar: Error exit delayed from previous errors") && s.isPrompt(6)) ||
           s.fail(AbortCommandNotAcknowledged, {unexpected(s)});
}

// The tool's harmless complaint (the row's text) about the command it was given, and nothing else.
bool noticed(const Step &s)
{
    return s.trimmed(2).contains(QLatin1String(s.row().text)) && s.trimmed(1) == s.examined() && s.isPrompt(3);
}

bool silentOrNotMounted(const Step &s)
{
    return s.isPrompt(2) || noticed(s) || s.fail(AbortCommandNotAcknowledged, {unexpected(s)});
}

bool silentOrExists(const Step &s)
{
    return s.isPrompt(2) || noticed(s) ||
           s.fail(AbortCommandNotAcknowledged, {mismatch(s, kTight, 2), failedCommand(s, " ")});
}

// The formatter's report is 19 lines long.
bool reportOf19Lines(const Step &s)
{
    return s.isPrompt(21) || s.fail(AbortCommandNotAcknowledged, {mismatch(s, kTight, 2), failedCommand(s, " ")});
}

bool promptOrFailed(const Step &s)
{
    return s.lastIsPrompt() || s.fail(AbortCommandNotAcknowledged, {mismatch(s, kTight, 2), failedCommand(s, ":")});
}

bool promptOfNand3Format(const Step &s)
{
    return s.lastIsPrompt() ||
           s.fail(AbortCommandNotAcknowledged, {notPrompt(s)}, {QStringLiteral("* Failed make filesystem nand3")});
}

bool silentRemoved(const Step &s)
{
    return s.isPrompt(2) || s.fail(AbortCommandNotAcknowledged, {mismatch(s, kTight, 2), failedRemove(s)});
}

// rmdir of a folder that is not there is harmless; any other message stops the script.
bool silentOrNoFolder(const Step &s)
{
    return s.isPrompt(2) ||
           s.trimmed(2) == QStringLiteral("rmdir: `%1': No such file or directory").arg(s.row().text) ||
           s.halt(unexpected(s));
}

// ls -alQ of a file and its copy: two listing lines.
bool twoListingLines(const Step &s)
{
    return s.isPrompt(4) || s.fail(AbortCommandFailed, {mismatch(s, kSpaced, 4)});
}

bool kernelBackupSizes(const Step &s)
{
    return s.listedSizesAgree() || s.abort(AbortKernelBackupFailed);
}

bool fileSystemBackupSizes(const Step &s)
{
    return s.listedSizesAgree() || s.abort(AbortFileSystemBackupFailed);
}

bool promptOfUnpacking(const Step &s)
{
    return s.lastIsPrompt() || s.fail(AbortCommandNotAcknowledged, {"* [Last terminal line not prompt]][" + kPrompt +
                                                                    kSpaced + s.trimmed(s.count()) + ']'});
}

bool diskNotFull(const Step &s)
{
    return !s.line(2).contains(QLatin1String("Wrote only")) ||
           s.fail(AbortCommandFailed, {s.st() + "[DiskFull: " + s.trimmed(2) + ']'});
}

bool promptElseHalt(const Step &s)
{
    return s.lastIsPrompt() || s.halt(s.st() + kPrompt + " <> (" + s.line(2) + ')');
}

// ---- Choices and steps with more to do.

enum class Verdict
{
    Identical,
    Differ,
    Neither,
};

// cmp prints nothing for equal files and a line holding "differ" for different ones.
Verdict compared(const Step &s)
{
    if (s.isPrompt(2))
        return Verdict::Identical;
    s.log(kPrompt + " <> (" + s.line(2) + ')');
    return s.line(2).contains(QLatin1String("differ"), Qt::CaseInsensitive) ? Verdict::Differ : Verdict::Neither;
}

// Ways: 0 identical, 1 differ. Anything else halts the script, or where the kernels are compared
// ends it with a message.
int identicalOrDiffer(const Step &s, bool haltOtherwise = true)
{
    const Verdict verdict = compared(s);
    if (verdict != Verdict::Neither)
        return verdict == Verdict::Identical ? 0 : 1;
    haltOtherwise ? s.halt(unexpected(s)) : s.fail(AbortCommandFailed, {unexpected(s)});
    return kEnded;
}

// Identical files skip steps whose progress is added at once.
int identicalOrDifferSkipping(const Step &s, qint16 skippedTasks)
{
    const int way = identicalOrDiffer(s);
    if (way == 0)
        s.host().AdvanceProgress(skippedTasks);
    return way;
}

int startupFilesCompared(const Step &s)
{
    return identicalOrDifferSkipping(s, 1);
}

int prodImagesCompared(const Step &s)
{
    return identicalOrDifferSkipping(s, 2);
}

// A flash that keeps storing a different image would otherwise be written for ever.
constexpr int kProdImageInstallRounds = 3;

int installedProdImageVerified(const Step &s)
{
    const int way = identicalOrDiffer(s);
    if (way == 1 && s.visits() >= kProdImageInstallRounds) {
        s.fail(AbortCommandFailed,
               {s.st() +
                QStringLiteral("[qd8prod.rfs still differs after %1 installations]").arg(kProdImageInstallRounds)});
        return kEnded;
    }
    return way;
}

int kernelsCompared(const Step &s)
{
    return identicalOrDiffer(s, false);
}

int rootFileSystemsCompared(const Step &s)
{
    const int way = identicalOrDiffer(s);
    if (way == 0)
        s.host().SetSystemFilesInstalled(true);
    return way;
}

int rootFileSystemInstalled(const Step &s)
{
    if (!s.isPrompt(2)) {
        s.halt(unexpected(s));
        return kEnded;
    }
    s.host().SetSystemFilesInstalled(true);
    return 0;
}

// Ways: 0 the first pass, 1 the second (the system files are installed).
int pass(const Step &s)
{
    return s.host().SystemFilesInstalled() ? 1 : 0;
}

// Ways: 0 the folder holds the file, 1 it does not.
int withStartupFile(const Step &s)
{
    return s.host().Inputs().autoexecFound ? 0 : 1;
}

int withProdImage(const Step &s)
{
    return s.host().Inputs().prodImageFound ? 0 : 1;
}

// The instrument's clock is set from the PC's local time, as mmddhhmmyyyy.
int setDate(const Step &s)
{
    const QString stamp = QDateTime::fromSecsSinceEpoch(s.host().Now()).toString(QStringLiteral("MMddHHmmyyyy"));
    const Way &way = s.row().ways[0];
    if (s.show(QLatin1String(way.caption.text) + stamp, true))
        s.send(QLatin1String(way.command) + stamp, way.next);
    return kEnded;
}

// A command completed while the kernel was on its way: the root file system's transfer comes next.
int duringKernelTransfer(const Step &s)
{
    s.expect(s.row().ways[0].next);
    return kEnded;
}

// The state is stored before the long settling wait, then the command goes.
int unpackApplication(const Step &s)
{
    const Way &way = s.row().ways[0];
    if (!s.show(way.caption))
        return kEnded;
    s.host().SetUpgradeState(way.next);
    if (s.pause(10000))
        s.sendCommand(QLatin1String(way.command), way.timeout);
    return kEnded;
}

int reboot(const Step &s)
{
    const Way &way = s.row().ways[0];
    if (s.pause(10000) && s.show(way.caption) && s.pause(10000))
        s.send(QLatin1String(way.command), way.next);
    return kEnded;
}

int complete(const Step &s)
{
    s.host().FillProgress();
    if (promptElseHalt(s))
        s.host().CompleteUpgrade();
    return kEnded;
}

// ---- Transfers.

// clang-format off
constexpr Transfer kUtilities{.file = "update.tar", .target = "/mnt/nand1/update.tar", .state = 4041,
    .routine = AbortUtilitiesTransferFailed, .caption = plain("Transferring upgrade archives"), .progress = 0,
    .folder = "/mnt/nand1"};
constexpr Transfer kStartupFile{.file = "autoexec.bat", .target = "/mnt/nand2/upgrnew/autoexec.bat", .state = 5731,
    .routine = AbortFileSystemTransferFailed, .caption = W("Transferring new startup file\r\n"), .progress = 0,
    .type = 1};
constexpr Transfer kProdImage{.file = "qd8prod.rfs", .target = "/mnt/nand2/upgrnew/qd8prod.rfs", .state = 5541,
    .routine = AbortFileSystemTransferFailed, .caption = N4("Transferring new maintenance file system file"),
    .progress = 5};
constexpr Transfer kKernel{.file = "bzimage", .target = "/mnt/nand2/upgrnew/bzimage", .state = 7011,
    .routine = AbortKernelTransferFailed, .caption = N4("Transferring new kernel file"), .progress = 3,
    .settle = 10000};
constexpr Transfer kRootFileSystem{.file = "qd8400.rfs", .target = "/mnt/nand2/upgrnew/qd8400.rfs", .state = 7021,
    .routine = AbortFileSystemTransferFailed, .caption = N4("Transferring new root file system file"), .progress = 3};
constexpr Transfer kSystemFiles{.file = "qd8nand.tar", .target = "/mnt/ramdisk2/qd8nand.tar", .state = 8011,
    .routine = AbortSystemFileTransferFailed, .caption = N10("Transferring new system files"), .progress = 5};
constexpr Transfer kApplicationFiles{.file = "qd8nand3.tar", .target = "/mnt/ramdisk2/qd8nand3.tar", .state = 8022,
    .routine = AbortApplicationTransferFailed, .caption = N10("Transferring new application files"), .progress = 5};
// clang-format on

// ---- Commands that several steps send.

const char *const kCleanBackups = "rm -f /mnt/nand2/upgrback/*";
const char *const kCompareStartupFile = "/mnt/nand1/cmp /mnt/nor/autoexec.bat /mnt/nand2/upgrnew/autoexec.bat";
const char *const kCompareProdImage = "/mnt/nand1/cmp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrnew/qd8prod.rfs";
const char *const kCompareKernel = "/mnt/nand1/cmp /mnt/nand1/bzimage /mnt/nand2/upgrnew/bzimage";
const char *const kCompareRootFileSystem = "/mnt/nand1/cmp /mnt/nand1/qd8400.rfs /mnt/nand2/upgrnew/qd8400.rfs";
const char *const kRemoveProdImage = "rm -f /mnt/nand1/qd8prod.rfs";
const char *const kNothing = "ls > /dev/null";
const char *const kUnpackTar = "tar -xvf update.tar";

// clang-format off
constexpr Row kRows[] = {
    // Identification and preparation.
    {.state = 1022, .before = plain("Identifying connected device"), .checks = {promptOfInstrument, silentAtIdentification},
     .ways = {go(kAtOnce, "pwd", 1033)}},
    {.state = 1033, .checks = {prompt, oneLine, inWorkingFolder},
     .ways = {go(plain("Checking maintenance mode."), "ps aux", 2011)}, .text = "/mnt/nand1"},
    {.state = 2011, .checks = {prompt, noMeasurement},
     .ways = {go(plain("Setting system date to "), "date ", 2021)}, .choose = setDate},
    {.state = 2021, .checks = {prompt}, .ways = {go(plain("Cleaning previous upgrade"), "rm -f bzimage2", 4031)}},
    {.state = 4031, .checks = {prompt, removed},
     .ways = {go(plain("Cleaning previous utilities"), "rm -f cmp", 4021)}, .text = "bzimage2"},
    {.state = 4021, .checks = {prompt, removed},
     .ways = {go(plain("Cleaning previous upgrade archives"), "rm -f update*", 4011)}, .text = "cmp"},
    {.state = 4011, .checks = {promptBeforeTransfer, removedBeforeTransfer}, .transfers = {&kUtilities},
     .ways = {go(plain("Extracting upgrade archives"), kUnpackTar, 4051)}, .settle = 1000, .text = "update*"},
    {.state = 4041, .checks = {removedElseHalt}, .ways = {go(kAtOnce, kUnpackTar, 4051)}, .settle = 10000,
     .text = "update*"},
    {.state = 4051, .checks = {cmpUnpacked}, .ways = {go(W("Creating RAM disk node"), "umount /dev/ramdisk2", 2211)}},
    {.state = 2211, .checks = {prompt, silentOrNotMounted},
     .ways = {go(kWait, "mknod --mode=777 /dev/ramdisk2 b 1 2", 2221)}, .text = "not found"},
    {.state = 2221, .checks = {prompt, silentOrExists}, .ways = {go(kWait, "mke2fs -m 0 /dev/ramdisk2", 2231)},
     .text = "File exists"},
    {.state = 2231, .checks = {prompt, reportOf19Lines}, .ways = {go(kWait, "mkdir /mnt/ramdisk2", 2241)}},
    {.state = 2241, .checks = {prompt, silentOrExists}, .ways = {go(kWait, "mount /dev/ramdisk2 /mnt/ramdisk2", 2251)},
     .text = "File exists"},
    {.state = 2251, .checks = {promptOrFailed}, .ways = {go(kWait, "mkdir /mnt/nand4", 2260)}},
    {.state = 2260, .checks = {promptOrFailed}, .ways = {go(kWait, "mount /dev/nand4 /mnt/nand4", 2261)}},
    {.state = 2261, .checks = {promptOrFailed}, .ways = {go(kWait, "rm -r -f /mnt/nand4/bmxsys/dbg/* > /dev/null", 2271)}},
    {.state = 2271, .checks = {promptOrFailed},
     .ways = {go(kWait, "rm -r -f /mnt/nand4/bmxsys/recovery/* > /dev/null", 2281)}},
    {.state = 2281, .checks = {promptOrFailed}, .ways = {go(kWait, "umount /dev/nand4", 2291)}},
    {.state = 2291, .checks = {prompt}, .ways = {go(W("Unmounting system file system"), "umount /dev/nand2", 3011)}},
    {.state = 3011, .checks = {prompt, silent},
     .ways = {go(W("Reformatting system file system"), "mke2fs -j /dev/nand2 30774", 30121)}},
    {.state = 30121, .progress = 5, .checks = {prompt},
     .ways = {go(W("Remounting system file system"), "mount /dev/nand2", 30131)}},
    {.state = 30131, .checks = {prompt, silent},
     .ways = {go(W("Unmounting application file system"), "umount /dev/nand3", 3041)}},
    {.state = 3041, .checks = {prompt, silent},
     .ways = {go(W("Reformatting application file system"), "mke2fs -j /dev/nand3 16632", 3051)}},
    {.state = 3051, .progress = 5, .checks = {promptOfNand3Format},
     .ways = {go(W("Remounting application file system"), "mount /dev/nand3", 3061)}},
    {.state = 3061, .checks = {prompt, silent}, .ways = {go(W("Cleaning backup system files"), kCleanBackups, 5011)}},

    // Cleaning the backup and staging folders, on both passes.
    {.state = 5011, .checks = {prompt, silentRemoved},
     .ways = {go(W("Cleaning backup system directory"), "rmdir /mnt/nand2/upgrback", 5021)},
     .text = "/mnt/nand2/upgrback/*"},
    {.state = 5021, .checks = {silentOrNoFolder},
     .ways = {go(W("Cleaning existing temporary new system files"), "rm -f /mnt/nand2/upgrnew/*", 5031)},
     .text = "/mnt/nand2/upgrback"},
    {.state = 5031, .checks = {prompt, silentSpaced},
     .ways = {go(W("Cleaning existing temporary new system files directory"), "rmdir /mnt/nand2/upgrnew", 1341)}},
    {.state = 1341, .checks = {silentOrNoFolder},
     .ways = {go(W("Making backup system directory"), "mkdir /mnt/nand2/upgrback", 5051),
              go(kAtOnce, "cd /mnt/nand2", 5071)},
     .choose = pass, .text = "/mnt/nand2/upgrnew"},
    {.state = 5051, .checks = {prompt, silentSpaced},
     .ways = {go(W("Making new temporary system directory."), "mkdir /mnt/nand2/upgrnew", 5061)}},

    // The start-up file.
    {.state = 5061, .checks = {prompt, silentSpaced},
     .ways = {go(W("Backing up startup file"), "cp /mnt/nor/autoexec.bat /mnt/nand2/upgrback", 5711),
              go(kAtOnce, kNothing, 5761)},
     .choose = withStartupFile},
    {.state = 5711, .checks = {prompt, silentSpaced},
     .ways = {go(kAtOnce, "ls -alQ --full-time /mnt/nor/autoexec.bat /mnt/nand2/upgrback/autoexec.bat", 5721)}},
    {.state = 5721, .checks = {prompt, twoListingLines, kernelBackupSizes}, .transfers = {&kStartupFile},
     .ways = {go(kWait, kCompareStartupFile, 5741)}},
    {.state = 5731, .checks = {prompt, silentSpaced}, .ways = {go(kAtOnce, kCompareStartupFile, 5741)}},
    {.state = 5741, .ways = {go(kAtOnce, kNothing, 5761), go(kAtOnce, "rm -f /mnt/nor/autoexec.bat", 5751)},
     .choose = startupFilesCompared},
    {.state = 5751, .checks = {prompt, silentSpaced},
     .ways = {go(kAtOnce, "cp /mnt/nand2/upgrnew/autoexec.bat /mnt/nor/autoexec.bat", 5761)}},

    // The maintenance file system.
    {.state = 5761, .checks = {prompt, silentSpaced},
     .ways = {go(W("Backing up Maintenance system file"), "cp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrback", 5511),
              go(kAtOnce, kNothing, 5591)},
     .choose = withProdImage},
    {.state = 5511, .checks = {prompt, silentSpaced},
     .ways = {go(kAtOnce, "ls -alQ --full-time /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrback/qd8prod.rfs", 5521)}},
    {.state = 5521, .checks = {prompt, twoListingLines, kernelBackupSizes}, .transfers = {&kProdImage},
     .ways = {go(kWait, kCompareProdImage, 5561)}},
    {.state = 5541, .checks = {prompt, silentSpaced}, .ways = {go(kAtOnce, kCompareProdImage, 5561)}},
    {.state = 5561, .progress = 3, .ways = {go(kAtOnce, kNothing, 5581), go(kAtOnce, kRemoveProdImage, 5571)},
     .choose = prodImagesCompared},
    {.state = 5571, .checks = {prompt, silentSpaced},
     .ways = {go(kAtOnce, "cp /mnt/nand2/upgrnew/qd8prod.rfs /mnt/nand1/qd8prod.rfs", 5581)}},
    {.state = 5581, .checks = {prompt, silentSpaced}, .ways = {go(kAtOnce, kCompareProdImage, 5565)}},
    {.state = 5565, .progress = 2,
     .ways = {go(kAtOnce, "rm -f /mnt/nand2/upgrnew/qd8prod.rfs", 5591), go(kAtOnce, kRemoveProdImage, 5571)},
     .choose = installedProdImageVerified},

    // The kernel and the root file system: backups and transfers.
    {.state = 5591, .checks = {prompt, silentSpaced},
     .ways = {go(W("Backing up kernel file"), "cp /mnt/nand1/bzimage /mnt/nand2/upgrback", 6011)}},
    {.state = 6011, .checks = {prompt, silentSpaced},
     .ways = {go(kAtOnce, "ls -alQ --full-time /mnt/nand1/bzimage /mnt/nand2/upgrback/bzimage", 6031)}},
    {.state = 6031, .checks = {prompt, twoListingLines, kernelBackupSizes},
     .ways = {go(W("Backing up root file system file"), "cp /mnt/nand1/qd8400.rfs /mnt/nand2/upgrback", 6021)}},
    {.state = 6021, .checks = {prompt, silentSpaced},
     .ways = {go(kAtOnce, "ls -alQ --full-time /mnt/nand1/qd8400.rfs /mnt/nand2/upgrback/qd8400.rfs", 6041)}},
    {.state = 6041, .checks = {prompt, twoListingLines, fileSystemBackupSizes},
     .transfers = {&kKernel, &kRootFileSystem},
     .ways = {go(N2("Content checking new kernel file"), kCompareKernel, 7031, 120)}},

    // The second pass: the application archives to the RAM disk.
    {.state = 5071, .checks = {prompt}, .transfers = {&kSystemFiles, &kApplicationFiles},
     .ways = {go(plain("Prepare system files installation"), "cd /mnt/nand2", 9011)}},

    // Comparison and installation of the kernel and the root file system.
    {.state = 7011, .checks = {prompt, twoListingLines}, .ways = {go(kAtOnce, nullptr, 7021)},
     .choose = duringKernelTransfer},
    {.state = 7021, .checks = {prompt, silentSpaced}, .ways = {go(kAtOnce, kCompareKernel, 7031)}},
    {.state = 7031,
     .ways = {go(N2("Content checking new root file system file"), kCompareRootFileSystem, 7081),
              go(N2("Installing new kernel file"), "cp /mnt/nand2/upgrnew/bzimage /mnt/nand1/bzimage2", 7091)},
     .choose = kernelsCompared},
    {.state = 7091, .checks = {prompt, silentSpaced},
     .ways = {go(N2("Finalising installation of kernel file."), "mv /mnt/nand1/bzimage2 /mnt/nand1/bzimage", 7101)}},
    {.state = 7101, .checks = {prompt, silentSpaced},
     .ways = {go(N2("Content checking new root file system file"), kCompareRootFileSystem, 7081)}},
    {.state = 7081,
     .ways = {go(W("Cleaning backup system files"), kCleanBackups, 5011),
              go(kAtOnce, "rm -f /mnt/nand1/qd8400.rfs", 7111)},
     .choose = rootFileSystemsCompared},
    {.state = 7111, .checks = {prompt, silentSpaced},
     .ways = {go(kAtOnce, "cp /mnt/nand2/upgrnew/qd8400.rfs /mnt/nand1/qd8400.rfs", 7121)}},
    {.state = 7121, .ways = {go(W("Cleaning backup system files"), kCleanBackups, 5011)},
     .choose = rootFileSystemInstalled},

    // Unpacking the archives, permissions, reboot and completion.
    {.state = 9011, .checks = {prompt, silentSpaced},
     .ways = {go(W("Installing system files\r\nThis can take up to 10 minutes\r\n"),
                 "tar -xf /mnt/ramdisk2/qd8nand.tar", 9021, 300)}},
    {.state = 9021, .progress = 15, .checks = {promptOfUnpacking, diskNotFull},
     .ways = {go(W("Cleaning system install files"), "rm -f /mnt/nand2/qd8nand.tar", 9031)}},
    {.state = 9031, .checks = {prompt, silentSpaced},
     .ways = {go(W("Preparing application files installation"), "cd /mnt/nand3", 9041)}},
    {.state = 9041, .checks = {prompt, silentSpaced},
     .ways = {go(W("Installing application files"), "tar -xf /mnt/ramdisk2/qd8nand3.tar", 9051, 300)},
     .choose = unpackApplication},
    {.state = 9051, .progress = 15, .checks = {prompt, diskNotFull},
     .ways = {go(W("Cleaning application install files"), "rm -f /mnt/nand3/qd8nand3.tar", 9061)}},
    {.state = 9061, .checks = {prompt, silentSpaced}, .ways = {go(W("Altering permissions"), "chmod u+w *.bin", 9071)}},
    {.state = 9071, .checks = {prompt, silentSpaced}, .ways = {go(W("Altering permissions"), "chmod u+w *.bmp", 9081)}},
    {.state = 9081, .checks = {prompt, silentSpaced}, .ways = {go(W("Altering permissions"), "cd home", 9091)}},
    {.state = 9091, .checks = {prompt, silentSpaced}, .ways = {go(W("Altering permissions"), "chgrp 100 default", 9101)}},
    {.state = 9101, .checks = {promptElseHalt}, .ways = {go({"Rebooting QD8400"}, "reboot", 10011)}, .choose = reboot},
    {.state = 10011, .progress = 0, .choose = complete},
};
// clang-format on

} // namespace

QString captionText(const Caption &caption)
{
    static const QString warning = QStringLiteral("\r\n\r\nWARNING: Do not disconnect or reboot the QD8400 while file "
                                                  "transfer and installation is being performed.");
    const auto note = [](int minutes) {
        return QStringLiteral("\r\n\r\nNOTE: This may take up to approximately %1 minutes.").arg(minutes);
    };
    const QString text = QLatin1String(caption.text);
    switch (caption.suffix) {
    case Suffix::None:
        return text;
    case Suffix::Warning:
        return text + warning;
    case Suffix::Note2:
        return text + note(2) + warning;
    case Suffix::Note4:
        return text + note(4) + warning;
    case Suffix::Note10:
        return text + note(10) + warning;
    }
    return text;
}

QString transferFailureCaption(FailureRoutine routine)
{
    static const QString cableCheck = QStringLiteral(
        "Please check the network cables between the QD8400 and the PC, that the QD8400 eth0 configuration has been "
        "set correctly and that the IP address entered is the same as the one configured on the eth0 interface. Then "
        "retry the firmware upgrade. If this condition persists then please contact your Brimlux instrument support. "
        "Stopping firmware upgrade operation.");
    const auto retried = [](const char *what) {
        return QStringLiteral("Transfer of the %1 has failed. Please retry the firmware upgrade. ").arg(what);
    };
    switch (routine) {
    case AbortKernelTransferFailed:
        return QStringLiteral("Transfer of the kernel system file has failed. ") + cableCheck;
    case AbortSystemFileTransferFailed:
        return retried("system file") + cableCheck;
    case AbortApplicationTransferFailed:
        return retried("application file") + cableCheck;
    case AbortUtilitiesTransferFailed:
        return retried("upgrade utilities file") + cableCheck;
    default:
        return retried("system file system file") + cableCheck;
    }
}

const char *firstCommand()
{
    return "cd /mnt/nand1";
}

bool readsOnly(int state)
{
    return state == kStart || state == 1033 || state == 2011;
}

std::span<const Row> rows()
{
    return kRows;
}

const Row *find(int state)
{
    const auto row = std::find_if(std::begin(kRows), std::end(kRows), [&](const Row &r) { return r.state == state; });
    return row == std::end(kRows) ? nullptr : row;
}

} // namespace Script
