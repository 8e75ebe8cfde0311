#include "NetworkProbe.h"

#include "BlockingCall.h"

#include <QElapsedTimer>
#include <QProcess>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kHopLimit = 3;
constexpr uint16_t kSequence = 1;

uint16_t checksum(const uint8_t *data, size_t size)
{
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (size % 2)
        sum += static_cast<uint32_t>(data[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return htons(static_cast<uint16_t>(~sum));
}

// The echo reply in a received packet: a raw socket delivers the IP header first, a datagram
// socket only the ICMP message.
bool isEchoReply(const uint8_t *packet, ssize_t size, bool raw)
{
    size_t offset = 0;
    if (raw) {
        if (size < 20)
            return false;
        offset = static_cast<size_t>(packet[0] & 0x0F) * 4;
    }
    if (static_cast<size_t>(size) < offset + 8)
        return false;
    const auto *icmp = reinterpret_cast<const icmphdr *>(packet + offset);
    return icmp->type == ICMP_ECHOREPLY && ntohs(icmp->un.echo.sequence) == kSequence;
}

// 1: answered, 0: no answer, -1: this kind of socket cannot be used here.
int echoOverSocket(const in_addr &target, int type, int timeoutMilliseconds)
{
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0)
        return -1;
    const int ttl = kHopLimit;
    ::setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
    uint8_t request[64] = {};
    auto *icmp = reinterpret_cast<icmphdr *>(request);
    icmp->type = ICMP_ECHO;
    icmp->un.echo.id = htons(static_cast<uint16_t>(::getpid()));
    icmp->un.echo.sequence = htons(kSequence);
    std::memcpy(request + sizeof(icmphdr), "QD8400Upgrade probe", 19);
    icmp->checksum = checksum(request, sizeof request);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr = target;
    int answered = 0;
    if (::sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr *>(&address), sizeof address) < 0) {
        ::close(fd);
        return 0;
    }
    QElapsedTimer clock;
    clock.start();
    for (qint64 left = timeoutMilliseconds; left > 0 && !answered; left = timeoutMilliseconds - clock.elapsed()) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(left)) <= 0)
            break;
        uint8_t reply[1500];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t size = ::recvfrom(fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr *>(&from), &length);
        answered = size > 0 && from.sin_addr.s_addr == target.s_addr && isEchoReply(reply, size, type == SOCK_RAW);
    }
    ::close(fd);
    return answered;
}

ProbeAnswer echoWithPingProgram(const QString &address, int timeoutMilliseconds)
{
    const int seconds = std::max(1, (timeoutMilliseconds + 999) / 1000);
    // ping's status: 0 answered, 1 no answer, 2 it could not send; below 0 it could not be started.
    const int status = QProcess::execute(
        "ping", {"-n", "-q", "-c", "1", "-t", QString::number(kHopLimit), "-W", QString::number(seconds), address});
    if (status == 0)
        return ProbeAnswer::Answered;
    return status == 1 ? ProbeAnswer::NoAnswer : ProbeAnswer::NotMade;
}

} // namespace

ProbeAnswer probeNetwork(const QString &address, int timeoutMilliseconds)
{
    in_addr target{};
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &target) != 1)
        return ProbeAnswer::NoAnswer;
    ProbeAnswer answer = ProbeAnswer::NoAnswer;
    runBlockingCall([&] {
        int result = echoOverSocket(target, SOCK_DGRAM, timeoutMilliseconds);
        if (result < 0)
            result = echoOverSocket(target, SOCK_RAW, timeoutMilliseconds);
        if (result < 0)
            answer = echoWithPingProgram(address, timeoutMilliseconds);
        else
            answer = result == 1 ? ProbeAnswer::Answered : ProbeAnswer::NoAnswer;
    });
    return answer;
}

bool ProbeInstrument(const QString &address, int timeoutMilliseconds)
{
    return probeNetwork(address, timeoutMilliseconds) == ProbeAnswer::Answered;
}
