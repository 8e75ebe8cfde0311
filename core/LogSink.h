#pragma once

#include <QByteArrayView>

// The one logging entry point that every component reaches through the main window.
// Texts are 8-bit: protocol bytes go to the log exactly as they were received.
class LogSink
{
public:
    virtual ~LogSink() = default;
    virtual void Log_Add(QByteArrayView text) = 0;
};
