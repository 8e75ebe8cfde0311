#pragma once

#include <QString>
#include <QStringList>

// The operator's yes before an upgrade, asked on the terminal: the window's warning and the
// instruments on the controlling terminal (standard error without one), the answer on standard
// input. Never on standard output, which may be a file or a pipe of JSON events.
struct Confirmation
{
    bool confirmed = false;
    QString problem; // why not, one line
};

Confirmation confirmUpgrade(const QStringList &addresses);
