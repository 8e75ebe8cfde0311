#include "ProcessStarter.h"

#include "Capacity.h"
#include "Commands.h"
#include "Handshake.h"
#include "SystemError.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <span>
#include <string>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace ProcessStarter {

namespace {

constexpr int kStandard = 3;
// A request: the environment entry, then each argument, each ended by a zero byte.
constexpr size_t kLargestRequest = 256 * 1024;
// The starter forks within milliseconds; one that does not answer in this time is stuck.
constexpr time_t kAnswerSeconds = 10;

// The fleet's ends of its sockets to the starter, -1 when there is none: requests and their
// answers, and the ends of the processes it started.
int gStarter = -1;
int gEnds = -1;
pid_t gStarterPid = -1;

// What an instrument's process was started with: they live as long as it does.
std::string gEntry;
std::vector<std::string> gArguments;
std::vector<char *> gArgv;
// The fleet's arguments as the kernel laid them out, one after another: room for a title.
std::span<char> gTitle;

// A system call repeated while a signal interrupts it.
template <typename Call> auto uninterrupted(Call call)
{
    decltype(call()) result;
    do
        result = call();
    while (result < 0 && errno == EINTR);
    return result;
}

// A message of one part, with room for the standard descriptors.
struct Message
{
    Message(void *data, size_t size) : part{data, size}
    {
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
    }
    Message(const Message &) = delete;
    Message &operator=(const Message &) = delete;

    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kStandard)] = {};
    iovec part;
    msghdr header{};
};

void closeAll(const std::array<int, kStandard> &descriptors)
{
    for (const int descriptor : descriptors)
        if (descriptor >= 0)
            ::close(descriptor);
}

// One request, with the descriptors that came with it; 0 when the fleet has gone.
ssize_t receive(int socket, std::vector<char> &request, std::array<int, kStandard> &standard)
{
    standard.fill(-1);
    Message message(request.data(), request.size());
    const ssize_t size = uninterrupted([&] { return ::recvmsg(socket, &message.header, MSG_CMSG_CLOEXEC); });
    if (size <= 0)
        return 0;
    if (const cmsghdr *header = CMSG_FIRSTHDR(&message.header);
        header && header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS)
        std::memcpy(standard.data(), CMSG_DATA(header), std::min(sizeof standard, header->cmsg_len - CMSG_LEN(0)));
    return size;
}

void answer(int socket, long long value)
{
    [[maybe_unused]] const ssize_t sent = ::send(socket, &value, sizeof value, MSG_NOSIGNAL);
}

// What `ps` shows of the starter and of each instrument's process, written over the fleet's own
// arguments (the program, the command and at least one address or file), cut to their room.
void showTitle(std::initializer_list<std::string> fields)
{
    std::string title;
    for (const std::string &field : fields)
        title.append(field).push_back('\0');
    std::memset(gTitle.data(), 0, gTitle.size());
    std::memcpy(gTitle.data(), title.data(), std::min(title.size(), gTitle.size() - 1));
}

// In the instrument's process just forked: its session, its standard files, its environment and
// its arguments.
void become(int socket, const std::vector<char> &request, size_t size, const std::array<int, kStandard> &standard,
            int &argc, char **&argv)
{
    ::close(socket);
    ::setsid();
    for (int i = 0; i < kStandard; ++i)
        ::dup2(standard[i], i);
    closeAll(standard);
    std::vector<std::string> fields;
    for (size_t at = 0; at < size;) {
        const char *field = request.data() + at;
        const size_t length = ::strnlen(field, size - at);
        fields.emplace_back(field, length);
        at += length + 1;
    }
    gEntry = fields.empty() ? std::string() : fields.front();
    if (!gEntry.empty())
        ::putenv(gEntry.data());
    gArguments.assign({argv[0]});
    if (!fields.empty())
        gArguments.insert(gArguments.end(), fields.begin() + 1, fields.end());
    showTitle({gArguments[0], gArguments.size() > 1 ? gArguments[1] : std::string(),
               gArguments.size() > 3 ? gArguments[3] : std::string()});
    for (std::string &argument : gArguments)
        gArgv.push_back(argument.data());
    gArgv.push_back(nullptr);
    argc = static_cast<int>(gArguments.size());
    argv = gArgv.data();
}

