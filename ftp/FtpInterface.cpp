#include "FtpInterface.h"

#include "BlockingCall.h"
#include "SystemError.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>
#include <linux/sockios.h>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

CURL *easy(void *handle)
{
    return static_cast<CURL *>(handle);
}

CURLM *multi(void *handle)
{
    return static_cast<CURLM *>(handle);
}

// libcurl (7.88) may miss the moment the data connection it has begun to open is ready and look
// again only after a second: it is asked to look at least this often.
constexpr int kLookAgainMs = 20;

// One operation of the easy handle, driven through the multi handle that keeps its connection.
CURLcode performThrough(CURLM *m, CURL *h)
{
    if (curl_multi_add_handle(m, h) != CURLM_OK)
        return CURLE_FAILED_INIT;
    CURLcode code = CURLE_OK;
    for (int running = 1; running;) {
        if (curl_multi_perform(m, &running) != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            break;
        }
        if (running)
            curl_multi_poll(m, nullptr, 0, kLookAgainMs, nullptr);
    }
    int left = 0;
    while (const CURLMsg *message = curl_multi_info_read(m, &left))
        if (message->msg == CURLMSG_DONE && message->easy_handle == h)
            code = message->data.result;
    curl_multi_remove_handle(m, h);
    return code;
}

// What libcurl reads of a file at a time, its own default: the buffer stays resident in each of a
// fleet's instrument processes once it has uploaded.
constexpr long kUploadBufferSize = 64 * 1024;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
const QString kCancelledText = QStringLiteral("The operation was cancelled.");

// libcurl turns every LF of a text-type upload into CR LF on the wire, whether a CR comes before it
// or not. A local text file's CR LF is therefore handed over as LF alone, so that every line ends in
// one CR LF on the wire however the file was made. A CR at the end of data is held until the next
// byte shows whether an LF follows.
void appendLfForCrLf(QByteArray &out, const char *data, size_t size, bool &heldCr)
{
    for (size_t i = 0; i < size; ++i) {
        if (heldCr && data[i] != '\n')
            out += '\r';
        heldCr = data[i] == '\r';
        if (!heldCr)
            out += data[i];
    }
}

} // namespace

// What one operation moves: its source or sink, the text-type conversion state and the progress.
struct FtpInterface::Transfer
{
    bool ascii = false;
    // Upload: a local file or a block of memory.
    FILE *sourceFile = nullptr;
    const QByteArray *sourceMemory = nullptr;
    qsizetype sourceAt = 0;
    bool heldCr = false;
    QByteArray converted;
    qsizetype convertedAt = 0;
    // The error number of a failed local read: the upload is aborted, never ended as if complete.
    int readError = 0;
    // Download: a local file or a block of memory. On text-type downloads libcurl itself turns
    // the CR LF line ends into LF.
    QIODevice *sinkFile = nullptr;
    QByteArray *sinkMemory = nullptr;

    Progress progress;
    qint64 fileSize = 0; // of an upload
    std::chrono::steady_clock::time_point lastReport;

    // An upload is watched for standing still where libcurl's low-speed rule does not look: before
    // any of its data goes and after all of it has been handed over. The data connection that
    // libcurl closes then is held open, its sending side shut, until the upload has ended, so that
    // what the server takes of what its socket holds can be seen.
    bool upload = false;
    long stallSeconds = 0;
    // Before the data: a reply's wait, and the making of the data connection before it.
    long beforeDataSeconds = 0;
    int heldSocket = -1;
    int repliesSeen = 0;
    int preliminaryBefore = 0;
    curl_off_t sentSeen = 0;
    int queuedSeen = -1;
    std::chrono::steady_clock::time_point lastMovement;
    bool stalled = false;

    // Whether nothing has moved for too long: no reply line, no byte sent, none of what the held
    // socket holds taken by the server. Before the preliminary reply to STOR the replies are what
    // moves; once the server's side has taken all of the data, only the allowance for the final
    // reply is left to wait.
    bool standsStill(const FtpInterface &session, std::chrono::steady_clock::time_point now, curl_off_t sent)
    {
        if (lastMovement == std::chrono::steady_clock::time_point())
            lastMovement = now; // libcurl's first look
        int queued = 0;
        if (heldSocket >= 0 && ::ioctl(heldSocket, SIOCOUTQ, &queued) != 0)
            queued = 0;
        const bool moved =
            session.mReplyLines != repliesSeen || sent != sentSeen || (queuedSeen >= 0 && queued < queuedSeen);
        repliesSeen = session.mReplyLines;
        sentSeen = sent;
        queuedSeen = heldSocket >= 0 ? queued : -1;
        if (moved)
            lastMovement = now;
        const bool beforeData = heldSocket < 0 && session.mPreliminaryReplies == preliminaryBefore;
        const bool draining = heldSocket >= 0 && queued > 0;
        stalled = (beforeData && now - lastMovement >= std::chrono::seconds(beforeDataSeconds)) ||
                  (draining && now - lastMovement >= std::chrono::seconds(stallSeconds));
        return stalled;
    }

