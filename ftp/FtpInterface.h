#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <vector>

// The platform layer under cFtp: one FTP session over one libcurl easy handle, kept for the whole
// session so that libcurl reuses the logged-in control connection between operations. Each
// operation blocks its caller, but runs on a worker thread while the caller's thread waits in a
// local event loop (runBlockingCall): windows keep painting and progress reaches the caller, and
// timers, posted events and the operator's input are handled too, so the caller must not start
// another operation then; it may cancel() the one under way.
//
// A failed operation leaves an error number and description: kExtendedError when the server's
// negative reply is the reason (lastResponse() then holds that reply), else libcurl's error code
// and text.
class FtpInterface
{
public:
    static constexpr int kExtendedError = 12003;
    static constexpr int kFileExistsError = 80;
    static constexpr int kInvalidNameError = 123;
    static constexpr quint32 kAttributeDirectory = 0x10;
    static constexpr quint32 kAttributeNormal = 0x80;

    struct Settings
    {
        QByteArray agent;
        int port = 21;
        long connectTimeoutSeconds = 20;
        // A transfer or a reply that makes no progress for this long fails. An upload makes progress
        // while the server takes what the socket buffers still hold after its last byte has been
        // handed over (in passive mode, where the data connection is ours).
        long stallSeconds = 30;
        // The final reply to an upload may take stallSeconds plus one second for every this many
        // bytes of the file, counted from the end of the data: what the socket buffers hold reaches
        // the server at the pace of its link and its storage before it replies.
        long slowestReplyBytesPerSecond = 10000;
    };

    struct DirEntry
    {
        QString name;
        quint32 attributes = 0;
    };

    // Bytes sent so far and the total, on the caller's thread, at most every 100 ms and at the end.
    using Progress = std::function<void(qint64 sent, qint64 total)>;

    explicit FtpInterface(Settings settings);
    ~FtpInterface();
    // Ends the session (QUIT); the object is closed afterwards.
    void close();
    FtpInterface(const FtpInterface &) = delete;
    FtpInterface &operator=(const FtpInterface &) = delete;

    bool isOpen() const { return mCurl != nullptr; }
    // From any thread: the operation under way ends within about a second, failed, and every later
    // one fails at once; nothing more reaches the server.
    void cancel() { mCancelled = true; }

    bool connect(const QString &server, const QString &user, const QString &password, bool passive);
    bool putFile(const QString &localPath, const QString &remoteName, bool ascii, const Progress &progress = {});
    bool getFile(const QString &remoteName, const QString &localPath, bool ascii, bool failIfExists);
    bool readFile(const QString &remoteName, bool ascii, QByteArray &content);
    bool writeFile(const QString &remoteName, bool ascii, const QByteArray &content);
    bool setCurrentDirectory(const QString &path);
    QString currentDirectory() const { return mCwd; }
    bool makeDirectory(const QString &name);
    bool removeDirectory(const QString &name);
    bool deleteFile(const QString &name);
    bool rename(const QString &from, const QString &to);
    bool list(std::vector<DirEntry> &entries);

    int errorNumber() const { return mErrorNumber; }
    QString errorDescription() const { return mErrorDescription; }
    // The server's last reply line (code and text, without its line end); false if none came yet.
    bool lastResponse(QByteArray &reply) const;

    // One line of a Unix long listing as the server sends it for LIST.
    static bool parseListLine(const QByteArray &line, DirEntry &entry);

private:
    struct Transfer;

    void resetRequest();
    QString absolutePath(const QString &name) const;
    QByteArray urlFor(const QString &path, bool directory) const;
    bool checkName(const QString &name);
    bool checkFileName(const QString &name);
    bool failLocal(int error, const QString &path);
    bool command(const QList<QByteArray> &commands);
    bool runTransfer(const QString &remoteName, Transfer &transfer, bool upload, qint64 uploadSize = -1);
    bool perform(Transfer *transfer = nullptr);
    bool fail(int number, const QString &description);

    static size_t onHeader(char *data, size_t size, size_t count, void *self);
    static int onCloseSocket(void *self, int socket);

    Settings mSettings;
    void *mCurl = nullptr;
    // Holds the connection between operations; each operation is driven through it.
    void *mMulti = nullptr;
    std::atomic<bool> mCancelled = false;
    // What the operation under way moves, if anything; read by the progress and close callbacks.
    Transfer *mTransfer = nullptr;
    QByteArray mBase;
    QString mCwd = QStringLiteral("/");
    QByteArray mLastReply;
    int mReplyLines = 0;
    int mPreliminaryReplies = 0;
    bool mNegativeReply = false;
    char mCurlError[256] = {};
    int mErrorNumber = 0;
    QString mErrorDescription;
};
