// One whole upgrade at full timing against the simulator, with upgrade files of realistic size:
// how much longer it takes than the waits the script prescribes plus the transfers, how busy the
// processor is while the program waits, and the peak resident memory.
#include "AutoRun.h"
#include "Instrument.h"

#include <QApplication>
#include <QFile>
#include <QRandomGenerator>

#include <sys/resource.h>

#include <cstdio>

namespace {

// A file of new content (so that it differs from what is installed), or an archive padded with
// zero blocks after its end, which tar reads past.
void grow(const QString &path, qint64 size, bool archive)
{
    QFile file(path);
    file.open(archive ? QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate);
    QByteArray block(1 << 20, '\0');
    while (file.size() < size) {
        if (!archive)
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        file.write(block.constData(), std::min<qint64>(block.size(), size - file.size()));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    Instrument instrument;
    const QDir folder(instrument.upgradeFolder());
    constexpr qint64 kMiB = 1 << 20;
    grow(folder.filePath("bzimage"), 3 * kMiB / 2, false);
    grow(folder.filePath("qd8400.rfs"), 12 * kMiB, false);
    grow(folder.filePath("qd8prod.rfs"), 8 * kMiB, false);
    grow(folder.filePath("qd8nand.tar"), 20 * kMiB, true);
    grow(folder.filePath("qd8nand3.tar"), 30 * kMiB, true);
    AutoRun run;
    run.folder = instrument.upgradeFolder();
    run.address = "127.0.0.1";
    run.settings.telnetPort = instrument.telnetPort();
    run.settings.ftpPort = instrument.ftpPort();
    run.settings.logPath = folder.filePath("logfile.txt");
    const AutoRun::Figures f = run.run();
    if (f.exitStatus != 0) {
        std::fprintf(stderr, "e2e: the upgrade ended with status %d; see %s\n", f.exitStatus,
                     qPrintable(run.settings.logPath));
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double budget = f.prescribedWaitSeconds + f.transferSeconds;
    std::printf("e2e total_s=%.2f prescribed_wait_s=%.2f transfer_s=%.2f overhead=%.4f cpu_pct_while_waiting=%.2f "
                "peak_rss_mib=%.1f\n",
                f.totalSeconds, f.prescribedWaitSeconds, f.transferSeconds, (f.totalSeconds - budget) / budget,
                100.0 * f.cpuSecondsWhileWaiting / f.waitingSeconds, usage.ru_maxrss / 1024.0);
    return 0;
}
