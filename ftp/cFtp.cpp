#include "cFtp.h"

#include "LogSink.h"

#include <cctype>

namespace {

constexpr qint32 kExtendedError = FtpInterface::kExtendedError;
constexpr int kReplyBufferSize = 255;
constexpr qint32 kTransferInProgress = 12110;
constexpr qint32 kProxyRefused = 12033;
constexpr qint32 kInvalidHandle = 6;
// The connection trace never shows the password.
constexpr char kPasswordMask[] = "********";

int nextHandle()
{
    static int handle = 0xCC0000;
    return ++handle;
}

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

} // namespace

cFtp::cFtp(LogSink &log, QObject *parent) : QObject(parent), mLog(log)
{
    mSettings.agent = "ZENTRAX FTP DLL";
}

cFtp::~cFtp()
{
    Disconnect();
}

void cFtp::setTimeouts(long connectSeconds, long stallSeconds)
{
    mSettings.connectTimeoutSeconds = connectSeconds;
    mSettings.stallSeconds = stallSeconds;
}

bool cFtp::Connect()
{
    if (refusedWhileBusy())
        return false;
    mError.Clear();
    if (!mhInternet) {
        // The FTP layer talks to the server directly; through an HTTP proxy FTP would become HTTP.
        if (lAccessType != 1) {
            ReportError(kProxyRefused, QStringLiteral("FTP through a proxy is not supported."));
            return false;
        }
        auto session = std::make_unique<FtpInterface>(mSettings);
        if (mCancelled)
            session->cancel();
        if (!session->isOpen()) {
            ReportError(session->errorNumber(), session->errorDescription());
            return false;
        }
        mInternet = std::move(session);
        mhInternet = nextHandle();
    }
    if (mhConnect)
        return true;
    if (sServerName.isEmpty()) {
        mError.Info(-1, QStringLiteral("Server name required."));
        Disconnect();
        return false;
    }
    if (platform([&] { return mInternet->connect(sServerName, sUserID, sPassword, bPassiveMode); })) {
        mhConnect = nextHandle();
        return true;
    }
    mLog.Log_Add("\r\n[Failed to InternetConnect(" + number(mhInternet) + ',' + sServerName.toUtf8() +
                 ",INTERNET_INVALID_PORT_NUMBER," + sUserID.toUtf8() + ',' + kPasswordMask + ",INTERNET_SERVICE_FTP," +
                 number(bPassiveMode ? 134217728 : 0) + ", 0)]");
    ReportError(mInternet->errorNumber(), mInternet->errorDescription());
    return false;
}

bool cFtp::Disconnect()
{
    if (refusedWhileBusy())
        return false;
    if (mhFile)
        closeFile();
    mhConnect = 0;
    mhInternet = 0;
    if (mInternet)
        platform([this] {
            mInternet->close();
            return true;
        });
    mInternet.reset();
    mDirEntries.clear();
    return true;
}

void cFtp::Cancel()
{
    mCancelled = true;
    if (mInternet)
        mInternet->cancel();
}

bool cFtp::platform(const std::function<bool()> &call)
{
    const cError before = mError;
    mBusy = true;
    const bool ok = call();
    mBusy = false;
    // A call refused meanwhile does not speak for this operation.
    mError = before;
    return ok;
}

bool cFtp::refusedWhileBusy()
{
    if (mBusy)
        ReportError(kTransferInProgress, QStringLiteral("The FTP session is busy with another operation."));
    return mBusy;
}

void cFtp::ReportError(qint32 lError, const QString &sDescription)
{
    QByteArray reply;
    if (lError == kExtendedError && mInternet && mInternet->lastResponse(reply)) {
        // "550 No such file": the code is the reply's number, the reason what follows it and a blank.
        reply.truncate(kReplyBufferSize);
        const qsizetype nul = reply.indexOf('\0');
        if (nul >= 0)
            reply.truncate(nul);
        qsizetype digits = 0;
        while (digits < reply.size() && std::isdigit(static_cast<unsigned char>(reply[digits])))
            ++digits;
        const QString reason = QString::fromUtf8(reply.mid(digits + 1));
        mError.Info(reply.left(digits).toInt(), reason);
        mLog.Log_Add("\r\n[Error=" + number(kExtendedError) + ':' + reason.toUtf8() + ']');
        return;
    }
    mError.Info(lError, sDescription);
    mLog.Log_Add("\r\n[Error=" + number(lError) + ':' + sDescription.toUtf8() + ']');
}

