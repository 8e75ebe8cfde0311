#include "ServerProcess.h"
#include "MemoryLog.h"
#include "cFtp.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kUser = "root";
const QString kPassword = "k8r2Mq5";

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(42);
    for (char &byte : bytes)
        byte = static_cast<char>(generator.bounded(256));
    return bytes;
}

QString writeLocal(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

QByteArray readLocal(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A client set up as the upgrade sets it up: the instrument's address, root's log-in, binary.
struct Client
{
    MemoryLog log;
    cFtp ftp{log};

    explicit Client(int port, const QString &password = kPassword)
    {
        ftp.sServerName = "127.0.0.1";
        ftp.sUserID = kUser;
        ftp.sPassword = password;
        ftp.lTransferType = cFtp::kTransferBinary;
        ftp.setPort(port);
        ftp.setTimeouts(5, 3);
    }
};

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

class TestFtpClient : public QObject
{
    Q_OBJECT

    QTemporaryDir mLocal;

private slots:
    void uploadsShareOneLogIn()
    {
        FtpServerProcess server;
        QVERIFY(server.port());
        Client client(server.port());
        QSignalSpy progress(&client.ftp, &cFtp::PutProgress);
        const QByteArray kernel = randomBytes(700 * 1024);
        const QByteArray image = randomBytes(3 * 1024 * 1024 + 17);
        QVERIFY(client.ftp.Connect());
        QVERIFY(client.ftp.Connect());
        QVERIFY(client.ftp.bPutFile(writeLocal(mLocal, "bzimage", kernel), "bzimage"));
        QVERIFY(client.ftp.bPutFile(writeLocal(mLocal, "qd8400.rfs", image), "qd8400.rfs"));
        QVERIFY(client.ftp.bPutFile(writeLocal(mLocal, "empty", ""), "empty"));
        QCOMPARE(server.contents("bzimage"), kernel);
        QCOMPARE(server.contents("qd8400.rfs"), image);
        QCOMPARE(server.contents("empty"), QByteArray());
        QCOMPARE(server.announced("LOGIN "), 1);
        QCOMPARE(client.ftp.Error().Number, 0);
        QVERIFY(!progress.isEmpty());
        const QList<QVariant> last = progress.last();
        QCOMPARE(last.at(0).toLongLong(), 0);
        bool sawImageTotal = false;
        for (const QList<QVariant> &report : progress)
            sawImageTotal |= report.at(0).toLongLong() == image.size() && report.at(1).toLongLong() == image.size();
        QVERIFY(sawImageTotal);
        QVERIFY(client.log.entries.isEmpty());
    }

    void asciiTransfersUseCrLfOnTheWire()
    {
        FtpServerProcess server;
        Client client(server.port());
        client.ftp.lTransferType = cFtp::kTransferAscii;
        QVERIFY(client.ftp.bPutFile(writeLocal(mLocal, "autoexec.bat", "a\nb\r\nc\n\nd"), "autoexec.bat"));
        QCOMPARE(server.contents("autoexec.bat"), QByteArray("a\r\nb\r\nc\r\n\r\nd"));

        // The server sends its LF text file with CR LF; it arrives with LF again.
        server.put("text.txt", "one\ntwo\n");
        const QString local = mLocal.filePath("text-down.txt");
        QVERIFY(client.ftp.bGetFile("text.txt", local));
        QCOMPARE(readLocal(local), QByteArray("one\ntwo\n"));
    }

    void namesWithBlanksAndAccents()
    {
        FtpServerProcess server;
        Client client(server.port());
        const QString name = QString::fromUtf8("Messdaten M\u00e4rz 2026.bin");
        QVERIFY(client.ftp.bPutFile(writeLocal(mLocal, "local.bin", "data"), name));
        QCOMPARE(server.contents(name), QByteArray("data"));
        QVERIFY(!client.ftp.bPutFile(writeLocal(mLocal, "local.bin", "data"), "evil\r\nDELE x"));
        QCOMPARE(client.ftp.Error().Number, FtpInterface::kInvalidNameError);
    }

    void refusedLogInNeverLogsThePassword()
    {
        FtpServerProcess server;
        Client client(server.port(), "wrong-secret");
        QVERIFY(!client.ftp.Connect());
        QCOMPARE(client.ftp.Error().Number, 530);
        QVERIFY(!client.ftp.Error().Description.isEmpty());
        const QByteArray log = client.log.joined();
        QVERIFY(log.startsWith("\r\n[Failed to InternetConnect("));
        QVERIFY(
            log.contains(",127.0.0.1,INTERNET_INVALID_PORT_NUMBER,root,********,INTERNET_SERVICE_FTP,134217728, 0)]"));
        QVERIFY(log.contains("\r\n[Error=12003:" + client.ftp.Error().Description.toUtf8() + "]"));
        QVERIFY(!log.contains("wrong-secret"));
        QCOMPARE(server.announced("LOGIN-FAILED "), 1);
    }

    void refusedUploadKeepsTheServersReply_data()
    {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("553") << QStringList{"--ftp-refuse-upload", "qd8400.rfs:553:Could not create file."}
                             << "qd8400.rfs" << 553 << "Could not create file.";
        QTest::newRow("550 refused") << QStringList{"--ftp-refuse-upload", "bzimage:550:Permission denied."}
                                     << "bzimage" << 550 << "Permission denied.";
        QTest::newRow("550 no such folder")
            << QStringList{} << "/mnt/nowhere/bzimage" << 550 << "No such file or directory.";
    }

    void refusedUploadKeepsTheServersReply()
    {
        QFETCH(QStringList, faults);
        QFETCH(QString, target);
        QFETCH(int, code);
        QFETCH(QString, reason);
        FtpServerProcess server(faults);
        Client client(server.port());
        QVERIFY(!client.ftp.bPutFile(writeLocal(mLocal, "file", "bytes"), target));
        QCOMPARE(client.ftp.Error().Number, code);
        QCOMPARE(client.ftp.Error().Description, reason);
        QCOMPARE(client.log.entries, QList<QByteArray>{"\r\n[Error=12003:" + reason.toUtf8() + "]"});
    }

    void connectWithoutServerName()
    {
        MemoryLog log;
        cFtp ftp(log);
        QVERIFY(!ftp.Connect());
        QCOMPARE(ftp.Error().Text(), QString("-1: Server name required."));
        // No session was left open: the next operation that needs one says so.
        QVERIFY(!ftp.SetCurrentDirectory("/"));
        QCOMPARE(ftp.Error().Text(), QString("-1: No available connection."));
    }

    void operationsThatNeedAConnection()
    {
        Client client(closedPort());
        cFtp &ftp = client.ftp;
        QVERIFY(!ftp.SetCurrentDirectory("/mnt/nand3"));
        QCOMPARE(ftp.Error().Text(), QString("-1: No available connection."));
        QCOMPARE(ftp.sGetCurrentDir(), QString("-1: No available connection."));
        QVERIFY(!ftp.bMakeDir("d"));
        QVERIFY(!ftp.bRemoveDir("d"));
        QVERIFY(!ftp.bDeleteFile("f"));
        QCOMPARE(ftp.Error().Number, -1);
        QCOMPARE(ftp.sReadFile(), QString());
        QCOMPARE(ftp.Error().Text(), QString("-1: No File Opened."));
        QVERIFY(!ftp.bWriteFile("x"));
        QCOMPARE(ftp.Error().Text(), QString("-1: No File Opened."));
        QVERIFY(client.log.entries.isEmpty());
    }

    void unreachableServer()
    {
        Client client(closedPort());
        QVERIFY(!client.ftp.bPutFile(writeLocal(mLocal, "file", "x"), "file"));
        QCOMPARE(client.ftp.Error().Text(), QString("-1: Could not connect to server."));
        QCOMPARE(client.log.entries.size(), 2);
        QVERIFY(client.log.entries[0].startsWith("\r\n[Failed to InternetConnect("));
        QVERIFY(client.log.entries[1].startsWith("\r\n[Error=7:"));
    }

    void stalledUploadEndsWithinTheLimit()
    {
        FtpServerProcess server({"--ftp-stall-upload", "qd8nand3.tar:65536"});
        Client client(server.port());
        client.ftp.setTimeouts(5, 2);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!client.ftp.bPutFile(writeLocal(mLocal, "big", randomBytes(32 * 1024 * 1024)), "qd8nand3.tar"));
        QVERIFY2(clock.elapsed() < 15000, "the stalled upload was not ended in time");
        QCOMPARE(client.ftp.Error().Number, 28);
        QVERIFY(client.log.entries.last().startsWith("\r\n[Error=28:"));
    }

    void brokenUploadFails()
    {
        FtpServerProcess server({"--ftp-break-upload", "qd8nand.tar"});
        Client client(server.port());
        QVERIFY(!client.ftp.bPutFile(writeLocal(mLocal, "big", randomBytes(8 * 1024 * 1024)), "qd8nand.tar"));
        QVERIFY(client.ftp.Error().Number != 0);
        // The next transfer on the same object works again.
        QVERIFY(client.ftp.bPutFile(writeLocal(mLocal, "small", "ok"), "small"));
        QCOMPARE(server.contents("small"), QByteArray("ok"));
    }

    void listings()
    {
        FtpServerProcess server;
        QDir(server.path("")).mkpath("mnt/nand3/sub");
        QDir(server.path("")).mkpath("empty");
        server.put("mnt/nand3/a", "1");
        server.put("mnt/nand3/b file", "22");
        Client client(server.port());
        cFtp &ftp = client.ftp;
        QVERIFY(ftp.Connect());

        QCOMPARE(ftp.sListDir("/empty", 0), QString());
        QCOMPARE(ftp.Error().Text(), QString("0: Empty Directory"));
        QCOMPARE(ftp.sGetCurrentDir(), QString("/empty"));

        QVERIFY(ftp.SetCurrentDirectory("/mnt/nand3"));
        QStringList names = ftp.sListDir("", 0).split(';');
        names.sort();
        QCOMPARE(names, (QStringList{"a", "b file", "sub"}));
        QCOMPARE(ftp.sListDir("", cFtp::kAttributeDirectory), QString("sub"));
        QCOMPARE(ftp.Error().Number, 0);
        QVERIFY(ftp.bGetDir("", cFtp::kAttributeNormal));
        QCOMPARE(ftp.lGetDirCount(), 2);
        QCOMPARE(ftp.sGetDirName(0), QString());
        QCOMPARE(ftp.Error().Text(), QString("-1: Index out of range."));
        QCOMPARE(ftp.sGetDirName(3), QString());
        QVERIFY(!ftp.sGetDirName(2).isEmpty());

        QCOMPARE(ftp.sListDir("sub", cFtp::kAttributeDirectory), QString());
        QCOMPARE(ftp.Error().Text(), QString("0: Empty Directory"));
        QVERIFY(ftp.SetCurrentDirectory(".."));
        QCOMPARE(ftp.sListDir("", cFtp::kAttributeDirectory), QString("sub"));
        QCOMPARE(ftp.sListDir("/mnt", cFtp::kAttributeNormal), QString());
        QCOMPARE(ftp.Error().Text(), QString("0: No Matching Entries"));

        QVERIFY(!ftp.SetCurrentDirectory("/missing"));
        QCOMPARE(ftp.Error().Number, 550);
        QCOMPARE(ftp.sGetCurrentDir(), QString("/mnt"));
    }

    void getFileRespectsOverWrite()
    {
        FtpServerProcess server;
        server.put("remote.bin", "new");
        Client client(server.port());
        const QString local = writeLocal(mLocal, "existing.bin", "old");
        client.ftp.setOverWrite(false);
        QVERIFY(!client.ftp.bOverWrite());
        QVERIFY(!client.ftp.bGetFile("remote.bin", local));
        QCOMPARE(client.ftp.Error().Number, FtpInterface::kFileExistsError);
        QCOMPARE(readLocal(local), QByteArray("old"));
        client.ftp.setOverWrite(true);
        QVERIFY(client.ftp.bGetFile("remote.bin", local));
        QCOMPARE(readLocal(local), QByteArray("new"));
        QVERIFY(!client.ftp.bGetFile("absent.bin", local));
        QCOMPARE(client.ftp.Error().Number, 550);
        QCOMPARE(readLocal(local), QByteArray("new"));
    }

    void directoryAndFileManagement()
    {
        FtpServerProcess server;
        Client client(server.port());
        cFtp &ftp = client.ftp;
        QVERIFY(ftp.Connect());
        QVERIFY(ftp.bMakeDir("upgrnew"));
        QVERIFY(ftp.SetCurrentDirectory("upgrnew"));
        QCOMPARE(ftp.lFileAccess(), cFtp::kFileAccessWrite);
        QVERIFY(ftp.bOpenFile("note.txt"));
        QVERIFY(ftp.bWriteFile("line 1\r\n"));
        QVERIFY(ftp.bWriteFile("line 2"));
        QVERIFY(ftp.bCloseFile());
        QCOMPARE(server.contents("upgrnew/note.txt"), QByteArray("line 1\r\nline 2"));
        QVERIFY(ftp.bRename("note.txt", "renamed.txt"));
        ftp.setFileAccess(cFtp::kFileAccessRead);
        QCOMPARE(ftp.lFileAccess(), cFtp::kFileAccessRead);
        QVERIFY(ftp.bOpenFile("renamed.txt"));
        QCOMPARE(ftp.sReadFile(), QString("line 1\r\nline 2"));
        QCOMPARE(ftp.sReadFile(), QString());
        QVERIFY(ftp.bCloseFile());
        QVERIFY(!ftp.bRemoveDir("/upgrnew"));
        QCOMPARE(ftp.Error().Number / 100, 5);
        QVERIFY(ftp.bDeleteFile("renamed.txt"));
        QVERIFY(ftp.bRemoveDir("/upgrnew"));
        QVERIFY(!QFile::exists(server.path("upgrnew")));
        QVERIFY(ftp.Disconnect());
        QCOMPARE(ftp.sGetCurrentDir(), QString("-1: No available connection."));
    }

    void oneShotForms()
    {
        FtpServerProcess server;
        MemoryLog log;
        cFtp ftp(log);
        ftp.setPort(server.port());
        const QString local = writeLocal(mLocal, "one.bin", "once");
        QVERIFY(ftp.bQPutFile("127.0.0.1", kUser, kPassword, cFtp::kTransferBinary, local, "one.bin"));
        QCOMPARE(server.contents("one.bin"), QByteArray("once"));
        QVERIFY(ftp.bQRename("127.0.0.1", kUser, kPassword, "one.bin", "two.bin"));
        QVERIFY(ftp.bQMakeDir("127.0.0.1", kUser, kPassword, "dir"));
        QVERIFY(ftp.bQRemoveDir("127.0.0.1", kUser, kPassword, "dir"));
        const QString back = mLocal.filePath("two-back.bin");
        QVERIFY(ftp.bQGetFile("127.0.0.1", kUser, kPassword, cFtp::kTransferBinary, true, "two.bin", back));
        QCOMPARE(readLocal(back), QByteArray("once"));
        QVERIFY(ftp.bQDeleteFile("127.0.0.1", kUser, kPassword, "two.bin"));
        QVERIFY(!ftp.bQDeleteFile("127.0.0.1", kUser, kPassword, "two.bin"));
        QCOMPARE(ftp.Error().Number, FtpInterface::kExtendedError);
        // Each one-shot form logs in once and leaves no connection behind.
        QCOMPARE(server.announced("LOGIN "), 7);
        QCOMPARE(ftp.sGetCurrentDir(), QString("-1: No available connection."));
        QVERIFY(!ftp.bQPutFile("127.0.0.1", kUser, "bad", cFtp::kTransferBinary, local, "x"));
        QCOMPARE(ftp.Error().Text(), QString("-1: Could not connect to server."));
    }

    void convertsLineEnds() { QCOMPARE(cFtp::sConvertCrLf("a\r\nb\nc\r\n"), QString("a<br>b\nc<br>")); }
};

QTEST_GUILESS_MAIN(TestFtpClient)
#include "tst_ftp_client.moc"
