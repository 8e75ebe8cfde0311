#pragma once

#include <QByteArrayView>

// The one logging entry point that every component reaches through the main window.
//
// The log is 8-bit text, and every text reaches it by one of two rules:
// - Bytes of the Telnet dialogue (what arrived, the command lines and answers sent) go in exactly as
//   they are on the wire, byte for byte. The Telnet control keeps that text as Latin-1, one
//   character per byte, so its QString texts convert back with toLatin1().
// - Every other text (error descriptions, file, folder and host names, the program's own messages)
//   is a QString written as UTF-8 with toUtf8(), the system's code page on this platform.
class LogSink
{
public:
    virtual ~LogSink() = default;
    virtual void Log_Add(QByteArrayView text) = 0;
};
