#include "UpgradeFolder.h"

#include "TarCheck.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kUtilities = QStringLiteral("update.tar");
const QStringList kArchives{kUtilities, "qd8nand.tar", "qd8nand3.tar"};
// The compare utility that the upgrade unpacks from update.tar into /mnt/nand1 and runs there; the
// instrument's step that unpacks it accepts it listed under this name alone.
const QByteArray kCompareTool = QByteArrayLiteral("cmp");

QString damageOf(const QString &path, const QString &name, qint64 size)
{
    if (size == 0)
        return UpgradeFolder::kEmpty;
    if (!kArchives.contains(name))
        return QString();
    switch (TarCheck::read(path, name == kUtilities ? kCompareTool : QByteArray())) {
    case TarCheck::Verdict::Sound:
        return QString();
    case TarCheck::Verdict::EndsEarly:
        return UpgradeFolder::kEndsEarly;
    case TarCheck::Verdict::NotTar:
        return UpgradeFolder::kNotTar;
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
        const QString path = dir.filePath(name);
        const qint64 size = QFileInfo(path).size();
        check.files.append({name, size, damageOf(path, name, size)});
    }
    check.flags.mUpgradeFilesFound = !check.firstDamaged();
    return check;
}

QString damageNote(const UpgradeFile &file)
{
    return "the upgrade file " + file.name + " is damaged: " + file.damage;
}

} // namespace UpgradeFolder