bool cFtp::connectedOrConnect()
{
    if (refusedWhileBusy())
        return false;
    mError.Clear();
    if (!mhConnect)
        Connect();
    if (!mhConnect) {
        mError.Info(-1, QStringLiteral("Could not connect to server."));
        return false;
    }
    return true;
}

bool cFtp::requireConnection()
{
    if (refusedWhileBusy())
        return false;
    mError.Clear();
    if (!mhConnect) {
        mError.Info(-1, QStringLiteral("No available connection."));
        return false;
    }
    return true;
}

bool cFtp::checked(const std::function<bool()> &call)
{
    const bool ok = platform(call);
    if (!ok)
        ReportError(mInternet->errorNumber(), mInternet->errorDescription());
    return ok;
}

bool cFtp::bPutFile(const QString &strSourceFile, const QString &strTargetFile)
{
    return connectedOrConnect() && checked([&] {
               return mInternet->putFile(strSourceFile, strTargetFile, ascii(),
                                         [this](qint64 sent, qint64 total) { emit PutProgress(sent, total); });
           });
}

bool cFtp::bGetFile(const QString &strSourceFile, const QString &strTargetFile)
{
    return connectedOrConnect() &&
           checked([&] { return mInternet->getFile(strSourceFile, strTargetFile, ascii(), mFailIfExists); });
}

bool cFtp::bRename(const QString &strCurrentName, const QString &strNewName)
{
    return connectedOrConnect() && checked([&] { return mInternet->rename(strCurrentName, strNewName); });
}

bool cFtp::bOpenFile(const QString &strFileName)
{
    if (!connectedOrConnect())
        return false;
    if (mhFile) {
        mError.Info(kTransferInProgress, QStringLiteral("A remote file is open already: ") + mFileName);
        return false;
    }
    mFileWriting = mFileAccessFlag == kGenericWrite;
    mFileData.clear();
    if (!mFileWriting && !checked([&] { return mInternet->readFile(strFileName, ascii(), mFileData); }))
        return false;
    mFileName = strFileName;
    mhFile = nextHandle();
    return true;
}

QString cFtp::sReadFile()
{
    if (refusedWhileBusy())
        return QString();
    mError.Clear();
    if (!mhFile) {
        mError.Info(-1, QStringLiteral("No File Opened."));
        return QString();
    }
    if (mFileWriting) {
        mError.Info(kInvalidHandle, QStringLiteral("The remote file is open for writing."));
        return QString();
    }
    // Bytes are carried one to one in the text, as the 8-bit strings of the instrument are.
    QString content = QString::fromLatin1(mFileData);
    mFileData.clear();
    return content;
}

bool cFtp::bWriteFile(const QString &strData)
{
    if (refusedWhileBusy())
        return false;
    mError.Clear();
    if (!mhFile) {
        mError.Info(-1, QStringLiteral("No File Opened."));
        return false;
    }
    if (!mFileWriting) {
        mError.Info(kInvalidHandle, QStringLiteral("The remote file is open for reading."));
        return false;
    }
    mFileData += strData.toLatin1();
    return true;
}

bool cFtp::bCloseFile()
{
    if (refusedWhileBusy())
        return false;
    mError.Clear();
    return !mhFile || closeFile();
}

bool cFtp::closeFile()
{
    const bool ok = !mFileWriting || checked([this] { return mInternet->writeFile(mFileName, ascii(), mFileData); });
    mFileData.clear();
    mhFile = 0;
    return ok;
}

bool cFtp::SetCurrentDirectory(const QString &strDirName)
{
    return requireConnection() && checked([&] { return mInternet->setCurrentDirectory(strDirName); });
}

QString cFtp::sGetCurrentDir()
{
    if (!requireConnection())
        return mError.Text();
    return mInternet->currentDirectory();
}

bool cFtp::bMakeDir(const QString &strDir)
{
    return requireConnection() && checked([&] { return mInternet->makeDirectory(strDir); });
}

bool cFtp::bRemoveDir(const QString &strDir)
{
    return requireConnection() && checked([&] { return mInternet->removeDirectory(strDir); });
}

bool cFtp::bDeleteFile(const QString &strFile)
{
    return requireConnection() && checked([&] { return mInternet->deleteFile(strFile); });
}

