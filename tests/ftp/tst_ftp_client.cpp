#include "MemoryLog.h"
#include "ServerProcess.h"
#include "cFtp.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <future>
#include <optional>

namespace {

const QString kPassword = "k8r2Mq5";
using Call = std::function<bool(cFtp &ftp, const QString &folder)>;

// Whether text is pattern, where each "%" stands for any run of characters.
bool matches(const QString &text, const QString &pattern)
{
    const QString expression = '^' + QRegularExpression::escape(pattern).replace("\\%", ".*") + '$';
    return QRegularExpression(expression, QRegularExpression::DotMatchesEverythingOption).match(text).hasMatch();
}

// Whether this process's TCP connection to the port sends keep-alive probes.
bool keepAliveTo(int port)
{
    for (int fd = 0, on = 0; fd < 1024; ++fd) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer, size = sizeof on;
        if (getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &length) == 0 && peer.sin_family == AF_INET &&
            ntohs(peer.sin_port) == port)
            return getsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, &size) == 0 && on != 0;
    }
    return false;
}

// An FTP server scripted on its own thread: "200 OK" to log-in and set-up commands, the given replies
// to STOR and QUIT ("" = none); the passive data connection is never read.
class ScriptedFtpPeer
{
public:
    ScriptedFtpPeer(const QByteArray &storReply, const QByteArray &quitReply)
    {
        std::promise<int> listening;
        mThread.reset(QThread::create([&, storReply, quitReply] {
            QTcpServer server, data;
            server.listen(QHostAddress::LocalHost, 0);
            data.listen(QHostAddress::LocalHost, 0);
            listening.set_value(server.serverPort());
            std::unique_ptr<QTcpSocket> control(server.waitForNewConnection(10000) ? server.nextPendingConnection()
                                                                                   : nullptr);
            const QByteArray port =
                QByteArray::number(data.serverPort() >> 8) + ',' + QByteArray::number(data.serverPort() & 255);
            const QMap<QByteArray, QByteArray> replies{
                {"PASV", "227 (127,0,0,1," + port + ')'}, {"STOR", storReply}, {"QUIT", quitReply}};
            QByteArray reply = "220 Ready";
            while (control && !mStop && control->state() == QTcpSocket::ConnectedState) {
                if (!reply.isEmpty() && control->write(reply + "\r\n"))
                    control->waitForBytesWritten(1000);
                const bool command = control->canReadLine() || control->waitForReadyRead(50);
                reply = command ? replies.value(control->readLine().split(' ').value(0).trimmed(), "200 OK") : "";
            }
        }));
        mThread->start();
        mPort = listening.get_future().get();
    }
    ~ScriptedFtpPeer()
    {
        mStop = true;
        mThread->wait();
    }
    int port() const { return mPort; }

private:
    std::unique_ptr<QThread> mThread;
    std::atomic<bool> mStop = false;
    int mPort = 0;
};

// A client set up as the upgrade sets it up: the instrument's address, root's log-in, binary.
struct Client
{
    MemoryLog log;
    cFtp ftp{log};

    explicit Client(int port)
    {
        ftp.sServerName = "127.0.0.1";
        ftp.sUserID = "root";
        ftp.sPassword = kPassword;
        ftp.lTransferType = cFtp::kTransferBinary;
        ftp.setPort(port);
        ftp.setTimeouts(5, 1);
    }

    // Calls made while the client waits for its FTP layer: how many failed.
    int reenter()
    {
        return !ftp.bPutFile(QD_SOURCE_DIR "/README.md", "f") + !ftp.SetCurrentDirectory("/") + !ftp.Disconnect();
    }
};

} // namespace

Q_DECLARE_METATYPE(Call)

class TestFtpClient : public QObject
{
    Q_OBJECT

    QTemporaryDir mLocal;

