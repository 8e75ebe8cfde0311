#pragma once

#include "ExitStatus.h"
#include "Procedure.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QString>

// The command line's contract with scripts: the JSON events, one object per line, and the results.
// The README's table documents every name and field; they are kept stable (fields may be added,
// none removed or renamed). Every writer builds its events here, and the fleet reads them here.
namespace Events {

// The value of "event".
inline const QString kFolder = QStringLiteral("folder");
inline const QString kStart = QStringLiteral("start");
inline const QString kState = QStringLiteral("state");
inline const QString kCaption = QStringLiteral("caption");
inline const QString kProgress = QStringLiteral("progress");
inline const QString kTransfer = QStringLiteral("transfer");
inline const QString kResult = QStringLiteral("result");
inline const QString kSummary = QStringLiteral("summary");
inline const QString kInterrupt = QStringLiteral("interrupt");
inline const QString kWaiting = QStringLiteral("waiting");
inline const QString kMaintenance = QStringLiteral("maintenance");

// The value of "result".
inline const QString kSuccess = QStringLiteral("success");
inline const QString kFailed = QStringLiteral("failed");
inline const QString kHalted = QStringLiteral("halted");
inline const QString kReady = QStringLiteral("ready");
inline const QString kNotReady = QStringLiteral("not-ready");
inline const QString kStopped = QStringLiteral("stopped");
inline const QString kNotStarted = QStringLiteral("not-started");
inline const QStringList kResults{kSuccess, kFailed, kHalted, kReady, kNotReady, kStopped, kNotStarted};

// How a run of the procedure that ended so is named: a check's as the instrument's readiness.
QString resultName(RunResult result, Procedure procedure);

// The value of a file's "status" when it is sound; otherwise why it is damaged.
inline const QString kSound = QStringLiteral("ok");

struct File
{
    QString name;
    qint64 size = 0;
    QString status;
};

// How an instrument's run ended.
struct Result
{
    QString address;
    QString result; // empty while it runs
    int status = 0;
    int state = 0; // the last one
    double seconds = 0;
    QString message; // the failure's message, CR LF between its lines; empty: none
    QString caption; // the last one the run showed; empty: none
    QString log;     // the path of its log; empty: it has none
    double timeScale = 1;
    QString logIncomplete; // why its log or its result.json is incomplete; empty: they are whole
    // A command that changes the instrument was sent: never by a check; for a process that ended
    // without its result, from the last state it showed.
    bool changed = false;
    // How long the instrument was waited for in maintenance mode (--wait); 0: not at all.
    double waited = 0;
};

// Where an instrument's result is kept, beside its log: a check's apart from an upgrade's, so that a
// check never replaces the record of an upgrade that needs a person.
QString recordPath(const QString &logPath, Procedure procedure);

// How a run that ended so is reported, by the instrument's process or by the fleet for it: shown
// gives the address, the last state and caption, the log, the time scale and what the log lacks. A
// log that is incomplete makes the status at least 1.
Result ending(const Result &shown, RunResult result, Procedure procedure, double seconds,
              const QString &message = QString());

QJsonObject folder(const QString &folder, const QList<File> &files);
// pid: the instrument's process.
QJsonObject start(const QString &address, Procedure procedure, const QString &folder, const QDateTime &time, qint64 pid,
                  double timeScale);
QJsonObject state(const QString &address, int state);
QJsonObject caption(const QString &address, const QString &text);
QJsonObject progress(const QString &address, int value, int maximum, long percent);
QJsonObject transfer(const QString &address, const QString &file, qint64 sent, qint64 total);
QJsonObject result(const Result &result);
// The instrument waited for is not ready, for a new reason; waited: the seconds so far.
QJsonObject waiting(const QString &address, const QString &reason, double waited);
// The instrument waited for is in maintenance mode: its run begins (an upgrade at its turn).
QJsonObject maintenance(const QString &address, double waited);
QJsonObject summary(int status, const QList<Result> &results);
// The fleet has been interrupted (count 1: it stops what has changed nothing; 2: it stops all).
QJsonObject interrupt(const QString &signal, int count, qsizetype notStarted, qsizetype running);

// What the fleet reads back.
QString nameOf(const QJsonObject &event);
Result resultOf(const QJsonObject &event);

// One line of JSON, without its line end.
QByteArray line(const QJsonObject &event);

} // namespace Events

// Writes one line to standard output and hands it to the operating system at once.
void writeLine(const QByteArray &line);

// The events of one instrument's process, each written at once; a transfer's progress as its first
// and last figures, each once, and at most five a second between.
class EventWriter
{
public:
    void write(const QJsonObject &event);
    void transfer(const QJsonObject &event);

private:
    QString mFile;
    qint64 mSent = -1;
    QElapsedTimer mSinceTransferEvent;
};
