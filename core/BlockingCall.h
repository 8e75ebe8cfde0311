#pragma once

#include <QObject>

#include <functional>

// Runs a blocking call (a file transfer, a network probe) on a worker thread while the calling
// thread waits in a local event loop: the window keeps painting, posted events (progress reports)
// arrive and user input is held back. Socket and timer events are not held back: the loop asks for
// ExcludeSocketNotifiers, but Qt's glib event dispatcher, the default on Debian, ignores that flag.
// A component whose socket or timer must hold still during the call checks blockingCallRunning()
// in its handlers, keeps what happened, and catches up through afterBlockingCalls.
// Returns when the call has finished. Without a QCoreApplication the call simply runs on the
// calling thread.
void runBlockingCall(const std::function<void()> &call);

// True while a blocking call is running on the calling thread's behalf.
bool blockingCallRunning();

// Posts `function` to context once the outermost blocking call of the calling thread has returned,
// or at once if none is running. Dropped if context is destroyed first.
void afterBlockingCalls(QObject *context, std::function<void()> function);

// Posts a function to the thread that is waiting in runBlockingCall, to run there during the wait.
// Only valid from inside the running call.
void postToWaitingThread(std::function<void()> function);
