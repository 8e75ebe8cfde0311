#include "UpgradeFolder.h"

#include "FileReading.h"
#include "TarCheck.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kUtilities = QStringLiteral("update.tar");
const QStringList kArchives{kUtilities, "qd8nand.tar", "qd8nand3.tar"};
// The compare utility that the upgrade unpacks from update.tar into /mnt/nand1 and runs there; the
// instrument's step that unpacks it accepts it listed under this name alone.
const QByteArray kCompareTool = QByteArrayLiteral("cmp");

QString unreadable(const FileReading &file)
{
    return UpgradeFolder::kUnreadable + QLatin1String(": ") + file.problem();
}

// Reads the file to its end, once: why it must not be sent, or an empty text.
QString damageOf(FileReading &file, const QString &name)
{
    if (file.failed())
        return unreadable(file);
    if (file.size() == 0)
        return UpgradeFolder::kEmpty;
    if (!kArchives.contains(name))
        return file.readToEnd() ? QString() : unreadable(file);
    switch (TarCheck::read(file, name == kUtilities ? kCompareTool : QByteArray())) {
    case TarCheck::Verdict::Sound:
        // What follows the end-of-archive marker (tar fills its last record with zeros) too.
        return file.readToEnd() ? QString() : unreadable(file);
    case TarCheck::Verdict::Unreadable:
        return unreadable(file);
    case TarCheck::Verdict::EndsEarly:
        return UpgradeFolder::kEndsEarly;
    case TarCheck::Verdict::NotTar:
        return UpgradeFolder::kNotTar;
    case TarCheck::Verdict::NoFiles:
        return UpgradeFolder::kHoldsNoFiles;
    case TarCheck::Verdict::LacksMember:
        break;
    }
    return UpgradeFolder::kLacksCmp;
}

} // namespace

const UpgradeFile *FolderCheck::firstDamaged() const
{
    for (const UpgradeFile &file : files)
        if (!file.damage.isEmpty())
            return &file;
    return nullptr;
}

namespace UpgradeFolder {

bool FileExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

UpgradeFileFlags CheckUpgradeFiles(const QString &folder)
{
    UpgradeFileFlags flags;
    const QDir dir(folder);
    for (const QString &name : kRequiredFiles)
        if (folder.isEmpty() || !FileExists(dir.filePath(name)))
            return flags;
    flags.mUpgradeFilesFound = true;
    flags.mProdImageFound = FileExists(dir.filePath(kProdImage));
    flags.mAutoexecFound = FileExists(dir.filePath(kAutoexec));
    return flags;
}

FolderCheck CheckFolder(const QString &folder)
{
    FolderCheck check{CheckUpgradeFiles(folder), {}};
    if (!check.flags.mUpgradeFilesFound)
        return check;
    QStringList names = kRequiredFiles;
    if (check.flags.mProdImageFound)
        names << kProdImage;
    if (check.flags.mAutoexecFound)
        names << kAutoexec;
    const QDir dir(folder);
    for (const QString &name : names) {
        FileReading file(dir.filePath(name));
        const QString damage = damageOf(file, name);
        check.files.append({name, file.isOpen() ? file.size() : QFileInfo(dir.filePath(name)).size(), damage});
    }
    check.flags.mUpgradeFilesFound = !check.firstDamaged();
    return check;
}

QString damageNote(const UpgradeFile &file)
{
    return "the upgrade file " + file.name + " is damaged: " + file.damage;
}

} // namespace UpgradeFolder
