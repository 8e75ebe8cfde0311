// Cost of one log entry written on its own: the LogFile (one descriptor kept open and checked
// against the path) against opening and closing the file for every entry; and the cost of the
// Telnet control's whole trace of one data arrival of 1,000 bytes of shell output (about two entries
// a byte), written as the event loop writes it, once the arrival has been handled.
#include "LogFile.h"
#include "ucTelnet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kEntries = 200000;
constexpr int kArrivals = 2000;
constexpr int kArrivalBytes = 1000;

void report(const char *mode, qint64 nanoseconds)
{
    std::printf("log_add mode=%s entries=%d us_per_entry=%.3f\n", mode, kEntries, nanoseconds / 1e3 / kEntries);
}

// Arrivals of shell output decoded and traced by the control, each as one handled event.
void traceArrivals(const QString &path)
{
    LogFile log(path);
    ucTelnet telnet(log);
    telnet.setPrompt("bash-2.04# ");
    // Logged in at the shell's prompt, the control captures a long command's output.
    telnet.DataArrival("bash-2.04# ");
    telnet.Process_RxBuffer();
    telnet.SendCommand("tar -xvf /mnt/ramdisk2/qd8nand.tar", 300);
    log.flush();
    QByteArray arrival;
    while (arrival.size() < kArrivalBytes)
        arrival += "-rw-r--r--    1 root     root       123456 Jan  1 00:00 \"file.bin\"\r\n";
    arrival.truncate(kArrivalBytes);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kArrivals; ++i) {
        telnet.DataArrival(arrival);
        telnet.Process_RxBuffer();
        log.flush();
    }
    std::printf("log_add mode=data_arrival bytes=%d arrivals=%d us_per_arrival=%.1f\n", kArrivalBytes, kArrivals,
                clock.nsecsElapsed() / 1e3 / kArrivals);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath("logfile.txt");
    const QByteArray text = "\r\n>>wskConnection_DataArrival(1400)";

    QElapsedTimer clock;
    clock.start();
    {
        LogFile log(path);
        for (int i = 0; i < kEntries; ++i) {
            log.Log_Add(text);
            log.flush();
        }
    }
    report("kept_open", clock.nsecsElapsed());

    QFile::remove(path);
    const QByteArray entry = "\r\nI|20261205-055424|" + text + "\r\n";
    const QByteArray name = QFile::encodeName(path);
    clock.restart();
    for (int i = 0; i < kEntries; ++i) {
        const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, entry.constData(), entry.size()) != entry.size())
            return 1;
        ::close(fd);
    }
    report("open_close", clock.nsecsElapsed());

    QFile::remove(path);
    traceArrivals(path);
    return 0;
}
