#pragma once

#include <QString>
#include <QStringList>

// The operator's yes before an upgrade, asked on the controlling terminal and answered there
// (yes in any case, blanks around it allowed): the window's warning and the instruments. Never on
// standard output or standard input, which may be files, pipes of JSON events or the addresses.
struct Confirmation
{
    bool confirmed = false;
    QString problem; // why not, one line
};

Confirmation confirmUpgrade(const QStringList &addresses);
