// libFuzzer target: any byte stream from the instrument, cut into arrivals by its first bytes,
// goes through the decoder and the session with full tracing; after each pass the ring keeps its
// invariant and holds at most an incomplete IAC verb. Each of its lines also goes through both
// listing parsers (the shell's "ls -alQ --full-time" lines and the FTP server's LIST lines).
#include "FtpInterface.h"
#include "MemoryLog.h"
#include "cFileListing.h"
#include "ucTelnet.h"

#include <QCoreApplication>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (const QByteArray &line : QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\n')) {
        FtpInterface::DirEntry entry;
        FtpInterface::parseListLine(line, entry);
        cFileListing().FillOut(QString::fromLatin1(line));
    }
    MemoryLog log;
    ucTelnet telnet(log);
    telnet.setPrompt("bash-2.04#");
    for (size_t at = 0; at < size;) {
        const size_t length = std::min<size_t>(1 + data[at] % 64, size - at - 1);
        telnet.DataArrival(QByteArray(reinterpret_cast<const char *>(data + at + 1), static_cast<qsizetype>(length)));
        telnet.Process_RxBuffer();
        log.clear();
        const RxBuffer &ring = telnet.rxBuffer();
        if (ring.in() != (ring.out() + ring.count()) % RxBuffer::kSize || ring.count() > 2)
            std::abort();
        at += 1 + length;
    }
    return 0;
}