bool cFtp::ReadDirectory(const QString &strDir)
{
    mDirEntries.clear();
    if (!strDir.isEmpty() && !SetCurrentDirectory(strDir))
        return false;
    if (!requireConnection())
        return false;
    return checked([&] { return mInternet->list(mDirEntries); });
}

std::vector<FtpInterface::DirEntry> cFtp::matchingEntries(qint32 intType)
{
    std::vector<FtpInterface::DirEntry> matching;
    if (mDirEntries.empty()) {
        mError.Info(0, QStringLiteral("Empty Directory"));
        return matching;
    }
    for (const FtpInterface::DirEntry &entry : mDirEntries)
        if (!entry.name.isEmpty() && (intType <= 0 || (entry.attributes & static_cast<quint32>(intType))))
            matching.push_back(entry);
    if (matching.empty())
        mError.Info(0, QStringLiteral("No Matching Entries"));
    return matching;
}

QString cFtp::sListDir(const QString &strDir, qint32 intType)
{
    if (refusedWhileBusy())
        return QString();
    mError.Clear();
    if (!ReadDirectory(strDir))
        return QString();
    QStringList names;
    for (const FtpInterface::DirEntry &entry : matchingEntries(intType))
        names << entry.name;
    return names.join(';');
}

bool cFtp::bGetDir(const QString &strDir, qint32 intType)
{
    if (refusedWhileBusy())
        return false;
    mError.Clear();
    if (!ReadDirectory(strDir))
        return false;
    mDirEntries = matchingEntries(intType);
    return true;
}

QString cFtp::sGetDirName(qint32 intItem)
{
    mError.Clear();
    if (intItem < 1 || intItem > lGetDirCount()) {
        mError.Info(-1, QStringLiteral("Index out of range."));
        return QString();
    }
    return mDirEntries[static_cast<size_t>(intItem - 1)].name;
}

bool cFtp::oneShot(const QString &sServer, const QString &sUser, const QString &sPass,
                   const std::function<bool()> &operation)
{
    if (refusedWhileBusy())
        return false;
    mError.Clear();
    Disconnect();
    sServerName = sServer;
    sUserID = sUser;
    sPassword = sPass;
    Connect();
    bool ok = false;
    if (mhConnect) {
        ok = platform(operation);
        if (!ok)
            mError.Info(mInternet->errorNumber(), mInternet->errorDescription());
    } else {
        mError.Info(-1, QStringLiteral("Could not connect to server."));
    }
    Disconnect();
    return ok;
}

bool cFtp::bQPutFile(const QString &sServer, const QString &sUser, const QString &sPass, qint32 lType,
                     const QString &strSourceFile, const QString &strTargetFile)
{
    lTransferType = lType;
    return oneShot(sServer, sUser, sPass, [&] { return mInternet->putFile(strSourceFile, strTargetFile, ascii()); });
}

bool cFtp::bQGetFile(const QString &sServer, const QString &sUser, const QString &sPass, qint32 lType, bool bOverWrite,
                     const QString &strSourceFile, const QString &strTargetFile)
{
    lTransferType = lType;
    setOverWrite(bOverWrite);
    return oneShot(sServer, sUser, sPass,
                   [&] { return mInternet->getFile(strSourceFile, strTargetFile, ascii(), mFailIfExists); });
}

bool cFtp::bQRename(const QString &sServer, const QString &sUser, const QString &sPass, const QString &strCurrentName,
                    const QString &strNewName)
{
    return oneShot(sServer, sUser, sPass, [&] { return mInternet->rename(strCurrentName, strNewName); });
}

bool cFtp::bQMakeDir(const QString &sServer, const QString &sUser, const QString &sPass, const QString &strDir)
{
    return oneShot(sServer, sUser, sPass, [&] { return mInternet->makeDirectory(strDir); });
}

bool cFtp::bQRemoveDir(const QString &sServer, const QString &sUser, const QString &sPass, const QString &strDir)
{
    return oneShot(sServer, sUser, sPass, [&] { return mInternet->removeDirectory(strDir); });
}

bool cFtp::bQDeleteFile(const QString &sServer, const QString &sUser, const QString &sPass, const QString &strFile)
{
    return oneShot(sServer, sUser, sPass, [&] { return mInternet->deleteFile(strFile); });
}

QString cFtp::sConvertCrLf(const QString &strData)
{
    QString converted = strData;
    return converted.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
}
