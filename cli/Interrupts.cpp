#include "Interrupts.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

// Written by the handler, read in the event loop: one byte a signal.
int gPipe[2] = {-1, -1};
constexpr int kTaken[] = {SIGINT, SIGTERM, SIGWINCH};

void handler(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

Interrupts::Interrupts(std::function<void(int signal)> taken) : mTaken(std::move(taken))
{
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    mNotifier = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
    QObject::connect(mNotifier.get(), &QSocketNotifier::activated, [this] { read(); });
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kTaken)
        ::sigaction(signal, &action, nullptr);
    std::signal(SIGHUP, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

Interrupts::~Interrupts()
{
    for (const int signal : kTaken)
        std::signal(signal, SIG_DFL);
    mNotifier.reset();
    for (int &end : gPipe)
        if (end >= 0)
            ::close(std::exchange(end, -1));
}

void Interrupts::read()
{
    char byte = 0;
    while (::read(gPipe[0], &byte, 1) == 1)
        mTaken(byte);
}
