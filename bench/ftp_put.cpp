// Upload throughput of cFtp against Debian's curl command-line tool, on the same files and the same
// local FTP server (sim/ftp_server.py), alternating three times each; and the peak resident memory
// of this program during its own uploads.
#include "LogFile.h"
#include "cFtp.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kRounds = 3;
const QString kUser = "root";
const QString kPassword = "k8r2Mq5";

void writeFile(const QString &path, qint64 mebibytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray block(1 << 20, '\0');
    for (qint64 i = 0; i < mebibytes; ++i) {
        for (int j = 0; j < block.size(); j += 4096)
            block[j] = static_cast<char>(i + j);
        file.write(block);
    }
}

// The peak resident set since the last reset, in MiB.
double peakRssMib()
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

void resetPeakRss()
{
    QFile clear("/proc/self/clear_refs");
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

class Server
{
public:
    explicit Server(const QString &root)
    {
        mProcess.start("/usr/bin/python3",
                       {QD_SOURCE_DIR "/sim/ftp_server.py", "--address", "127.0.0.1", "--port", "0", "--root", root});
        while (mPort == 0 && mProcess.waitForReadyRead(10000)) {
            const QByteArray line = mProcess.readLine();
            if (line.startsWith("READY ftp="))
                mPort = line.mid(10).trimmed().toInt();
        }
    }
    ~Server()
    {
        mProcess.terminate();
        mProcess.waitForFinished(3000);
    }
    int port() const { return mPort; }

private:
    QProcess mProcess;
    int mPort = 0;
};

double secondsWithCftp(const QString &file, int port, const QString &logPath)
{
    LogFile log(logPath);
    cFtp ftp(log);
    ftp.sServerName = "127.0.0.1";
    ftp.sUserID = kUser;
    ftp.sPassword = kPassword;
    ftp.lTransferType = cFtp::kTransferBinary;
    ftp.setPort(port);
    QElapsedTimer clock;
    clock.start();
    if (!ftp.Connect() || !ftp.bPutFile(file, "upload.bin")) {
        std::fprintf(stderr, "ftp_put: cFtp failed: %s\n", qPrintable(ftp.Error().Text()));
        std::exit(1);
    }
    ftp.Disconnect();
    return clock.nsecsElapsed() / 1e9;
}

double secondsWithCurl(const QString &file, int port)
{
    QElapsedTimer clock;
    clock.start();
    const int status = QProcess::execute("curl", {"-s", "-S", "--disable-epsv", "-u", kUser + ':' + kPassword, "-T",
                                                  file, QString("ftp://127.0.0.1:%1/upload.bin").arg(port)});
    if (status != 0) {
        std::fprintf(stderr, "ftp_put: curl failed with %d\n", status);
        std::exit(1);
    }
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Both ends in memory when the machine has a memory file system, so that the disk's write-back
    // does not decide the figures.
    const QString base = QFile::exists("/dev/shm") ? "/dev/shm/ftp_put-XXXXXX" : QDir::tempPath() + "/ftp_put-XXXXXX";
    QTemporaryDir local(base);
    QTemporaryDir root(base);
    Server server(root.path());
    if (server.port() == 0) {
        std::fprintf(stderr, "ftp_put: the FTP server did not start\n");
        return 1;
    }
    for (const qint64 mebibytes : {64, 256}) {
        const QString file = local.filePath("payload.bin");
        writeFile(file, mebibytes);
        double cftp = 1e9;
        double curl = 1e9;
        resetPeakRss();
        for (int round = 0; round < kRounds; ++round) {
            cftp = std::min(cftp, secondsWithCftp(file, server.port(), local.filePath("logfile.txt")));
            curl = std::min(curl, secondsWithCurl(file, server.port()));
        }
        const double peak = peakRssMib();
        const double cftpRate = mebibytes / cftp;
        const double curlRate = mebibytes / curl;
        std::printf("ftp_put size_mib=%lld cftp_MBps=%.1f curl_MBps=%.1f ratio=%.3f peak_rss_mib=%.1f\n",
                    static_cast<long long>(mebibytes), cftpRate, curlRate, cftpRate / curlRate, peak);
        std::fflush(stdout);
        QFile::remove(file);
    }
    return 0;
}
