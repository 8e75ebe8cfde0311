#include "FleetScreen.h"

#include "RunProgress.h"
#include "TerminalText.h"

#include <QMap>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kAddressWidth = 15;
// A live line keeps its full form while its caption keeps at least this many characters.
constexpr int kLeastCaption = 16;

// A frame in one write where the terminal takes it whole, so that nothing comes between its lines.
void put(const QByteArray &bytes)
{
    std::fflush(stdout);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written =
            ::write(STDOUT_FILENO, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno != EINTR)
            return;
        done += std::max<ssize_t>(written, 0);
    }
}

// What an instrument that has not ended is doing, as the header counts it.
const QString &activity(const InstrumentStatus &instrument)
{
    if (instrument.running())
        return FleetReport::kRunning;
    return instrument.waiting ? FleetReport::kWaiting : FleetReport::kQueued;
}

} // namespace

int FleetScreen::width() const
{
    // One column is left free, so that no terminal wraps a line.
    return TerminalText::size().columns - 1;
}

void FleetScreen::begin(const QString &logFolder)
{
    FleetText::begin(logFolder);
    mBegun = true;
    refresh();
}

void FleetScreen::event(const InstrumentStatus &instrument, const QJsonObject &event)
{
    if (Events::nameOf(event) == Events::kResult)
        say(mReport.ended(instrument, width()));
}

void FleetScreen::say(const QStringList &lines)
{
    mAbove << lines;
}

void FleetScreen::refresh()
{
    draw(false);
}

void FleetScreen::resized()
{
    draw(true);
}

void FleetScreen::passOn(const QString &line)
{
    if (passesOnAbove())
        say(TerminalText::wrapped(line, width()));
    else
        FleetText::passOn(line);
}

bool FleetScreen::passesOnAbove() const
{
    return mBegun && ::isatty(STDERR_FILENO);
}

void FleetScreen::summary(const QJsonObject &summary)
{
    draw(false);
    put("\r\x1b[J");
    mDrawn.clear();
    mBegun = false;
    FleetText::summary(summary);
}

void FleetScreen::draw(bool whole)
{
    if (!mBegun)
        return;
    const TerminalText::Size size = TerminalText::size();
    // One row is left for the echo of a key pressed meanwhile.
    const QStringList lines = screen(size.columns - 1, size.rows - 1);
    if (!whole && lines == mDrawn && mAbove.isEmpty())
        return;
    // From the first line of the screen down: the lines above it, then the screen, then nothing.
    QByteArray frame = "\r";
    for (const QString &line : mAbove)
        frame += "\x1b[2K" + line.toUtf8() + '\n';
    for (qsizetype i = 0; i < lines.size(); ++i)
        frame += "\x1b[2K" + lines[i].toUtf8() + (i + 1 < lines.size() ? "\n" : "");
    frame += "\x1b[J\r";
    // Back to the first line of the screen.
    if (lines.size() > 1)
        frame += "\x1b[" + QByteArray::number(lines.size() - 1) + 'A';
    put(frame);
    mAbove.clear();
    mDrawn = lines;
}

QStringList FleetScreen::screen(int columns, int rows) const
{
    QStringList lines{header(columns)};
    // The running instruments first, then those waited for in maintenance mode, then those waiting
    // for their turn.
    for (const QString &shown : {FleetReport::kRunning, FleetReport::kWaiting, FleetReport::kQueued})
        for (const InstrumentStatus *instrument : mInstruments)
            if (lines.size() < rows && !instrument->finished() && activity(*instrument) == shown)
                lines << liveLine(*instrument, columns);
    return lines;
}

QString FleetScreen::header(int width) const
{
    QMap<QString, qsizetype> counted;
    for (const InstrumentStatus *instrument : mInstruments)
        ++counted[instrument->finished() ? instrument->end.result : activity(*instrument)];
    QStringList parts;
    for (const FleetReport::Count &count : mReport.counts())
        if (count.always || counted.value(count.what) > 0)
            parts << QStringLiteral("%1 %2").arg(counted.value(count.what)).arg(count.label);
    parts << TerminalText::duration(static_cast<double>(mClock.elapsed()) / 1000) + " elapsed";
    QString text = parts.takeFirst();
    for (const QString &part : parts) {
        if (text.size() + 2 + part.size() > width)
            break;
        text += ", " + part;
    }
    return TerminalText::fitted(QString(), text, QString(), width);
}

QString FleetScreen::liveLine(const InstrumentStatus &instrument, int width) const
{
    const QString head = QStringLiteral("%1  %2%  ").arg(instrument.address, -kAddressWidth).arg(instrument.percent, 3);
    if (instrument.waiting) {
        // How long it has waited is never cut.
        const double waited =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - instrument.waitingSince).count();
        return TerminalText::fitted(head, instrument.waitingText(), " (" + TerminalText::duration(waited) + ')', width);
    }
    const bool moving = !instrument.file.isEmpty();
    const QString figures =
        moving ? "  [" + RunProgress::transferText(instrument.file, instrument.sent, instrument.total) + ']'
               : QString();
    if (width - head.size() - figures.size() >= std::min<qsizetype>(kLeastCaption, instrument.caption.size()))
        return TerminalText::fitted(head, instrument.caption, figures, width);
    // Narrow: no column, and the figures without the file's name, which the caption gives.
    return TerminalText::fitted(
        QStringLiteral("%1 %2% ").arg(instrument.address).arg(instrument.percent), instrument.caption,
        moving ? " [" + RunProgress::transferFigures(instrument.sent, instrument.total) + ']' : QString(), width);
}
