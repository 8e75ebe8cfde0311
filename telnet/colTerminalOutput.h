#pragma once

#include "KeyedList.h"

#include <QString>

// One line of a captured command output.
class cOutputLine
{
public:
    QString mText;
};

// A captured command output split into lines, numbered from 1: the echoed command line first,
// then the output, and the shell prompt last. Only CR LF separates lines.
class colTerminalOutput : public KeyedList<cOutputLine>
{
public:
    // Does any line within the window contain sPattern, whatever its letter case? The window skips
    // lStartOffset lines at the start and -lEndOffset lines at the end.
    bool ContainsAny(const QString &sPattern, qint16 lStartOffset, qint16 lEndOffset) const;
    // Appends the lines of sText; a text ending in CR LF gives no empty last line.
    void OutputRead(const QString &sText);
    // The text of line lLine, or the empty string outside 1 to Count.
    QString OutputText(int lLine) const;

    cOutputLine &Add(const QString &mText, const QString &sKey = QString())
    {
        return KeyedList::Add(cOutputLine{mText}, sKey);
    }
};
