#pragma once

#include <QString>
#include <QStringList>

// The folder of upgrade files: which of the files the upgrade needs or can use are there.
struct UpgradeFileFlags
{
    bool mUpgradeFilesFound = false;
    bool mProdImageFound = false;
    bool mAutoexecFound = false;
};

namespace UpgradeFolder {

// Tested in this order; all must be there.
inline const QStringList kRequiredFiles{"bzimage", "qd8400.rfs", "update.tar", "qd8nand.tar", "qd8nand3.tar"};
inline const QString kProdImage = QStringLiteral("qd8prod.rfs");
inline const QString kAutoexec = QStringLiteral("autoexec.bat");

// A regular file whose size can be read (an empty one counts; a folder does not).
bool FileExists(const QString &path);
// The flags for a folder; the optional files are looked at only when every required file is there.
UpgradeFileFlags CheckUpgradeFiles(const QString &folder);

} // namespace UpgradeFolder
