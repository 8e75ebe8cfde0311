#include "WholeFile.h"

#include <QSaveFile>

QString writeWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    // Unbuffered: a buffered write that fails only when commit flushes it is not seen by commit,
    // which would then put an empty file in place of the old one.
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes) == bytes.size() && file.commit())
        return QString();
    return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
}
