// libFuzzer target: any byte stream from the instrument, cut into arrivals by its first bytes,
// goes through the decoder and the session with full tracing; each of its lines also goes through
// both listing parsers (the shell's "ls -alQ --full-time" lines and the FTP server's LIST lines).
#include "FtpInterface.h"
#include "LogSink.h"
#include "cFileListing.h"
#include "ucTelnet.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

namespace {

class NullLog final : public LogSink
{
public:
    void Log_Add(QByteArrayView) override {}
};

} // namespace

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
    NullLog log;
    ucTelnet telnet(log);
    telnet.setUserName("root");
    telnet.setPassword("k8r2Mq5");
    telnet.setPrompt("bash-2.04#");
    size_t at = 0;
    while (at < size) {
        const size_t chunk = 1 + data[at] % 64;
        ++at;
        const size_t length = std::min(chunk, size - at);
        telnet.DataArrival(QByteArray(reinterpret_cast<const char *>(data + at), static_cast<qsizetype>(length)));
        telnet.Process_RxBuffer();
        const RxBuffer &ring = telnet.rxBuffer();
        if (ring.in() != RxBuffer::Pos(ring.out(), ring.count()) || ring.count() > 2)
            std::abort();
        at += length;
    }
    return 0;
}