    QString local(const QString &name, const QByteArray &bytes) const
    {
        return FtpServerProcess::write(mLocal.filePath(name), bytes);
    }

private slots:
    // Each failing call: its record and the whole log ("%" stands for any text, <dir> for the local
    // folder). The server is none, the FTP server, or a scripted one that answers STOR so.
    void failures_data()
    {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("log");
        const auto row = [](const char *tag, const QByteArray &server, const Call &call, const QString &record,
                            const QString &log) { QTest::newRow(tag) << server << call << record << log; };
        const auto put = [](const QString &name, int type = 2, const QString &source = "/source.bin") {
            return Call([=](cFtp &ftp, const QString &folder) {
                ftp.lTransferType = type;
                return ftp.bPutFile(folder + source, name);
            });
        };
        const auto connectWith = [](const std::function<void(cFtp &)> &set) {
            return Call([=](cFtp &ftp, const QString &) {
                set(ftp);
                return ftp.Connect();
            });
        };
        const QString connect = "\r\n[Failed to InternetConnect(%,127.0.0.1,INTERNET_INVALID_PORT_NUMBER,root,********,"
                                "INTERNET_SERVICE_FTP,134217728, 0)]";
        row("unreachable", "", put("f"), "-1: Could not connect to server.", connect + "\r\n[Error=7:%]");
        row("wrong password", "ftp", connectWith([](cFtp &ftp) { ftp.sPassword = "wrong-secret"; }),
            "530: Authentication failed.", connect + "\r\n[Error=12003:Authentication failed.]");
        // The class of the last reply decides whose number the record holds: the reply's for 4xx (the
        // refused archive's ending in tst_upgrade) and 5xx, the FTP layer's (here a time-out) for 1xx,
        // 3xx and 2xx (the 227 before a reply without a number).
        row("5xx", "553 Could not create file.", put("f"), "553: Could not create file.",
            "\r\n[Error=12003:Could not create file.]");
        row("3xx", "350 Go on", put("f"), "28: %", "\r\n[Error=28:%]");
        row("1xx", "150 Go", put("f"), "28: %", "\r\n[Error=28:%]");
        row("bare 550", "550", put("f"), "550: ", "\r\n[Error=12003:]");
        row("read error", "ftp", put("f", 1, "/"), "21: Is a directory: <dir>/",
            "\r\n[Error=21:Is a directory: <dir>/]");
        for (const char *name : {"..", ".", "new/..", "new/", ""})
            row(name, "ftp", put(name), QString("123: The name is not a file name: ") + name,
                QString("\r\n[Error=123:The name is not a file name: ") + name + ']');
    }

    void failures()
    {
        QFETCH(QByteArray, server);
        QFETCH(Call, call);
        QFETCH(QString, record);
        QFETCH(QString, log);
        std::optional<FtpServerProcess> ftp;
        std::optional<ScriptedFtpPeer> peer;
        if (server == "ftp")
            ftp.emplace();
        else if (!server.isEmpty())
            peer.emplace(server, "221 Bye");
        QTcpServer closed; // once closed, a port that nobody listens on
        closed.listen(QHostAddress::LocalHost, 0);
        Client client(ftp ? ftp->port() : peer ? peer->port() : closed.serverPort());
        closed.close();
        local("source.bin", "data");
        QVERIFY(!call(client.ftp, mLocal.path()));
        QVERIFY2(matches(client.ftp.Error().Text(), record.replace("<dir>", mLocal.path())), qPrintable(record));
        const QString logged = QString::fromUtf8(client.log.joined());
        QVERIFY2(matches(logged, log.replace("<dir>", mLocal.path())), qPrintable(logged));
        QVERIFY(!logged.contains("secret") && !logged.contains(kPassword));
    }

    // A progress slot during an upload that makes no progress; a timer while Disconnect waits for the
    // reply to QUIT.
    void callsWhileWaitingAreRefused_data()
    {
        QTest::addColumn<bool>("upload");
        QTest::newRow("progress during upload") << true;
        QTest::newRow("timer during disconnect") << false;
    }

    void callsWhileWaitingAreRefused()
    {
        QFETCH(bool, upload);
        ScriptedFtpPeer peer("150 Go", upload ? "221 Bye" : "");
        Client client(peer.port());
        QVERIFY(client.ftp.Connect());
        QVERIFY(keepAliveTo(peer.port()));
        int refused = 0;
        const auto once = [&] { refused = refused ? refused : client.reenter(); };
        QTimer timer;
        connect(&timer, &QTimer::timeout, once);
        connect(&client.ftp, &cFtp::PutProgress, once);
        if (!upload)
            timer.start(10);
        QCOMPARE(upload ? client.ftp.bPutFile(local("big", QByteArray(32 << 20, 'x')), "f") : client.ftp.Disconnect(),
                 !upload);
        QCOMPARE(refused, 3);
        QCOMPARE(client.log.entries.count("\r\n[Error=12110:The FTP session is busy with another operation.]"), 3);
        QCOMPARE(client.ftp.Error().Number, upload ? 28 : 0);
    }

    // Text type, as the start-up file goes: one CR LF a line on the wire, which the server stores
    // with its own LF, whether the local file ends its lines in LF or CR LF, also where a CR LF
    // straddles two reads of 16 KiB; a lone CR stays.
    void textUpload()
    {
        FtpServerProcess server;
        Client client(server.port());
        client.ftp.lTransferType = cFtp::kTransferAscii;
        const QByteArray padding(16370, 'x');
        QVERIFY(
            client.ftp.bPutFile(local("autoexec.bat", "a\nb\r\nc\r\r\n\nd\re" + padding + "\r\nz"), "autoexec.bat"));
        QCOMPARE(server.contents("autoexec.bat"), "a\nb\nc\r\n\nd\re" + padding + "\nz");
        QVERIFY(client.log.entries.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFtpClient)
#include "tst_ftp_client.moc"
