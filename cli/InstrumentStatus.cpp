#include "InstrumentStatus.h"

#include "TerminalText.h"

QStringList InstrumentStatus::messageLines() const
{
    return end.message.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

QString InstrumentStatus::outcome() const
{
    const QString caption = end.caption.section(QStringLiteral("\r\n"), 0, 0);
    if (end.result == Events::kSuccess || end.result == Events::kReady)
        return end.result;
    if (caption.isEmpty() || end.result == Events::kNotStarted) {
        const QStringList message = messageLines();
        return message.isEmpty() ? end.result : end.result + ": " + message.first();
    }
    return end.result + " at: " + caption;
}

QString InstrumentStatus::remarks() const
{
    QStringList remarks;
    if (end.result == Events::kHalted)
        remarks << QStringLiteral("state %1").arg(end.state);
    if (end.waited > 0)
        remarks << "waited " + TerminalText::duration(end.waited);
    if (end.timeScale != 1)
        remarks << QStringLiteral("waits scaled %1").arg(end.timeScale);
    if (!end.logIncomplete.isEmpty())
        remarks << QStringLiteral("log incomplete");
    return remarks.isEmpty() ? QString() : '(' + remarks.join(QStringLiteral("; ")) + ')';
}

QStringList InstrumentStatus::details() const
{
    QStringList lines = messageLines().mid(0, 1);
    if (!lines.isEmpty() && outcome().endsWith(": " + lines.first()))
        lines.clear();
    if (!end.logIncomplete.isEmpty())
        lines << "log incomplete: " + end.logIncomplete;
    return lines;
}

QString InstrumentStatus::waitingText() const
{
    const QString text = QStringLiteral("waiting for maintenance mode");
    return reason.isEmpty() ? text : text + ": " + reason;
}
