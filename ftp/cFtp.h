#pragma once

#include "FtpInterface.h"
#include "cError.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class LogSink;

// The program's FTP client: one session and one connection kept between operations, the settings
// of that connection as properties, and Boolean operations whose failures fill in the error record
// and, for failures of the FTP layer, write a trace entry.
//
// bPutFile, bGetFile, bRename and bOpenFile connect by themselves; SetCurrentDirectory,
// sGetCurrentDir, bMakeDir, bRemoveDir, bDeleteFile and the listings need a connection already.
//
// While an operation waits for the FTP layer, timers, posted events and PutProgress slots still
// run; a call they make to this object meanwhile is refused with 12110 (busy).
class cFtp : public QObject
{
    Q_OBJECT

public:
    static constexpr qint32 kTransferAscii = 1;
    static constexpr qint32 kTransferBinary = 2;
    static constexpr qint32 kFileAccessWrite = 1;
    static constexpr qint32 kFileAccessRead = 2;
    // Attribute bits of listed entries, for the intType filter of the listings.
    static constexpr qint32 kAttributeDirectory = FtpInterface::kAttributeDirectory;
    static constexpr qint32 kAttributeNormal = FtpInterface::kAttributeNormal;

    explicit cFtp(LogSink &log, QObject *parent = nullptr);
    ~cFtp() override;

    // Properties.
    qint32 lAccessType = 1; // 1: direct; anything else (through sProxyName) is refused by Connect
    QString sProxyName;
    QString sProxyBypass;
    QString sServerName;
    QString sUserID = QStringLiteral("anonymous");
    QString sPassword;
    bool bPassiveMode = true;
    qint32 lTransferType = kTransferAscii;
    qint32 lFileAccess() const { return mFileAccessFlag == kGenericWrite ? kFileAccessWrite : kFileAccessRead; }
    void setFileAccess(qint32 value) { mFileAccessFlag = value == kFileAccessWrite ? kGenericWrite : kGenericRead; }
    bool bOverWrite() const { return !mFailIfExists; }
    void setOverWrite(bool value) { mFailIfExists = !value; }
    const cError &Error() const { return mError; }

    bool Connect();
    bool Disconnect();
    // From now on nothing more reaches the server: the operation under way (a transfer that has
    // stalled included) fails within about a second, and every later one at once.
    void Cancel();

    bool bPutFile(const QString &strSourceFile, const QString &strTargetFile);
    bool bGetFile(const QString &strSourceFile, const QString &strTargetFile);
    bool bRename(const QString &strCurrentName, const QString &strNewName);
    bool bOpenFile(const QString &strFileName);
    QString sReadFile();
    bool bWriteFile(const QString &strData);
    bool bCloseFile();

    bool SetCurrentDirectory(const QString &strDirName);
    QString sGetCurrentDir();
    bool bMakeDir(const QString &strDir);
    bool bRemoveDir(const QString &strDir);
    bool bDeleteFile(const QString &strFile);

    bool bGetDir(const QString &strDir, qint32 intType);
    QString sListDir(const QString &strDir, qint32 intType);
    qint32 lGetDirCount() const { return static_cast<qint32>(mDirEntries.size()); }
    QString sGetDirName(qint32 intItem);

    bool bQPutFile(const QString &sServer, const QString &sUser, const QString &sPass, qint32 lType,
                   const QString &strSourceFile, const QString &strTargetFile);
    bool bQGetFile(const QString &sServer, const QString &sUser, const QString &sPass, qint32 lType, bool bOverWrite,
                   const QString &strSourceFile, const QString &strTargetFile);
    bool bQRename(const QString &sServer, const QString &sUser, const QString &sPass, const QString &strCurrentName,
                  const QString &strNewName);
    bool bQMakeDir(const QString &sServer, const QString &sUser, const QString &sPass, const QString &strDir);
    bool bQRemoveDir(const QString &sServer, const QString &sUser, const QString &sPass, const QString &strDir);
    bool bQDeleteFile(const QString &sServer, const QString &sUser, const QString &sPass, const QString &strFile);

    static QString sConvertCrLf(const QString &strData);

    // Seams for tests: the server's port and the time limits of the FTP layer.
    void setPort(int port) { mSettings.port = port; }
    void setTimeouts(long connectSeconds, long stallSeconds);

signals:
    // How far the running bPutFile has got, in bytes.
    void PutProgress(qint64 sent, qint64 total);

private:
    static constexpr quint32 kGenericWrite = 0x40000000;
    static constexpr quint32 kGenericRead = 0x80000000;

    bool ascii() const { return lTransferType == kTransferAscii; }
    bool connectedOrConnect();
    bool requireConnection();
    bool platform(const std::function<bool()> &call);
    bool refusedWhileBusy();
    bool checked(const std::function<bool()> &call);
    void ReportError(qint32 lError, const QString &sDescription);
    bool ReadDirectory(const QString &strDir);
    std::vector<FtpInterface::DirEntry> matchingEntries(qint32 intType);
    bool oneShot(const QString &sServer, const QString &sUser, const QString &sPass,
                 const std::function<bool()> &operation);
    bool closeFile();

    LogSink &mLog;
    FtpInterface::Settings mSettings;
    std::unique_ptr<FtpInterface> mInternet;
    int mhInternet = 0;
    int mhConnect = 0;
    int mhFile = 0;
    quint32 mFileAccessFlag = kGenericWrite;
    bool mFailIfExists = false;
    cError mError;
    bool mBusy = false;
    bool mCancelled = false;
    std::vector<FtpInterface::DirEntry> mDirEntries;

    // The open remote file: read whole when opened for reading; written when closed.
    QString mFileName;
    bool mFileWriting = false;
    QByteArray mFileData;
};
