#include "UpgradeFolder.h"

#include <QDir>
#include <QFileInfo>

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

} // namespace UpgradeFolder