    size_t readRaw(char *buffer, size_t size)
    {
        if (sourceFile) {
            const size_t n = std::fread(buffer, 1, size, sourceFile);
            const int error = errno;
            if (n < size && std::ferror(sourceFile))
                readError = error != 0 ? error : EIO;
            return n;
        }
        const size_t n = std::min<size_t>(size, static_cast<size_t>(sourceMemory->size() - sourceAt));
        std::memcpy(buffer, sourceMemory->constData() + sourceAt, n);
        sourceAt += static_cast<qsizetype>(n);
        return n;
    }

    size_t readConverted(char *buffer, size_t room)
    {
        while (convertedAt == converted.size()) {
            char raw[16384];
            const size_t n = readRaw(raw, std::min(sizeof raw, room));
            converted.clear();
            convertedAt = 0;
            if (n == 0) {
                // The end of the source: a CR held back goes out as it is, then nothing more.
                if (std::exchange(heldCr, false))
                    converted += '\r';
                if (converted.isEmpty())
                    return 0;
            }
            appendLfForCrLf(converted, raw, n, heldCr);
        }
        const size_t n = std::min<size_t>(room, static_cast<size_t>(converted.size() - convertedAt));
        std::memcpy(buffer, converted.constData() + convertedAt, n);
        convertedAt += static_cast<qsizetype>(n);
        return n;
    }

    static size_t onRead(char *buffer, size_t size, size_t count, void *self)
    {
        auto *t = static_cast<Transfer *>(self);
        const size_t n = t->ascii ? t->readConverted(buffer, size * count) : t->readRaw(buffer, size * count);
        return t->readError != 0 ? CURL_READFUNC_ABORT : n;
    }

    bool writeOut(const char *data, qsizetype size)
    {
        if (sinkMemory) {
            sinkMemory->append(data, size);
            return true;
        }
        return sinkFile->write(data, size) == size;
    }

    static size_t onWrite(char *data, size_t size, size_t count, void *self)
    {
        auto *t = static_cast<Transfer *>(self);
        const size_t total = size * count;
        return t->writeOut(data, static_cast<qsizetype>(total)) ? total : 0;
    }

    void report(curl_off_t total, curl_off_t sent)
    {
        const auto now = std::chrono::steady_clock::now();
        if (!progress || now - lastReport < kProgressInterval)
            return;
        lastReport = now;
        // Before the data connection is up libcurl reports a total of 0; the file's size is known.
        const qint64 whole = total > 0 ? total : fileSize;
        postToWaitingThread([progress = progress, sent, whole] { progress(sent, whole); });
    }

    // libcurl's progress callback of every operation; self is the FtpInterface.
    static int onProgress(void *self, curl_off_t, curl_off_t, curl_off_t total, curl_off_t sent)
    {
        const auto *ftp = static_cast<const FtpInterface *>(self);
        if (ftp->mCancelled)
            return 1;
        if (Transfer *transfer = ftp->mTransfer) {
            if (transfer->upload && transfer->standsStill(*ftp, std::chrono::steady_clock::now(), sent))
                return 1;
            transfer->report(total, sent);
        }
        return 0;
    }
};

FtpInterface::FtpInterface(Settings settings) : mSettings(std::move(settings))
{
    static std::once_flag globalInit;
    std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    mCurl = curl_easy_init();
    mMulti = curl_multi_init();
    if (!mCurl || !mMulti) {
        curl_easy_cleanup(easy(mCurl));
        curl_multi_cleanup(multi(mMulti));
        mCurl = mMulti = nullptr;
        fail(CURLE_FAILED_INIT, QStringLiteral("The FTP library could not start a session."));
        return;
    }
    CURL *h = easy(mCurl);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, mCurlError);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &FtpInterface::onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETFUNCTION, &FtpInterface::onCloseSocket);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETDATA, this);
    // Called at least once a second even while nothing moves: a cancelled operation ends within it.
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, mSettings.connectTimeoutSeconds);
    // The control connection idles while the instrument's shell runs long commands.
    curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, mSettings.stallSeconds);
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, mSettings.stallSeconds);
    curl_easy_setopt(h, CURLOPT_ACCEPTTIMEOUT_MS, mSettings.stallSeconds * 1000L);
    // Small embedded servers often lack EPSV: passive mode is plain PASV.
    curl_easy_setopt(h, CURLOPT_FTP_USE_EPSV, 0L);
    curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(h, CURLOPT_USERAGENT, mSettings.agent.constData());
    // Always direct: an empty proxy keeps libcurl from taking one from the environment.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
}

