#pragma once

#include "LogSink.h"

#include <QByteArray>
#include <QList>

// A log that keeps its entries in memory, for tests that check trace texts.
class MemoryLog final : public LogSink
{
public:
    void Log_Add(QByteArrayView text) override { entries.append(text.toByteArray()); }

    QByteArray joined() const { return entries.join(); }
    qsizetype count(const QByteArray &entry) const { return entries.count(entry); }
    bool contains(const QByteArray &entry) const { return entries.contains(entry); }
    void clear() { entries.clear(); }

    QList<QByteArray> entries;
};

// A log that only counts, for tests and benchmarks that push a lot of data through full tracing.
class CountingLog final : public LogSink
{
public:
    void Log_Add(QByteArrayView text) override
    {
        ++entries;
        bytes += text.size();
    }

    qint64 entries = 0;
    qint64 bytes = 0;
};
