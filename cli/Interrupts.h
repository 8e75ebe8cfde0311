#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

// The fleet's signals, taken in its event loop: SIGINT, SIGTERM and SIGWINCH (the terminal's new
// size) are handed to a callback one at a time; SIGHUP (a terminal that has gone) and SIGPIPE (an output that has gone)
// are ignored, so that the run goes on to its end.
class Interrupts
{
public:
    // signal: its number.
    explicit Interrupts(std::function<void(int signal)> taken);
    ~Interrupts();
    Interrupts(const Interrupts &) = delete;
    Interrupts &operator=(const Interrupts &) = delete;

private:
    void read();

    std::function<void(int)> mTaken;
    std::unique_ptr<QSocketNotifier> mNotifier;
};
