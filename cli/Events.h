#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>

// The events of one instrument's run, one JSON object per line on standard output, each handed to
// the operating system at once: {"event": NAME, "address": ADDRESS, ...}. The names and fields are
// documented in the README and kept stable.
class EventWriter
{
public:
    explicit EventWriter(QString address) : mAddress(std::move(address)) {}

    void write(const QString &event, QJsonObject fields = {});
    // A transfer's progress: its first and last figures, and at most five a second between.
    void transfer(const QString &file, qint64 sent, qint64 total);

private:
    QString mAddress;
    QString mFile;
    QElapsedTimer mSinceTransferEvent;
};

// Writes one line to standard output at once.
void writeLine(const QByteArray &line);
