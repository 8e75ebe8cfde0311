#pragma once

#include <functional>

// Runs a blocking call (a file transfer, a network probe) on a worker thread while the calling
// thread waits in a local event loop that takes no socket notifications and no user input: the
// window keeps painting and posted events (progress reports) arrive, but no other part of the
// program runs in between. Returns when the call has finished. Without a QCoreApplication the call
// simply runs on the calling thread.
void runBlockingCall(const std::function<void()> &call);

// Posts a function to the thread that is waiting in runBlockingCall, to run there during the wait.
// Only valid from inside the running call.
void postToWaitingThread(std::function<void()> function);
