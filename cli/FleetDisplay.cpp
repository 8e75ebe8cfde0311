#include "FleetDisplay.h"

#include "ErrorLine.h"
#include "RunProgress.h"
#include "TerminalText.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kAddressWidth = 15;
constexpr int kDurationWidth = 11;
// A result beside its address and duration keeps at least this many columns; with fewer it goes
// below them.
constexpr int kLeastBeside = 24;
// A live line keeps its full form while its caption keeps at least this many characters.
constexpr int kLeastCaption = 16;
// Lines are not wrapped where there is no terminal.
constexpr int kNoWidth = 1 << 20;

QStringList linesOf(const QString &text)
{
    return text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

void print(const QString &text)
{
    writeLine(text.toUtf8());
}

void printWrapped(const QString &text, int width)
{
    for (const QString &line : TerminalText::wrapped(text, width))
        print(line);
}

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

// A line's width on the terminal: one column is left free, so that no terminal wraps it.
int lineWidth()
{
    return TerminalText::size().columns - 1;
}

// A check's result: the whole message on one line.
QString checkOutcome(const InstrumentStatus &instrument)
{
    const QString message = linesOf(instrument.end.message).join(' ');
    return message.isEmpty() ? instrument.end.result : instrument.end.result + ": " + message;
}

} // namespace

QString InstrumentStatus::outcome() const
{
    const QString caption = end.caption.section(QStringLiteral("\r\n"), 0, 0);
    if (end.result == Events::kSuccess || end.result == Events::kReady)
        return end.result;
    if (caption.isEmpty() || end.result == Events::kNotStarted) {
        const QStringList message = linesOf(end.message);
        return message.isEmpty() ? end.result : end.result + ": " + message.first();
    }
    return end.result + " at: " + caption;
}

QString InstrumentStatus::remarks() const
{
    QStringList remarks;
    if (end.result == Events::kHalted)
        remarks << QStringLiteral("state %1").arg(end.state);
    if (end.timeScale != 1)
        remarks << QStringLiteral("waits scaled %1").arg(end.timeScale);
    if (!end.logIncomplete.isEmpty())
        remarks << QStringLiteral("log incomplete");
    return remarks.isEmpty() ? QString() : '(' + remarks.join(QStringLiteral("; ")) + ')';
}

QStringList InstrumentStatus::details() const
{
    QStringList lines = linesOf(end.message).mid(0, 1);
    if (!lines.isEmpty() && outcome().endsWith(": " + lines.first()))
        lines.clear();
    if (!end.logIncomplete.isEmpty())
        lines << "log incomplete: " + end.logIncomplete;
    return lines;
}

FleetDisplay::FleetDisplay(Mode mode, bool checking, const QList<InstrumentStatus> &instruments)
    : mMode(mode), mChecking(checking), mInstruments(instruments)
{
}

void FleetDisplay::folder(const QJsonObject &event) const
{
    if (mMode == Mode::Json) {
        writeLine(Events::line(event));
        return;
    }
    for (const QJsonValue &file : event.value("files").toArray())
        print(QStringLiteral("%1 %2 bytes  %3")
                  .arg(file["name"].toString(), -14)
                  .arg(file["size"].toInteger(), 12)
                  .arg(file["status"].toString()));
}

void FleetDisplay::begin(const QString &logFolder)
{
    mClock.start();
    if (mMode == Mode::Json)
        return;
    print("logs in " + QDir::toNativeSeparators(logFolder));
    mBegun = true;
    refresh();
}

void FleetDisplay::event(const InstrumentStatus &instrument, const QJsonObject &event)
{
    const QString name = Events::nameOf(event);
    if (mMode == Mode::Json) {
        writeLine(Events::line(event));
    } else if (name == Events::kResult && (mMode == Mode::Live || mChecking)) {
        const QStringList lines = row(instrument, mMode == Mode::Live ? lineWidth() : kNoWidth, false);
        if (mMode == Mode::Live)
            above(lines);
        else
            print(lines.join('\n'));
    } else if (mMode == Mode::Lines && !mChecking && (name == Events::kCaption || name == Events::kResult)) {
        print(QStringLiteral("%1  %2%  %3")
                  .arg(instrument.address)
                  .arg(instrument.percent, 3)
                  .arg(instrument.finished() ? (instrument.outcome() + ' ' + instrument.remarks()).trimmed()
                                             : instrument.caption));
    }
}

