// Pushes shell-like output of 1 MiB and 4 MiB through a loopback socket, in segments of about 1,400
// bytes, into the Telnet control with full tracing into a real log file, and prints how long the
// control took to reach the closing prompt.
#include "LogFile.h"
#include "ucTelnet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kSegment = 1400;
const QByteArray kPrompt = "bash-2.04# ";

QByteArray shellOutput(qsizetype size)
{
    QByteArray output = "cat /mnt/nand1/listing\r\n";
    for (int line = 0; output.size() < size - kPrompt.size(); ++line)
        output += "-rw-r--r--    1 root     root       " + QByteArray::number(100000 + line) + " Jan  1 00:00 \"file" +
                  QByteArray::number(line) + ".bin\"\r\n";
    output.truncate(size - kPrompt.size());
    return output + kPrompt;
}

// The instrument's side: announces the prompt, waits for the command, then sends the output.
class Sender
{
public:
    Sender()
    {
        mListener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(mListener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(mListener, 1);
        socklen_t length = sizeof address;
        ::getsockname(mListener, reinterpret_cast<sockaddr *>(&address), &length);
        mPort = ntohs(address.sin_port);
    }
    ~Sender() { ::close(mListener); }

    quint16 port() const { return mPort; }

    void serve(const QByteArray &output)
    {
        const int peer = ::accept(mListener, nullptr, nullptr);
        const int on = 1;
        ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::send(peer, kPrompt.constData(), kPrompt.size(), 0);
        char command[256];
        ::recv(peer, command, sizeof command, 0);
        for (qsizetype at = 0; at < output.size(); at += kSegment)
            ::send(peer, output.constData() + at, std::min<qsizetype>(kSegment, output.size() - at), 0);
        char rest[16];
        ::recv(peer, rest, sizeof rest, 0);
        ::close(peer);
    }

private:
    int mListener = -1;
    quint16 mPort = 0;
};

double runOnce(qsizetype size, const QString &logPath)
{
    LogFile log(logPath);
    ucTelnet telnet(log);
    QByteArray terminal;
    telnet.setTerminalView([&](QByteArrayView text) { terminal.append(text); });
    telnet.setPrompt("bash-2.04#");
    telnet.setRemoteHost("127.0.0.1");

    const QByteArray output = shellOutput(size);
    Sender sender;
    std::thread instrument([&] { sender.serve(output); });
    telnet.setRemotePort(sender.port());

    QEventLoop loop;
    QElapsedTimer clock;
    QObject::connect(&telnet, &ucTelnet::OpenSuccess, [&] {
        clock.start();
        telnet.SendCommand("cat /mnt/nand1/listing", 600);
    });
    QObject::connect(&telnet, &ucTelnet::CommandPerformed, &loop, &QEventLoop::quit);
    QObject::connect(&telnet, &ucTelnet::Timeout, [] { std::fprintf(stderr, "telnet_rx: timed out\n"); });
    telnet.OpenConnection();
    loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    telnet.Disconnect();
    instrument.join();
    if (telnet.Captured().size() != output.size()) {
        std::fprintf(stderr, "telnet_rx: captured %lld of %lld bytes\n",
                     static_cast<long long>(telnet.Captured().size()), static_cast<long long>(output.size()));
        std::exit(1);
    }
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    double seconds[2] = {};
    const qsizetype sizes[2] = {1 << 20, 4 << 20};
    for (int i = 0; i < 2; ++i) {
        const QString logPath = dir.filePath(QString("logfile-%1.txt").arg(i));
        seconds[i] = runOnce(sizes[i], logPath);
        std::printf("telnet_rx bytes=%lld seconds=%.3f us_per_byte=%.3f log_bytes=%lld\n",
                    static_cast<long long>(sizes[i]), seconds[i], seconds[i] * 1e6 / sizes[i],
                    static_cast<long long>(QFileInfo(logPath).size()));
        std::fflush(stdout);
        QFile::remove(logPath);
    }
    std::printf("telnet_rx scaling=%.2f\n", seconds[1] / seconds[0]);
    return 0;
}
