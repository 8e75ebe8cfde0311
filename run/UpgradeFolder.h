#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The folder of upgrade files: which of the files the upgrade needs or can use are there.
struct UpgradeFileFlags
{
    bool mUpgradeFilesFound = false;
    bool mProdImageFound = false;
    bool mAutoexecFound = false;
};

// One upgrade file that is there.
struct UpgradeFile
{
    QString name;
    qint64 size = 0;
    QString damage; // why it must not be sent to an instrument; empty: it is sound
};

// What the folder holds and whether it may be sent: mUpgradeFilesFound only when every required
// file is there and every upgrade file there is sound.
struct FolderCheck
{
    UpgradeFileFlags flags;
    QList<UpgradeFile> files; // every required file is there: each upgrade file there, in the order tested

    // The first damaged file; null when there is none.
    const UpgradeFile *firstDamaged() const;
};

namespace UpgradeFolder {

// Tested in this order; all must be there.
inline const QStringList kRequiredFiles{"bzimage", "qd8400.rfs", "update.tar", "qd8nand.tar", "qd8nand3.tar"};
inline const QString kProdImage = QStringLiteral("qd8prod.rfs");
inline const QString kAutoexec = QStringLiteral("autoexec.bat");

// Why an upgrade file is damaged.
inline const QString kEmpty = QStringLiteral("it is empty");
inline const QString kEndsEarly = QStringLiteral("the archive ends early");
inline const QString kNotTar = QStringLiteral("it is not a tar archive");
inline const QString kLacksCmp = QStringLiteral("it does not hold cmp");
inline const QString kHoldsNoFiles = QStringLiteral("it holds no files");
// Followed by ": " and the reason, as strerror tells it.
inline const QString kUnreadable = QStringLiteral("it cannot be read");

// A regular file whose size can be read (an empty one counts; a folder does not).
bool FileExists(const QString &path);
// The flags for a folder; the optional files are looked at only when every required file is there.
UpgradeFileFlags CheckUpgradeFiles(const QString &folder);
// The flags, then whether each upgrade file there is sound: readable to its end by this process's
// user, larger than 0 bytes, and each archive a whole tar archive holding a regular file (update.tar
// holding cmp, which the upgrade runs on the instrument). Each file is read once.
FolderCheck CheckFolder(const QString &folder);
// "the upgrade file NAME is damaged: REASON"
QString damageNote(const UpgradeFile &file);

} // namespace UpgradeFolder
