#pragma once

#include <QString>

// A problem as the command line says it on standard error, whichever process meets it:
// "qd8400-upgrade: TEXT".
QString errorLine(const QString &text);
// That line on standard error, at once.
void writeErrorLine(const QString &text);
