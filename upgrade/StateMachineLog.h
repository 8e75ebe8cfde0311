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

} // namespace StateMachineLog
