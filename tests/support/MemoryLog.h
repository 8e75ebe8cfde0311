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
    bool contains(const QByteArray &entry) const { return entries.contains(entry); }
    void clear() { entries.clear(); }

    QList<QByteArray> entries;
};