// The starter's loop: a request forks an instrument's process, an end is reaped and told.
void serve(int requests, int ends, const sigset_t &ended, int &argc, char **&argv)
{
    const int endSignals = ::signalfd(-1, &ended, SFD_CLOEXEC | SFD_NONBLOCK);
    std::vector<char> request(kLargestRequest);
    // Ends reaped but not yet told: the fleet may be busy waiting for an answer to a request.
    std::deque<std::array<long long, 2>> untold;
    for (;;) {
        pollfd waited[3] = {{requests, POLLIN, 0},
                            {endSignals, POLLIN, 0},
                            {ends, static_cast<short>(untold.empty() ? 0 : POLLOUT), 0}};
        if (::poll(waited, 3, -1) < 0)
            continue;
        if (waited[1].revents != 0) {
            signalfd_siginfo info;
            while (::read(endSignals, &info, sizeof info) == sizeof info) {
            }
            int status = 0;
            for (pid_t pid; (pid = ::waitpid(-1, &status, WNOHANG)) > 0;)
                untold.push_back({pid, status});
        }
        while (!untold.empty() &&
               ::send(ends, untold.front().data(), sizeof untold.front(), MSG_NOSIGNAL | MSG_DONTWAIT) > 0)
            untold.pop_front();
        if (waited[0].revents == 0)
            continue;
        std::array<int, kStandard> standard;
        const ssize_t size = receive(requests, request, standard);
        if (size == 0)
            ::_exit(0);
        if (std::count(standard.begin(), standard.end(), -1) > 0) {
            closeAll(standard);
            answer(requests, -EINVAL);
            continue;
        }
        const pid_t instrument = ::fork();
        if (instrument == 0) {
            ::close(endSignals);
            ::close(ends);
            ::sigprocmask(SIG_UNBLOCK, &ended, nullptr);
            become(requests, request, static_cast<size_t>(size), standard, argc, argv);
            return;
        }
        answer(requests, instrument > 0 ? instrument : -errno);
        closeAll(standard);
    }
}

} // namespace

void begin(int &argc, char **&argv)
{
    if (argc < 2 || !Commands::startsInstruments(argv[1]) || Handshake::requested())
        return;
    // Inherited by the starter, hence by every instrument's process.
    Capacity::raiseOpenFiles();
    gTitle = {argv[0], static_cast<size_t>(argv[argc - 1] + std::strlen(argv[argc - 1]) + 1 - argv[0])};
    // Without a starter the fleet says, for each instrument, why its process could not be started.
    int requests[2], ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, requests) != 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        closeAll({requests[0], requests[1], -1});
        return;
    }
    // Blocked before the fork, so that no end comes before the starter listens for it.
    sigset_t ended;
    sigemptyset(&ended);
    sigaddset(&ended, SIGCHLD);
    sigset_t before;
    ::sigprocmask(SIG_BLOCK, &ended, &before);
    const pid_t starter = ::fork();
    if (starter != 0) {
        ::sigprocmask(SIG_SETMASK, &before, nullptr);
        closeAll({requests[1], ends[1], -1});
        if (starter < 0) {
            closeAll({requests[0], ends[0], -1});
            return;
        }
        const timeval limit{kAnswerSeconds, 0};
        ::setsockopt(requests[0], SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
        gStarter = requests[0];
        gEnds = ends[0];
        gStarterPid = starter;
        return;
    }
    closeAll({requests[0], ends[0], -1});
    showTitle({argv[0], argv[1], "(starter)"});
    // Out of the terminal's way: its signals are the fleet's to take, its output the fleet's to hold.
    ::setsid();
    if (const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC); nothing >= 0)
        for (int i = 0; i < kStandard; ++i)
            ::dup2(nothing, i);
    serve(requests[1], ends[1], ended, argc, argv);
}

Started start(const QStringList &arguments, const QByteArray &environmentEntry, const int (&standard)[3])
{
    if (gStarter < 0)
        return {-1, QStringLiteral("there is no process to start it from")};
    QByteArray request = environmentEntry + '\0';
    for (const QString &argument : arguments)
        request += QFile::encodeName(argument) + '\0';
    if (static_cast<size_t>(request.size()) > kLargestRequest)
        return {-1, QStringLiteral("its arguments are too long")};
    Message message(request.data(), static_cast<size_t>(request.size()));
    cmsghdr *header = CMSG_FIRSTHDR(&message.header);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof standard);
    std::memcpy(CMSG_DATA(header), standard, sizeof standard);
    if (::sendmsg(gStarter, &message.header, MSG_NOSIGNAL) < 0)
        return {-1, "the process it is started from has gone: " + systemError(errno)};
    long long answer = 0;
    if (uninterrupted([&] { return ::recv(gStarter, &answer, sizeof answer, 0); }) != sizeof answer) {
        // An answer that came late would be taken for the next one's: no more are asked of it.
        ::close(std::exchange(gStarter, -1));
        return {-1, QStringLiteral("the process it is started from did not answer")};
    }
    if (answer < 0)
        return {-1, systemError(static_cast<int>(-answer))};
    return {static_cast<pid_t>(answer), QString()};
}

void end()
{
    if (gStarterPid < 0)
        return;
    closeAll({gStarter, gEnds, -1});
    gStarter = gEnds = -1;
    uninterrupted([] { return ::waitpid(gStarterPid, nullptr, 0); });
}

int endsDescriptor()
{
    return gEnds;
}

std::optional<Ended> nextEnd(bool &gone)
{
    long long end[2] = {};
    const ssize_t got = uninterrupted([&] { return ::recv(gEnds, end, sizeof end, 0); });
    gone = got == 0 || (got < 0 && errno != EAGAIN);
    if (got != sizeof end)
        return std::nullopt;
    return Ended{static_cast<pid_t>(end[0]), static_cast<int>(end[1])};
}

} // namespace ProcessStarter
