#include "AddressFile.h"

#include "Echoed.h"

#include <QFile>

#include <cstdio>

namespace AddressFile {

Read read(const QString &path)
{
    const bool standardInput = path == QLatin1String("-");
    QFile file(standardInput ? QString() : path);
    const bool opened = standardInput ? file.open(stdin, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly);
    const QByteArray bytes = opened ? file.readAll() : QByteArray();
    if (!opened || file.error() != QFileDevice::NoError)
        return {{},
                QStringLiteral("cannot read the addresses in %1: %2").arg(echoed(nameOf(path)), file.errorString())};
    Read read;
    int number = 0;
    for (const QByteArray &line : bytes.split('\n')) {
        ++number;
        const QString text = QString::fromUtf8(line).trimmed();
        if (!text.isEmpty() && !text.startsWith('#'))
            read.addresses.append({number, text});
    }
    return read;
}

QString nameOf(const QString &path)
{
    return path == QLatin1String("-") ? QStringLiteral("standard input") : path;
}

} // namespace AddressFile