void FleetDisplay::above(const QStringList &lines)
{
    mAbove << lines;
}

void FleetDisplay::refresh()
{
    draw(false);
}

void FleetDisplay::resized()
{
    draw(true);
}

void FleetDisplay::draw(bool whole)
{
    if (mMode != Mode::Live || !mBegun)
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

QStringList FleetDisplay::screen(int columns, int rows) const
{
    QStringList lines{header(columns)};
    // The running instruments first, then those waiting for their turn.
    for (const bool running : {true, false})
        for (const InstrumentStatus &instrument : mInstruments)
            if (lines.size() < rows && !instrument.finished() && instrument.running() == running)
                lines << liveLine(instrument, columns);
    return lines;
}

QString FleetDisplay::header(int width) const
{
    qsizetype running = 0;
    qsizetype waiting = 0;
    QMap<QString, qsizetype> ended;
    for (const InstrumentStatus &instrument : mInstruments) {
        if (instrument.finished())
            ++ended[instrument.end.result];
        else
            ++(instrument.running() ? running : waiting);
    }
    QStringList parts;
    const auto count = [&parts](qsizetype n, const QString &what, bool always) {
        if (always || n > 0)
            parts << QStringLiteral("%1 %2").arg(n).arg(what);
    };
    // What needs a person first: a narrow terminal loses the counts at the end.
    if (mChecking) {
        count(ended.value(Events::kNotReady), Events::kNotReady, true);
    } else {
        count(ended.value(Events::kFailed), Events::kFailed, true);
        count(ended.value(Events::kHalted), Events::kHalted, true);
        count(ended.value(Events::kStopped), Events::kStopped, false);
    }
    count(running, QStringLiteral("running"), true);
    count(waiting, QStringLiteral("waiting"), true);
    count(ended.value(mChecking ? Events::kReady : Events::kSuccess),
          mChecking ? Events::kReady : QStringLiteral("succeeded"), true);
    count(ended.value(Events::kNotStarted), Events::kNotStarted, false);
    parts << TerminalText::duration(static_cast<double>(mClock.elapsed()) / 1000) + " elapsed";
    QString text = parts.takeFirst();
    for (const QString &part : parts) {
        if (text.size() + 2 + part.size() > width)
            break;
        text += ", " + part;
    }
    return TerminalText::fitted(QString(), text, QString(), width);
}

QString FleetDisplay::liveLine(const InstrumentStatus &instrument, int width) const
{
    const bool moving = !instrument.file.isEmpty();
    const QString head = QStringLiteral("%1  %2%  ").arg(instrument.address, -kAddressWidth).arg(instrument.percent, 3);
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

QStringList FleetDisplay::row(const InstrumentStatus &instrument, int width, bool withDetails) const
{
    const QString duration = TerminalText::duration(instrument.end.seconds);
    QString head =
        mChecking ? instrument.address + "  "
                  : QStringLiteral("%1  %2  ").arg(instrument.address, -kAddressWidth).arg(duration, kDurationWidth);
    QStringList lines;
    if (width - head.size() < kLeastBeside) {
        lines << (mChecking ? instrument.address : instrument.address + "  " + duration);
        head = QStringLiteral("  ");
    }
    const QString indent(head.size(), ' ');
    const int room = width - static_cast<int>(indent.size());
    const QString outcome = mChecking ? checkOutcome(instrument) : instrument.outcome();
    QStringList text = TerminalText::wrapped((outcome + ' ' + instrument.remarks()).trimmed(), room);
    if (withDetails)
        for (const QString &detail : instrument.details())
            text << TerminalText::wrapped(detail, room);
    for (qsizetype i = 0; i < text.size(); ++i)
        lines << (i == 0 ? head : indent) + text[i];
    if (!withDetails || instrument.end.log.isEmpty() ||
        (instrument.end.result == Events::kSuccess && instrument.end.logIncomplete.isEmpty()))
        return lines;
    // The log's path whole, on a line of its own when it does not fit after its name.
    const QString log = QDir::toNativeSeparators(instrument.end.log);
    if (indent.size() + 5 + log.size() <= width)
        lines << indent + "log: " + log;
    else
        lines << indent + "log:" << log;
    return lines;
}

void FleetDisplay::interrupt(const QJsonObject &event)
{
    if (mMode == Mode::Json) {
        writeLine(Events::line(event));
        return;
    }
    const QString signal = event.value("signal").toString();
    const QString again = signal == QLatin1String("SIGINT") ? QStringLiteral("Ctrl-C") : signal;
    const qint64 running = event.value("running").toInteger();
    const qint64 notStarted = event.value("not_started").toInteger();
    QString note;
    if (event.value("count").toInt() > 1)
        note = QStringLiteral("%1 again: stopping %2 running instrument(s) now").arg(signal).arg(running);
    else if (mChecking)
        note = QStringLiteral("%1: %2 waiting instrument(s) not checked; the %3 running stop now: a check changes "
                              "nothing")
                   .arg(signal)
                   .arg(notStarted)
                   .arg(running);
    else
        note = QStringLiteral("%1: %2 waiting instrument(s) not started; %3 running: each stops now if nothing has "
                              "been changed on it yet, or runs on to its end. %4 again stops them now: they may "
                              "not start again")
                   .arg(signal)
                   .arg(notStarted)
                   .arg(running)
                   .arg(again);
    if (mMode == Mode::Live)
        above(TerminalText::wrapped(note, lineWidth()));
    else
        print(note);
}

void FleetDisplay::warning(const QString &text)
{
    passOn(errorLine(text));
}

void FleetDisplay::passOn(const QString &line)
{
    if (passesOnAbove())
        above(TerminalText::wrapped(line, lineWidth()));
    else
        std::fprintf(stderr, "%s\n", qPrintable(line));
}

void FleetDisplay::summary(const QJsonObject &summary)
{
    if (mMode == Mode::Json) {
        writeLine(Events::line(summary));
        return;
    }
    if (mMode == Mode::Live) {
        draw(false);
        put("\r\x1b[J");
        mDrawn.clear();
        mBegun = false;
    }
    if (!mChecking)
        table();
    printWrapped(totals(), mMode == Mode::Live ? lineWidth() : kNoWidth);
}

void FleetDisplay::table() const
{
    const int width = mMode == Mode::Live ? lineWidth() : kNoWidth;
    print(QString());
    if (width - kAddressWidth - kDurationWidth - 4 >= kLeastBeside)
        print(
            QStringLiteral("%1  %2  %3").arg("ADDRESS", -kAddressWidth).arg("DURATION", kDurationWidth).arg("RESULT"));
    for (const InstrumentStatus &instrument : mInstruments)
        for (const QString &line : row(instrument, width, true))
            print(line);
}

QString FleetDisplay::totals() const
{
    QStringList counts;
    for (const QString &result : Events::kResults) {
        const auto count =
            std::count_if(mInstruments.cbegin(), mInstruments.cend(),
                          [&](const InstrumentStatus &instrument) { return instrument.end.result == result; });
        if (count > 0)
            counts << QStringLiteral("%1 %2").arg(count).arg(result);
    }
    QString text = counts.join(QStringLiteral(", ")) + " in " +
                   TerminalText::duration(static_cast<double>(mClock.elapsed()) / 1000);
    const auto incomplete =
        std::count_if(mInstruments.cbegin(), mInstruments.cend(),
                      [](const InstrumentStatus &instrument) { return !instrument.end.logIncomplete.isEmpty(); });
    if (incomplete > 0)
        text += QStringLiteral("; %1 log(s) incomplete").arg(incomplete);
    return text;
}

bool FleetDisplay::passesOnAbove() const
{
    return mMode == Mode::Live && mBegun && ::isatty(STDERR_FILENO);
}
