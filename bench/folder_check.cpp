// How long the check of a sound upgrade folder of realistic size takes: every file read to its end
// once, each archive as a tar archive. The files have just been written, so they come from the page cache,
// as they do when the operator has just unzipped them; the median of five checks is printed.
#include "UpgradeFiles.h"
#include "UpgradeFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr qint64 kMiB = 1 << 20;

QByteArray randomBytes(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

void writeFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(randomBytes(size)) != size)
        qFatal("cannot write %s", qPrintable(path));
}

// A tar archive of members of 4 KiB to 1 MiB, about `size` bytes in all, in folders of 50.
void writeArchive(const QString &path, const QByteArray &first, qint64 size)
{
    archive *writing = archive_write_new();
    archive_write_set_format_pax_restricted(writing);
    if (archive_write_open_filename(writing, QFile::encodeName(path).constData()) != ARCHIVE_OK)
        qFatal("cannot write %s: %s", qPrintable(path), archive_error_string(writing));
    qint64 written = 0;
    for (int n = 0; written < size; ++n) {
        const QByteArray name = n == 0 ? first
                                       : QByteArray("usr/%1/file%2")
                                             .replace("%1", QByteArray::number(n / 50))
                                             .replace("%2", QByteArray::number(n));
        const qint64 length = std::min<qint64>(size - written, 4096 << QRandomGenerator::global()->bounded(9));
        addMember(writing, name, randomBytes(length));
        written += length;
    }
    archive_write_free(writing);
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QDir folder(dir.path());
    writeFile(folder.filePath("bzimage"), 3 * kMiB / 2);
    writeFile(folder.filePath("qd8400.rfs"), 12 * kMiB);
    writeFile(folder.filePath("qd8prod.rfs"), 8 * kMiB);
    writeFile(folder.filePath("autoexec.bat"), 200);
    writeArchive(folder.filePath("update.tar"), "cmp", 40 * 1024);
    writeArchive(folder.filePath("qd8nand.tar"), "bin/qd8tool", 20 * kMiB);
    writeArchive(folder.filePath("qd8nand3.tar"), "qd8app0.bin", 30 * kMiB);

    qint64 bytes = 0;
    for (const QFileInfo &file : folder.entryInfoList(QDir::Files))
        bytes += file.size();
    QList<double> seconds;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer clock;
        clock.start();
        const FolderCheck check = UpgradeFolder::CheckFolder(folder.path());
        seconds << clock.nsecsElapsed() / 1e9;
        if (!check.flags.mUpgradeFilesFound || check.files.size() != 7)
            qFatal("the benchmark's folder is not sound");
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("folder_check bytes=%lld seconds=%.3f\n", static_cast<long long>(bytes), seconds[2]);
    return 0;
}
