#include "Events.h"

#include <QJsonDocument>

#include <cstdio>

void writeLine(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void EventWriter::write(const QString &event, QJsonObject fields)
{
    fields.insert("event", event);
    fields.insert("address", mAddress);
    writeLine(QJsonDocument(fields).toJson(QJsonDocument::Compact));
}

void EventWriter::transfer(const QString &file, qint64 sent, qint64 total)
{
    constexpr qint64 kInterval = 200;
    if (file == mFile && sent < total && mSinceTransferEvent.isValid() && mSinceTransferEvent.elapsed() < kInterval)
        return;
    mFile = file;
    mSinceTransferEvent.start();
    write("transfer", {{"file", file}, {"sent", sent}, {"total", total}});
}