FtpInterface::~FtpInterface()
{
    close();
}

void FtpInterface::close()
{
    if (!mCurl)
        return;
    CURL *h = easy(mCurl);
    CURLM *m = multi(mMulti);
    mCurl = mMulti = nullptr;
    // Cleaning up sends QUIT and waits for the reply: a network call like any other.
    runBlockingCall([h, m] {
        curl_easy_cleanup(h);
        curl_multi_cleanup(m);
    });
}

bool FtpInterface::fail(int number, const QString &description)
{
    mErrorNumber = number;
    mErrorDescription = description;
    return false;
}

size_t FtpInterface::onHeader(char *data, size_t size, size_t count, void *self)
{
    auto *ftp = static_cast<FtpInterface *>(self);
    const size_t total = size * count;
    QByteArray line(data, static_cast<qsizetype>(total));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    ftp->mLastReply = line;
    ++ftp->mReplyLines;
    // The last final reply ("ddd text" or a bare "ddd", not the "ddd-" continuation) tells whether
    // the server refused; a preliminary one (1dd) that a transfer's data follows.
    const auto digit = [&line](qsizetype i) { return std::isdigit(static_cast<unsigned char>(line[i])) != 0; };
    if (line.size() >= 3 && digit(0) && digit(1) && digit(2) && (line.size() == 3 || line[3] == ' ')) {
        ftp->mNegativeReply = line[0] >= '4';
        ftp->mPreliminaryReplies += line[0] == '1' ? 1 : 0;
    }
    return total;
}

int FtpInterface::onCloseSocket(void *self, curl_socket_t socket)
{
    Transfer *upload = static_cast<FtpInterface *>(self)->mTransfer;
    if (!upload || !upload->upload || upload->heldSocket >= 0)
        return ::close(socket);
    // The server reads what the socket still holds after the end of the data, then replies.
    ::shutdown(socket, SHUT_WR);
    upload->heldSocket = socket;
    return 0;
}

bool FtpInterface::lastResponse(QByteArray &reply) const
{
    if (mLastReply.isEmpty())
        return false;
    reply = mLastReply;
    return true;
}

void FtpInterface::resetRequest()
{
    CURL *h = easy(mCurl);
    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(h, CURLOPT_QUOTE, nullptr);
    curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &Transfer::onRead);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Transfer::onWrite);
    mCurlError[0] = '\0';
}

QString FtpInterface::absolutePath(const QString &name) const
{
    return QDir::cleanPath(name.startsWith('/') ? name : mCwd + '/' + name);
}

QByteArray FtpInterface::urlFor(const QString &path, bool directory) const
{
    // "%2F" makes the path absolute: libcurl changes into its folder with one CWD.
    QByteArray url = mBase + "/%2F";
    const QStringList segments = path.split('/', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (i > 0)
            url += '/';
        url += QUrl::toPercentEncoding(segments[i]);
    }
    if (directory && !segments.isEmpty())
        url += '/';
    return url;
}

bool FtpInterface::checkName(const QString &name)
{
    // A line end or NUL in a name would end the command on the control connection early.
    for (const QChar c : name)
        if (c == '\r' || c == '\n' || c == QChar(0))
            return fail(kInvalidNameError, QStringLiteral("The name holds a line end: ") + name.simplified());
    return true;
}

bool FtpInterface::checkFileName(const QString &name)
{
    // Cleaning the path would make "..", "." or "folder/" name some other file.
    const QString last = name.section('/', -1);
    if (last.isEmpty() || last == QLatin1String(".") || last == QLatin1String(".."))
        return fail(kInvalidNameError, QStringLiteral("The name is not a file name: ") + name);
    return checkName(name);
}

bool FtpInterface::failLocal(int error, const QString &path)
{
    return fail(error, systemError(error) + QStringLiteral(": ") + path);
}

