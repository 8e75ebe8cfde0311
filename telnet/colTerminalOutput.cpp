#include "colTerminalOutput.h"

#include <algorithm>
#include <cstdlib>

bool colTerminalOutput::ContainsAny(const QString &sPattern, qint16 lStartOffset, qint16 lEndOffset) const
{
    if (lStartOffset < 0 || lEndOffset > 0)
        return false;
    if (std::abs(lEndOffset) >= Count() || lStartOffset >= Count())
        return false;
    for (int line = lStartOffset + 1; line <= Count() + lEndOffset; ++line)
        if (Item(line).mText.contains(sPattern, Qt::CaseInsensitive))
            return true;
    return false;
}

void colTerminalOutput::OutputRead(const QString &sText)
{
    const QLatin1String lineEnd("\r\n");
    qsizetype start = 0;
    for (qsizetype end = sText.indexOf(lineEnd); end >= 0; end = sText.indexOf(lineEnd, start)) {
        Add(sText.mid(start, end - start));
        start = end + lineEnd.size();
    }
    if (start < sText.size())
        Add(sText.mid(start));
}

QString colTerminalOutput::OutputText(int lLine) const
{
    if (lLine < 1 || lLine > Count())
        return QString();
    return Item(lLine).mText;
}
