// Cost of one log entry: the LogFile (one descriptor kept open and checked against the path, one
// write per entry) against opening and closing the file for every entry.
#include "LogFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kEntries = 200000;

void report(const char *mode, qint64 nanoseconds)
{
    std::printf("log_add mode=%s entries=%d us_per_entry=%.3f\n", mode, kEntries, nanoseconds / 1e3 / kEntries);
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("logfile.txt");
    const QByteArray text = "\r\n>>wskConnection_DataArrival(1400)";

    QElapsedTimer clock;
    clock.start();
    {
        LogFile log(path);
        for (int i = 0; i < kEntries; ++i)
            log.Log_Add(text);
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
    return 0;
}