bool FtpInterface::perform(Transfer *transfer)
{
    if (mCancelled)
        return fail(CURLE_ABORTED_BY_CALLBACK, kCancelledText);
    CURL *h = easy(mCurl);
    mNegativeReply = false;
    mTransfer = transfer;
    CURLcode code = CURLE_OK;
    runBlockingCall([&] { code = performThrough(multi(mMulti), h); });
    // The transfer's data lives on its caller's stack: libcurl keeps no pointer to it.
    mTransfer = nullptr;
    curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, mSettings.stallSeconds);
    if (code == CURLE_OK) {
        mErrorNumber = 0;
        mErrorDescription.clear();
        return true;
    }
    if (mCancelled)
        return fail(code, kCancelledText);
    const QString description = QString::fromUtf8(mCurlError[0] ? mCurlError : curl_easy_strerror(code));
    return fail(mNegativeReply ? kExtendedError : static_cast<int>(code), description);
}

bool FtpInterface::connect(const QString &server, const QString &user, const QString &password, bool passive)
{
    static const QRegularExpression hostPattern(QStringLiteral("^[A-Za-z0-9.:_-]+$"));
    if (!hostPattern.match(server).hasMatch())
        return fail(kInvalidNameError, QStringLiteral("The server name is not a host name or address: ") + server);
    const QByteArray host = server.contains(':') ? '[' + server.toLatin1() + ']' : server.toLatin1();
    mBase = "ftp://" + host + ':' + QByteArray::number(mSettings.port);

    CURL *h = easy(mCurl);
    resetRequest();
    // libcurl keeps its own copies of the texts it is given.
    curl_easy_setopt(h, CURLOPT_USERNAME, user.toUtf8().constData());
    curl_easy_setopt(h, CURLOPT_PASSWORD, password.toUtf8().constData());
    curl_easy_setopt(h, CURLOPT_FTPPORT, passive ? nullptr : "-");
    const QByteArray url = mBase + '/';
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    if (!perform())
        return false;
    const char *entry = nullptr;
    curl_easy_getinfo(h, CURLINFO_FTP_ENTRY_PATH, &entry);
    mCwd = entry && entry[0] == '/' ? QDir::cleanPath(QString::fromUtf8(entry)) : QStringLiteral("/");
    return true;
}

bool FtpInterface::runTransfer(const QString &remoteName, Transfer &transfer, bool upload, qint64 uploadSize)
{
    if (!checkFileName(remoteName))
        return false;
    CURL *h = easy(mCurl);
    resetRequest();
    const QByteArray url = urlFor(absolutePath(remoteName), false);
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, transfer.ascii ? 1L : 0L);
    if (upload) {
        curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferSize);
        curl_easy_setopt(h, CURLOPT_READDATA, &transfer);
        // A text-type upload grows by its CRs on the wire, so only a binary one has a known size.
        if (!transfer.ascii)
            curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(uploadSize));
        curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                         static_cast<long>(mSettings.stallSeconds + uploadSize / mSettings.slowestReplyBytesPerSecond));
        transfer.upload = true;
        transfer.stallSeconds = mSettings.stallSeconds;
        transfer.beforeDataSeconds = mSettings.connectTimeoutSeconds + mSettings.stallSeconds;
        transfer.repliesSeen = mReplyLines;
        transfer.preliminaryBefore = mPreliminaryReplies;
    } else {
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    }
    const bool done = perform(&transfer);
    if (transfer.heldSocket >= 0)
        ::close(transfer.heldSocket);
    // A cancellation or a refusal from the server says more than the wait that followed it.
    if (transfer.stalled && !mCancelled && mErrorNumber != kExtendedError)
        return fail(CURLE_OPERATION_TIMEDOUT,
                    QStringLiteral("Nothing moved for %1 seconds: no reply, and no data taken by the server.")
                        .arg(mSettings.stallSeconds));
    return done;
}

bool FtpInterface::putFile(const QString &localPath, const QString &remoteName, bool ascii, const Progress &progress)
{
    FILE *source = std::fopen(QFile::encodeName(localPath).constData(), "rb");
    if (!source)
        return failLocal(errno, localPath);
    Transfer transfer;
    transfer.ascii = ascii;
    transfer.sourceFile = source;
    transfer.progress = progress;
    transfer.fileSize = QFile(localPath).size();
    const bool ok = runTransfer(remoteName, transfer, true, transfer.fileSize);
    std::fclose(source);
    if (transfer.readError != 0)
        return failLocal(transfer.readError, localPath);
    if (ok && progress) {
        curl_off_t sent = 0;
        curl_easy_getinfo(easy(mCurl), CURLINFO_SIZE_UPLOAD_T, &sent);
        progress(sent, sent);
    }
    return ok;
}

