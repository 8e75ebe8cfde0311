#pragma once

#include <QByteArray>

// Log lines about the upgrade state number, written by the window's handlers and by the frame of
// every CommandPerformed event.
namespace StateMachineLog {

inline QByteArray stateLine(int state)
{
    return "\r\nmUpgradeState=(" + QByteArray::number(state) + ')';
}

// A step is running (the busy marker 999999): the event changes nothing.
inline constexpr char kEndOfStateMachine[] = "\r\n===== End of state machine =====";

// A state number that no handler knows.
inline QByteArray unknownState(int state)
{
    return "\r\n*** Unknown UPGRD_STAT_" + QByteArray::number(state);
}

// A step's state whose command has not gone out yet: what arrived belongs to the command before.
inline QByteArray notExamined(int state)
{
    return "\r\n* Not examined: the command of state " + QByteArray::number(state) + " has not been sent yet";
}

// A step stops after one of its waits because a step run meanwhile has sent the next command.
inline QByteArray overtaken(int state, QByteArrayView sent)
{
    return "\r\n* State " + QByteArray::number(state) + " stops here: a step run during its wait has sent " +
           sent.toByteArray();
}

} // namespace StateMachineLog
