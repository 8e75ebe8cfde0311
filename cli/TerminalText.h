#pragma once

#include <QString>
#include <QStringList>

// Texts for people on a terminal: its size, lines cut or wrapped to its width, durations.
namespace TerminalText {

struct Size
{
    int columns = 80;
    int rows = 24;
};

// The size of the terminal on standard output; 80 by 24 when it tells none.
Size size();

// head, text and tail on one line of at most width characters: text is cut (ending in "…") or
// left out to make room, head and tail are kept whole as long as they fit.
QString fitted(const QString &head, const QString &text, const QString &tail, int width);

// text in lines of at most width characters, broken between words where there are any.
QStringList wrapped(const QString &text, int width);

// "42 s", "4 min 10 s", "1 h 2 min 3 s".
QString duration(double seconds);

} // namespace TerminalText
