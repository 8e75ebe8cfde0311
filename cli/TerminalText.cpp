#include "TerminalText.h"

#include <cmath>
#include <sys/ioctl.h>
#include <unistd.h>

namespace TerminalText {

Size size()
{
    winsize window{};
    Size size;
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) == 0) {
        if (window.ws_col > 0)
            size.columns = window.ws_col;
        if (window.ws_row > 0)
            size.rows = window.ws_row;
    }
    return size;
}

QString fitted(const QString &head, const QString &text, const QString &tail, int width)
{
    const qsizetype room = width - head.size() - tail.size();
    if (text.size() <= room)
        return head + text + tail;
    if (room >= 2)
        return head + text.left(room - 1) + QStringLiteral("…") + tail;
    return (head + tail).left(width);
}

QStringList wrapped(const QString &text, int width)
{
    if (text.size() <= width)
        return {text};
    QStringList lines;
    QString line;
    for (QString word : text.split(' ', Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
            lines << line;
            line.clear();
        }
        for (; word.size() > width; word.remove(0, width))
            lines << word.left(width);
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty() || lines.isEmpty())
        lines << line;
    return lines;
}

QString duration(double seconds)
{
    const long long total = std::llround(seconds);
    const long long hours = total / 3600;
    const long long minutes = total / 60 % 60;
    QString text = QStringLiteral("%1 s").arg(total % 60);
    if (hours > 0 || minutes > 0)
        text = QStringLiteral("%1 min ").arg(minutes) + text;
    if (hours > 0)
        text = QStringLiteral("%1 h ").arg(hours) + text;
    return text;
}

} // namespace TerminalText
