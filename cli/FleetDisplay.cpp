#include "FleetDisplay.h"

#include "Events.h"
#include "RunProgress.h"

#include <QJsonArray>
#include <QJsonDocument>
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
    if (result == QLatin1String("halted"))
        return QStringLiteral("halted at state %1").arg(state);
    if (message.isEmpty())
        return result;
    return result + ": " + firstLine(message);
}

FleetDisplay::FleetDisplay(Mode mode, bool checking, const QList<InstrumentStatus> &instruments)
    : mMode(mode), mChecking(checking), mInstruments(instruments)
{
}

void FleetDisplay::begin()
{
    if (mMode == Mode::Live && !mChecking)
        drawLiveLines();
}

void FleetDisplay::event(const InstrumentStatus &instrument, const QByteArray &line, const QString &name)
{
    if (mMode == Mode::Json) {
        writeLine(line);
    } else if (mChecking) {
        // A check shows its result alone, with the whole message.
        if (name == QLatin1String("result"))
            print(QStringLiteral("%1  %2%3")
                      .arg(instrument.address, instrument.result,
                           instrument.message.isEmpty() ? QString()
                                                        : ": " + QString(instrument.message).replace("\r\n", " ")));
    } else if (mMode == Mode::Live) {
        mChanged = true;
    } else if (name == QLatin1String("caption") || name == QLatin1String("result")) {
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

void FleetDisplay::summary(int status)
{
    if (mMode == Mode::Json) {
        QJsonArray results;
        for (const InstrumentStatus &instrument : mInstruments)
            results.append(QJsonObject{{"address", instrument.address},
                                       {"result", instrument.result},
                                       {"status", instrument.status},
                                       {"seconds", instrument.seconds}});
        writeLine(QJsonDocument(QJsonObject{{"event", "summary"}, {"status", status}, {"results", results}})
                      .toJson(QJsonDocument::Compact));
        return;
    }
    if (mChecking)
        return;
    refresh();
    print(QStringLiteral("\n%1  %2  %3").arg("ADDRESS", -15).arg("DURATION", 9).arg("RESULT"));
    for (const InstrumentStatus &instrument : mInstruments)
        print(QStringLiteral("%1  %2 s  %3")
                  .arg(instrument.address, -15)
                  .arg(instrument.seconds, 7, 'f', 1)
                  .arg(instrument.outcome()));
}
