#include "FleetDisplay.h"

#include "RunProgress.h"
#include "TerminalText.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>

#include <cstdio>

namespace {

constexpr int kAddressWidth = 15;
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

void put(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

// A line's width on the terminal: one column is left free, so that no terminal wraps it.
int lineWidth()
{
    return TerminalText::size().columns - 1;
}

// The address and the duration of an instrument's row.
QString headOf(const InstrumentStatus &instrument)
{
    return QStringLiteral("%1  %2 s  ").arg(instrument.address, -kAddressWidth).arg(instrument.end.seconds, 7, 'f', 1);
}

// From the line under the cursor on, clears each line and writes the given ones, then clears the
// rest of the screen.
QByteArray overwrite(const QStringList &lines)
{
    QByteArray bytes = "\r";
    for (const QString &line : lines)
        bytes += "\x1b[2K" + line.toUtf8() + '\n';
    return bytes + "\x1b[J";
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
    if (end.result == Events::kHalted)
        return QStringLiteral("halted at: %1 (state %2)").arg(caption).arg(end.state);
    return end.result + " at: " + caption;
}

QStringList InstrumentStatus::details() const
{
    QStringList lines = linesOf(end.message).mid(0, 1);
    if (!lines.isEmpty() && outcome().endsWith(": " + lines.first()))
        lines.clear();
    if (end.result != Events::kSuccess && QFileInfo::exists(end.log))
        lines << "log: " + QDir::toNativeSeparators(end.log);
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
    refresh();
}

void FleetDisplay::event(const InstrumentStatus &instrument, const QJsonObject &event)
{
    const QString name = Events::nameOf(event);
    if (mMode == Mode::Json) {
        writeLine(Events::line(event));
    } else if (mChecking) {
        // A check shows its result alone, with the whole message.
        if (name == Events::kResult)
            print(QStringLiteral("%1  %2%3")
                      .arg(instrument.address, instrument.end.result,
                           instrument.end.message.isEmpty()
                               ? QString()
                               : ": " + QString(instrument.end.message).replace("\r\n", " ")));
    } else if (mMode == Mode::Live) {
        if (name == Events::kResult)
            above({TerminalText::fitted(headOf(instrument), instrument.outcome(), QString(), lineWidth())});
    } else if (name == Events::kCaption || name == Events::kResult) {
        print(QStringLiteral("%1  %2%  %3")
                  .arg(instrument.address)
                  .arg(instrument.percent, 3)
                  .arg(instrument.finished() ? instrument.outcome() : instrument.caption));
    }
}

void FleetDisplay::above(const QStringList &lines)
{
    mAbove << lines;
}

void FleetDisplay::refresh()
{
    if (mMode != Mode::Live || mChecking)
        return;
    const TerminalText::Size size = TerminalText::size();
    // With the cursor on the line below it, the screen fits: its top can always be reached again.
    const QStringList lines = screen(size.columns - 1, size.rows - 1);
    if (lines == mDrawn && mAbove.isEmpty())
        return;
    QByteArray frame;
    if (!mDrawn.isEmpty())
        frame += "\x1b[" + QByteArray::number(mDrawn.size()) + 'A';
    put(frame + overwrite(mAbove + lines));
    mAbove.clear();
    mDrawn = lines;
}

QStringList FleetDisplay::screen(int columns, int rows) const
{
    QStringList lines{TerminalText::fitted(QString(), header(), QString(), columns)};
    // The running instruments first, then those waiting for their turn.
    for (const bool running : {true, false})
        for (const InstrumentStatus &instrument : mInstruments)
            if (lines.size() < rows && !instrument.finished() && instrument.running() == running)
                lines << liveLine(instrument, columns);
    return lines;
}

QString FleetDisplay::header() const
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
    QString text = QStringLiteral("%1 running, %2 waiting, %3 succeeded, %4 failed, %5 halted")
                       .arg(running)
                       .arg(waiting)
                       .arg(ended.value(Events::kSuccess))
                       .arg(ended.value(Events::kFailed))
                       .arg(ended.value(Events::kHalted));
    for (const QString &result : {Events::kStopped, Events::kNotStarted})
        if (ended.value(result) > 0)
            text += QStringLiteral(", %1 %2").arg(ended.value(result)).arg(result);
    return text + ", " + TerminalText::duration(static_cast<double>(mClock.elapsed()) / 1000) + " elapsed";
}

QString FleetDisplay::liveLine(const InstrumentStatus &instrument, int width) const
{
    const QString head = QStringLiteral("%1  %2%  ").arg(instrument.address, -kAddressWidth).arg(instrument.percent, 3);
    const QString figures =
        instrument.file.isEmpty()
            ? QString()
            : "  [" + RunProgress::transferText(instrument.file, instrument.sent, instrument.total) + ']';
    return TerminalText::fitted(head, instrument.caption, figures, width);
}

void FleetDisplay::interrupt(const QJsonObject &event)
{
    if (mMode == Mode::Json) {
        writeLine(Events::line(event));
        return;
    }
    const QString signal = event.value("signal").toString();
    const qint64 running = event.value("running").toInteger();
    const QString note =
        event.value("count").toInt() > 1
            ? QStringLiteral("%1 again: stopping %2 running instrument(s) now").arg(signal).arg(running)
            : QStringLiteral("%1: %2 waiting instrument(s) not started; %3 running: each stops now if nothing has been "
                             "changed on it yet, or runs on to its end. Ctrl-C again stops them now: they may not "
                             "start again")
                  .arg(signal)
                  .arg(event.value("not_started").toInteger())
                  .arg(running);
    if (mMode == Mode::Live && !mChecking)
        above(TerminalText::wrapped(note, lineWidth()));
    else
        print(note);
}

void FleetDisplay::summary(const QJsonObject &summary)
{
    if (mMode == Mode::Json) {
        writeLine(Events::line(summary));
        return;
    }
    if (!mChecking) {
        refresh();
        if (!mDrawn.isEmpty())
            put("\x1b[" + QByteArray::number(mDrawn.size()) + "A" + overwrite({}));
        mDrawn.clear();
        table();
    }
    print(totals());
}

void FleetDisplay::table() const
{
    const int width = mMode == Mode::Live ? lineWidth() : kNoWidth;
    print(QStringLiteral("\n%1  %2  %3").arg("ADDRESS", -kAddressWidth).arg("DURATION", 9).arg("RESULT"));
    for (const InstrumentStatus &instrument : mInstruments) {
        const QString head = headOf(instrument);
        // Too narrow a terminal wraps the rows itself.
        const int room = std::max(width - static_cast<int>(head.size()), 20);
        QStringList lines = TerminalText::wrapped(instrument.outcome(), room);
        for (const QString &detail : instrument.details())
            lines << TerminalText::wrapped(detail, room);
        print(head + lines.takeFirst());
        for (const QString &line : lines)
            print(QString(head.size(), ' ') + line);
    }
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
    return counts.join(QStringLiteral(", ")) + " in " +
           TerminalText::duration(static_cast<double>(mClock.elapsed()) / 1000);
}

void FleetDisplay::problem(const QString &text)
{
    std::fprintf(stderr, "qd8400-upgrade: %s\n", qPrintable(text));
}
