#pragma once

#include <QDir>
#include <QFile>
#include <QList>
#include <QStringList>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>

inline const QStringList kRequiredUpgradeFiles{"bzimage", "qd8400.rfs", "update.tar", "qd8nand.tar", "qd8nand3.tar"};
inline const QStringList kOptionalUpgradeFiles{"qd8prod.rfs", "autoexec.bat"};

// Writes one regular file into an archive being written.
inline void addMember(archive *writing, const QByteArray &name, const QByteArray &data)
{
    archive_entry *entry = archive_entry_new();
    archive_entry_set_pathname(entry, name.constData());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0755);
    archive_entry_set_size(entry, data.size());
    archive_write_header(writing, entry);
    archive_write_data(writing, data.constData(), static_cast<size_t>(data.size()));
    archive_entry_free(entry);
}

// An archive, made by libarchive, of two members: `first` of 1000 bytes, then "b" of 3000. As tar
// (ustar, nothing after its end-of-archive marker) it is laid out in blocks of 512 bytes: the
// headers at 0 and 1536, the data at 512 and 2048, the end-of-archive marker at 5120, 6144 in all.
inline QByteArray twoMemberArchive(const QByteArray &first, bool tar = true)
{
    QByteArray bytes;
    archive *writing = archive_write_new();
    tar ? archive_write_set_format_ustar(writing) : archive_write_set_format_zip(writing);
    archive_write_set_bytes_in_last_block(writing, 1);
    const auto append = [](archive *, void *to, const void *data, size_t size) -> la_ssize_t {
        static_cast<QByteArray *>(to)->append(static_cast<const char *>(data), static_cast<qsizetype>(size));
        return static_cast<la_ssize_t>(size);
    };
    archive_write_open(writing, &bytes, nullptr, append, nullptr);
    addMember(writing, first, QByteArray(1000, first[0]));
    addMember(writing, "b", QByteArray(3000, 'b'));
    archive_write_free(writing);
    return bytes;
}

// Makes the named entries in a folder: a sound upgrade file for a plain name (a tar archive for a
// name ending in ".tar", update.tar holding cmp; a few bytes otherwise), an empty file for a name
// ending in "=", a folder for one ending in "/", and for "NAME:HOW" the archive NAME cut short in a
// header ("header"), in a member's data ("data"), before its end-of-archive marker ("end") or in
// it ("half-end"), written as a zip archive ("zip"), without cmp ("no-cmp"), as the 10 KiB of zeros
// of `tar -cf NAME -T /dev/null` ("no-files") or as 20 KiB of zeros ("zeros"); or the file NAME
// that nobody may read ("unreadable").
inline void writeFiles(const QString &folder, const QStringList &entries)
{
    QDir().mkpath(folder);
    static const QMap<QString, qsizetype> cuts{
        {"header", 1536 + 100}, {"data", 2048 + 1000}, {"end", 5120}, {"half-end", 5120 + 512}};
    for (const QString &entry : entries) {
        const QString name = entry.section(':', 0, 0).chopped(entry.endsWith('=') || entry.endsWith('/'));
        const QString how = entry.section(':', 1);
        QFile file(QDir(folder).filePath(name));
        if (entry.endsWith('/')) {
            QDir().mkpath(file.fileName());
            continue;
        }
        QByteArray bytes = name.endsWith(".tar")
                               ? twoMemberArchive(name == "update.tar" && how != "no-cmp" ? "cmp" : "a", how != "zip")
                               : QByteArray("data");
        if (entry.endsWith('='))
            bytes.clear();
        if (how == "no-files" || how == "zeros")
            bytes = QByteArray(how == "zeros" ? 20480 : 10240, '\0');
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes.left(cuts.value(how, bytes.size())));
        if (how == "unreadable")
            file.setPermissions({});
    }
}

// A damaged or empty upgrade file among sound ones, and why it must not be sent.
struct DamagedFile
{
    QString row;
    QString entry; // for writeFiles
    QString name;
    QString reason;
};

inline QList<DamagedFile> damagedFiles()
{
    QList<DamagedFile> rows;
    for (const char *archive : {"update.tar", "qd8nand.tar", "qd8nand3.tar"}) {
        for (const auto &[cut, where] : {std::pair{"header", "in a header"}, std::pair{"data", "in a member's data"},
                                         std::pair{"end", "before its end marker"}})
            rows.append({QStringLiteral("%1 cut %2").arg(archive, where), QStringLiteral("%1:%2").arg(archive, cut),
                         archive, "the archive ends early"});
        rows.append({QStringLiteral("%1 a zip archive").arg(archive), archive + QStringLiteral(":zip"), archive,
                     "it is not a tar archive"});
    }
    rows.append(
        {"qd8nand3.tar with half its end marker", "qd8nand3.tar:half-end", "qd8nand3.tar", "the archive ends early"});
    rows.append({"update.tar without cmp", "update.tar:no-cmp", "update.tar", "it does not hold cmp"});
    rows.append({"qd8nand.tar made of no files", "qd8nand.tar:no-files", "qd8nand.tar", "it holds no files"});
    rows.append({"qd8nand3.tar 20 KiB of zeros", "qd8nand3.tar:zeros", "qd8nand3.tar", "it holds no files"});
    for (const char *name : {"bzimage", "update.tar"})
        rows.append({QStringLiteral("%1 unreadable").arg(name), QStringLiteral("%1:unreadable").arg(name), name,
                     "it cannot be read: Permission denied"});
    for (const QString &name : kRequiredUpgradeFiles + kOptionalUpgradeFiles)
        rows.append({name + " empty", name + "=", name, "it is empty"});
    return rows;
}

// The rows of damagedFiles() in the columns entry, name and reason; or the first for each reason.
inline void addDamagedFileRows(bool eachReasonOnce = false)
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QStringList reasons;
    for (const DamagedFile &row : damagedFiles())
        if (!eachReasonOnce || !reasons.contains(row.reason)) {
            reasons << row.reason;
            QTest::newRow(qPrintable(row.row)) << row.entry << row.name << row.reason;
        }
}
