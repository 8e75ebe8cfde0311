#include "Events.h"

#include "Commands.h"
#include "RunRules.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>

namespace Events {

namespace {

QJsonObject event(const QString &name, const QString &address, QJsonObject fields)
{
    fields.insert("event", name);
    fields.insert("address", address);
    return fields;
}

} // namespace

QString resultName(RunResult result, Procedure procedure)
{
    switch (result) {
    case RunResult::Success:
        return procedure == Procedure::Check ? kReady : kSuccess;
    case RunResult::Halt:
        return kHalted;
    case RunResult::Stop:
        return kStopped;
    case RunResult::NotStarted:
        return kNotStarted;
    case RunResult::Failure:
        break;
    }
    return procedure == Procedure::Check ? kNotReady : kFailed;
}

QString recordPath(const QString &logPath, Procedure procedure)
{
    return QFileInfo(logPath).dir().filePath(procedure == Procedure::Check ? QStringLiteral("check.json")
                                                                           : QStringLiteral("result.json"));
}

Result ending(const Result &shown, RunResult result, Procedure procedure, double seconds, const QString &message)
{
    Result ended = shown;
    ended.result = resultName(result, procedure);
    ended.status = code(statusOf(result));
    if (!shown.logIncomplete.isEmpty())
        ended.status = std::max(ended.status, code(ExitStatus::Failed));
    ended.seconds = seconds;
    ended.message = message;
    ended.changed = procedure != Procedure::Check && !RunRules::changedNothingAt(shown.state);
    return ended;
}

QJsonObject folder(const QString &folder, const QList<File> &files)
{
    QJsonArray list;
    for (const File &file : files)
        list.append(QJsonObject{{"name", file.name}, {"size", file.size}, {"status", file.status}});
    return {{"event", kFolder}, {"folder", folder}, {"files", list}};
}

QJsonObject start(const QString &address, Procedure procedure, const QString &folder, const QDateTime &time, qint64 pid,
                  double timeScale)
{
    return event(kStart, address,
                 {{"command", Commands::nameOf(procedure)},
                  {"folder", folder},
                  {"time", time.toString(Qt::ISODate)},
                  {"pid", pid},
                  {"time_scale", timeScale}});
}

QJsonObject state(const QString &address, int state)
{
    return event(kState, address, {{"state", state}});
}

QJsonObject caption(const QString &address, const QString &text)
{
    return event(kCaption, address, {{"text", text}});
}

QJsonObject progress(const QString &address, int value, int maximum, long percent)
{
    return event(kProgress, address,
                 {{"value", value}, {"maximum", maximum}, {"percent", static_cast<qint64>(percent)}});
}

QJsonObject transfer(const QString &address, const QString &file, qint64 sent, qint64 total)
{
    return event(kTransfer, address, {{"file", file}, {"sent", sent}, {"total", total}});
}

QJsonObject result(const Result &result)
{
    return event(kResult, result.address,
                 {{"result", result.result},
                  {"status", result.status},
                  {"state", result.state},
                  {"seconds", result.seconds},
                  {"message", result.message},
                  {"caption", result.caption},
                  {"log", result.log},
                  {"time_scale", result.timeScale},
                  {"log_incomplete", result.logIncomplete},
                  {"changed", result.changed},
                  {"waited", result.waited}});
}

QJsonObject waiting(const QString &address, const QString &reason, double waited)
{
    return event(kWaiting, address, {{"reason", reason}, {"waited", waited}});
}

QJsonObject maintenance(const QString &address, double waited)
{
    return event(kMaintenance, address, {{"waited", waited}});
}

QJsonObject summary(int status, const QList<Result> &results)
{
    QJsonArray list;
    for (const Result &result : results)
        list.append(QJsonObject{{"address", result.address},
                                {"result", result.result},
                                {"status", result.status},
                                {"seconds", result.seconds},
                                {"log_incomplete", result.logIncomplete}});
    return {{"event", kSummary}, {"status", status}, {"results", list}};
}

QJsonObject interrupt(const QString &signal, int count, qsizetype notStarted, qsizetype running)
{
    return {
        {"event", kInterrupt}, {"signal", signal}, {"count", count}, {"not_started", notStarted}, {"running", running}};
}

QString nameOf(const QJsonObject &event)
{
    return event.value("event").toString();
}

Result resultOf(const QJsonObject &event)
{
    return {event.value("address").toString(),     event.value("result").toString(),
            event.value("status").toInt(),         event.value("state").toInt(),
            event.value("seconds").toDouble(),     event.value("message").toString(),
            event.value("caption").toString(),     event.value("log").toString(),
            event.value("time_scale").toDouble(1), event.value("log_incomplete").toString(),
            event.value("changed").toBool(),       event.value("waited").toDouble()};
}

QByteArray line(const QJsonObject &event)
{
    return QJsonDocument(event).toJson(QJsonDocument::Compact);
}

} // namespace Events

void writeLine(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void EventWriter::write(const QJsonObject &event)
{
    writeLine(Events::line(event));
}

void EventWriter::transfer(const QJsonObject &event)
{
    constexpr qint64 kInterval = 200;
    const QString file = event.value("file").toString();
    const qint64 sent = event.value("sent").toInteger();
    const bool last = sent >= event.value("total").toInteger();
    // The figures already written, of the same file, say nothing new: the last ones come again
    // while the server takes what the socket still holds.
    if (file == mFile && (sent == mSent || (!last && mSinceTransferEvent.elapsed() < kInterval)))
        return;
    mFile = file;
    mSent = sent;
    mSinceTransferEvent.start();
    write(event);
}
