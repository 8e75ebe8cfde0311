#pragma once

#include <QObject>
#include <QString>

#include <functional>

// Runs a blocking call (a file transfer, a network probe) on a worker thread while the calling
// thread waits in a local event loop: the window keeps painting, posted events (progress reports)
// and the operator's input arrive. A window that must not take input meanwhile holds its own
// (blockingCallRunning()). Socket and timer events are not held back either: the loop asks for
// ExcludeSocketNotifiers, but Qt's glib event dispatcher, the default on Debian, ignores that flag.
// A component whose socket or timer must hold still during the call checks blockingCallRunning()
// in its handlers, keeps what happened, and catches up through afterBlockingCalls.
//
// Each calling thread has one worker thread, made by its first blocking call or by
// prepareBlockingCalls and kept until the calling thread ends: a call never makes a thread, which
// the system may refuse (a limit of processes reached meanwhile). Returns when the call has
// finished. Without a QCoreApplication, or when no worker thread could be made, the call simply
// runs on the calling thread.
void runBlockingCall(const std::function<void()> &call);

// Makes the calling thread's worker thread now if there is none: empty when it is there,
// otherwise why the system refused it.
QString prepareBlockingCalls();

// True while a blocking call is running on the calling thread's behalf.
bool blockingCallRunning();

// Posts `function` to context once the outermost blocking call of the calling thread has returned,
// or at once if none is running. Dropped if context is destroyed first.
void afterBlockingCalls(QObject *context, std::function<void()> function);

// Posts a function to the thread that is waiting in runBlockingCall, to run there during the wait.
// Only valid from inside the running call.
void postToWaitingThread(std::function<void()> function);
