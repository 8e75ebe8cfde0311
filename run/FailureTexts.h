#pragma once

#include "FailureRoutine.h"

#include <QString>
#include <QStringList>

// A failure routine's message, as the window's message box and the command line show it.
struct FailureText
{
    bool critical = false; // shown with the critical icon
    QStringList lines;

    // The lines joined with CR LF.
    QString text() const;
};

// `address` is quoted by AbortNotInstrument only.
FailureText failureText(FailureRoutine routine, const QString &address = QString());
