#include "Capacity.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <sys/resource.h>

namespace Capacity {

qsizetype raiseOpenFiles()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return kFilesReserved;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised{limit.rlim_max, limit.rlim_max};
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? kCeiling * kFilesPerInstrument + kFilesReserved
                                           : static_cast<qsizetype>(std::min<rlim_t>(limit.rlim_cur, 1 << 30));
}

qsizetype jobs(int given, qsizetype openFiles, qsizetype availableMiB)
{
    const qsizetype byFiles = (openFiles - kFilesReserved) / kFilesPerInstrument;
    qsizetype most = std::min(given > 0 ? given : kCeiling, byFiles);
    if (given == 0 && availableMiB > 0)
        most = std::min(most, availableMiB / 2 / kMiBPerInstrument);
    return std::max<qsizetype>(most, 1);
}

qsizetype availableMiB()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return 0;
    static const QRegularExpression available(QStringLiteral("^MemAvailable:\\s+(\\d+) kB$"),
                                              QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = available.match(QString::fromLatin1(meminfo.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() / 1024 : 0;
}

} // namespace Capacity
