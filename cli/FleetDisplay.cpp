#include "FleetDisplay.h"

#include "RunProgress.h"

#include <QDir>

#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QString firstLine(const QString &text)
{
    return text.section(QStringLiteral("\r\n"), 0, 0);
}

void print(const QString &text)
{
    writeLine(text.toUtf8());
}

int terminalColumns()
{
    winsize size{};
    return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

} // namespace

QString InstrumentStatus::outcome() const
{
    if (end.result == Events::kHalted)
        return QStringLiteral("halted at state %1").arg(end.state);
    if (end.message.isEmpty())
        return end.result;
    return end.result + ": " + firstLine(end.message);
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
    if (mMode == Mode::Json)
        return;
    print("logs in " + QDir::toNativeSeparators(logFolder));
    if (mMode == Mode::Live && !mChecking)
        drawLiveLines();
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
        mChanged = true;
    } else if (name == Events::kCaption || name == Events::kResult) {
        print(QStringLiteral("%1  %2%  %3")
                  .arg(instrument.address)
                  .arg(instrument.percent, 3)
                  .arg(instrument.finished() ? instrument.outcome() : instrument.caption));
    }
}

void FleetDisplay::refresh()
{
    if (mChanged)
        drawLiveLines();
}

QString FleetDisplay::liveLine(const InstrumentStatus &instrument) const
{
    QString text = QStringLiteral("%1  %2%  %3")
                       .arg(instrument.address, -15)
                       .arg(instrument.percent, 3)
                       .arg(instrument.finished() ? instrument.outcome() : instrument.caption);
    if (!instrument.finished() && !instrument.file.isEmpty())
        text += "  [" + RunProgress::transferText(instrument.file, instrument.sent, instrument.total) + ']';
    return text.left(terminalColumns() - 1);
}

void FleetDisplay::drawLiveLines()
{
    QByteArray frame;
    if (mDrawn)
        frame += "\x1b[" + QByteArray::number(mInstruments.size()) + 'A';
    for (const InstrumentStatus &instrument : mInstruments)
        frame += "\r\x1b[2K" + liveLine(instrument).toUtf8() + '\n';
    std::fwrite(frame.constData(), 1, static_cast<size_t>(frame.size()), stdout);
    std::fflush(stdout);
    mDrawn = true;
    mChanged = false;
}

void FleetDisplay::interrupt(const QJsonObject &event)
{
    if (mMode == Mode::Json) {
        writeLine(Events::line(event));
        return;
    }
    const QString signal = event.value("signal").toString();
    const qint64 running = event.value("running").toInteger();
    if (event.value("count").toInt() > 1) {
        print(QStringLiteral("%1 again: stopping %2 running instrument(s) now").arg(signal).arg(running));
    } else {
        print(QStringLiteral("%1: %2 waiting instrument(s) not started; %3 running: each stops now if nothing has been "
                             "changed on it yet, or runs on to its end. Ctrl-C again stops them now: they may not "
                             "start again")
                  .arg(signal)
                  .arg(event.value("not_started").toInteger())
                  .arg(running));
    }
    // The live lines begin again below the note.
    mDrawn = false;
    mChanged = true;
}

void FleetDisplay::summary(const QJsonObject &summary)
{
    if (mMode == Mode::Json) {
        writeLine(Events::line(summary));
        return;
    }
    if (mChecking)
        return;
    refresh();
    print(QStringLiteral("\n%1  %2  %3").arg("ADDRESS", -15).arg("DURATION", 9).arg("RESULT"));
    for (const InstrumentStatus &instrument : mInstruments)
        print(QStringLiteral("%1  %2 s  %3")
                  .arg(instrument.address, -15)
                  .arg(instrument.end.seconds, 7, 'f', 1)
                  .arg(instrument.outcome()));
}

void FleetDisplay::problem(const QString &text)
{
    std::fprintf(stderr, "qd8400-upgrade: %s\n", qPrintable(text));
}