bool FtpInterface::getFile(const QString &remoteName, const QString &localPath, bool ascii, bool failIfExists)
{
    if (failIfExists && QFile::exists(localPath))
        return fail(kFileExistsError, QStringLiteral("The file exists: ") + localPath);
    // The local file is replaced only once the whole download has arrived.
    QSaveFile sink(localPath);
    errno = 0;
    // QSaveFile refuses an existing file it may not replace (a folder, a read-only file) before
    // any system call, which leaves no error number: that is a refusal of access.
    if (!sink.open(QIODevice::WriteOnly)) {
        const int error = errno;
        return failLocal(error != 0 ? error : EACCES, localPath);
    }
    Transfer transfer;
    transfer.ascii = ascii;
    transfer.sinkFile = &sink;
    if (!runTransfer(remoteName, transfer, false))
        return false;
    if (!sink.commit())
        return fail(EIO, sink.errorString());
    return true;
}

bool FtpInterface::readFile(const QString &remoteName, bool ascii, QByteArray &content)
{
    Transfer transfer;
    transfer.ascii = ascii;
    transfer.sinkMemory = &content;
    return runTransfer(remoteName, transfer, false);
}

bool FtpInterface::writeFile(const QString &remoteName, bool ascii, const QByteArray &content)
{
    Transfer transfer;
    transfer.ascii = ascii;
    transfer.sourceMemory = &content;
    return runTransfer(remoteName, transfer, true, content.size());
}

bool FtpInterface::setCurrentDirectory(const QString &path)
{
    if (!checkName(path))
        return false;
    const QString target = absolutePath(path);
    CURL *h = easy(mCurl);
    resetRequest();
    const QByteArray url = urlFor(target, true);
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    if (!perform())
        return false;
    mCwd = target;
    return true;
}

bool FtpInterface::command(const QList<QByteArray> &commands)
{
    curl_slist *list = nullptr;
    for (const QByteArray &line : commands)
        list = curl_slist_append(list, line.constData());
    CURL *h = easy(mCurl);
    resetRequest();
    const QByteArray url = mBase + '/';
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h, CURLOPT_QUOTE, list);
    const bool ok = perform();
    curl_easy_setopt(h, CURLOPT_QUOTE, nullptr);
    curl_slist_free_all(list);
    return ok;
}

bool FtpInterface::makeDirectory(const QString &name)
{
    return checkName(name) && command({"MKD " + absolutePath(name).toUtf8()});
}

bool FtpInterface::removeDirectory(const QString &name)
{
    return checkName(name) && command({"RMD " + absolutePath(name).toUtf8()});
}

bool FtpInterface::deleteFile(const QString &name)
{
    return checkFileName(name) && command({"DELE " + absolutePath(name).toUtf8()});
}

bool FtpInterface::rename(const QString &from, const QString &to)
{
    return checkFileName(from) && checkFileName(to) &&
           command({"RNFR " + absolutePath(from).toUtf8(), "RNTO " + absolutePath(to).toUtf8()});
}

bool FtpInterface::list(std::vector<DirEntry> &entries)
{
    QByteArray listing;
    Transfer transfer;
    transfer.sinkMemory = &listing;
    CURL *h = easy(mCurl);
    resetRequest();
    const QByteArray url = urlFor(mCwd, true);
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    if (!perform(&transfer))
        return false;
    entries.clear();
    for (const QByteArray &line : listing.split('\n')) {
        DirEntry entry;
        if (parseListLine(line.trimmed(), entry))
            entries.push_back(entry);
    }
    return true;
}

bool FtpInterface::parseListLine(const QByteArray &line, DirEntry &entry)
{
    // permissions, links, owner, group, size, month, day, time or year, then the name (which may
    // hold blanks).
    qsizetype at = 0;
    for (int field = 0; field < 8; ++field) {
        while (at < line.size() && line[at] == ' ')
            ++at;
        if (at == line.size())
            return false;
        while (at < line.size() && line[at] != ' ')
            ++at;
    }
    if (at == line.size() || line[at] != ' ')
        return false;
    QByteArray name = line.mid(at + 1);
    if (line.startsWith('l')) {
        const qsizetype arrow = name.indexOf(" -> ");
        if (arrow >= 0)
            name.truncate(arrow);
    }
    if (name.isEmpty() || name == "." || name == "..")
        return false;
    entry.name = QString::fromUtf8(name);
    entry.attributes = line.startsWith('d') ? kAttributeDirectory : kAttributeNormal;
    return true;
}
