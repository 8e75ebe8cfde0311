#include "ErrorLine.h"

#include <cstdio>

QString errorLine(const QString &text)
{
    return QStringLiteral("qd8400-upgrade: ") + text;
}

void writeErrorLine(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(errorLine(text)));
}
