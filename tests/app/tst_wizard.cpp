#include "ModeBitsApply.h"
#include "RunRules.h"
#include "ScriptedPeer.h"
#include "TimerCatch.h"
#include "WizardFixture.h"
#include "WizardTexts.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

using Button = Dialogs::Button;
using enum FailureRoutine;

namespace {

// The pages' own texts are the window's (WizardTexts); what it composes is written out in full.
using WizardTexts::kFolderPage;
using WizardTexts::kIpPage;
using WizardTexts::kRebootPage;
using WizardTexts::kStartPage;
// %1: the address.
const QString kLoginPage =
    "If an IPADDR is shown at the top of the screen\r\nthen press the Next button to continue\r\n\r\nIf no IPADDR is "
    "shown or IPADDR=0.0.0.0\r\nthen use a PC keyboard connected to the QD8400 for the following:\r\nAt the "
    "'QD8400-xxxx login:' prompt enter the following to login:\r\n    root\r\n\r\nOnce bash-2.04# is shown, enter: "
    "\r\n    ifconfig eth0 %1\r\nAt the 'bash-2.04#' prompt enter the following command:\r\n\r\n    ifconfig eth0\r\n"
    "Check that the correct IP address is shown\r\nOnce the IP address is displayed on the QD8400 press the Next "
    "button";
const QString kDataLoss = "QD8400 Firmware Upgrade | exclamation | Ok* Cancel\n" + WizardTexts::kDataLossWarning;
const QString kAbort = "Upgrade Abort | none | Ok*\n";
// The line groups that several failure messages share.
const QString kEth0 = "\r\nthat the QD8400 eth0 configuration has been set correctly and that the\r\nIP address "
                      "entered is the same as the one configured on the eth0 interface.";
const QString kNetworkCheck = "\r\nPlease check that the QD8400 is connected to the same network as this PC," + kEth0;
const QString kCableCheck = "\r\nPlease check the network cables between the QD8400 and the PC," + kEth0;
const QString kPersists = "\r\nIf this condition persists then please contact your Brimlux instrument support.\r\n"
                          "Stopping firmware upgrade operation.";
const QString kClosing = "\r\nThen retry the firmware upgrade." + kPersists;
// What ends a run, besides the failure routines themselves.
enum Trigger
{
    kTimeout = -1,
    kError = -2,
    kSilent = -3,
    kAsksAgain = -4,
    kComplete = -5
};

// The state; Start Upgrade, About, Previous, Next and Exit (Enabled, Disabled or Hidden); whether
// the folder and the address can be changed; then the instruction text.
QString page(const WizardFixture &f)
{
    QString text = QString::number(f.window->run().UpgradeState()) + ' ';
    for (const char *name : {"cmdStartUpgrade", "cmdAbout", "cmdPrevious", "cmdNext", "cmdExit"})
        text += !f.button(name)->isVisible() ? 'H' : f.button(name)->isEnabled() ? 'E' : 'D';
    for (QWidget *box : {f.control<QWidget>("cmdBrowseUpgradeFiles"), static_cast<QWidget *>(f.octet(0))})
        text += box->isEnabled() ? 'E' : 'D';
    return text + '\n' + f.instructions();
}

} // namespace

class TestWizard : public QObject
{
    Q_OBJECT

private slots:
    void walksThePagesForwardAndBack()
    {
        WizardFixture f;
        QCOMPARE(f.window->windowTitle(), QString("QD8400 Firmware Upgrade Utility v1.5.0"));
        QCOMPARE(f.control<QLineEdit>("txtUpgradeSourceDir")->text(), f.folder());
        QCOMPARE(page(f), "0 EEDDEDD\n" + kStartPage);
        f.dialogs.answers.enqueue(Button::Cancel);
        f.click("cmdStartUpgrade");
        QCOMPARE(describe(f.dialogs.shown.last()), kDataLoss);
        QCOMPARE(page(f), "0 EEDDEDD\n" + kStartPage);
        f.click("cmdStartUpgrade");
        QCOMPARE(page(f), "11 HHEEEED\n" + kFolderPage);
        f.click("cmdNext");
        QCOMPARE(page(f), "21 HHEEEDE\n" + kIpPage);
        QCOMPARE(QApplication::focusWidget(), f.octet(0));
        f.typeAddress({"192", "168", "0", "5"});
        f.click("cmdNext");
        QCOMPARE(page(f), "41 HHEEEDD\n" + kRebootPage);
        QVERIFY(f.control<QLabel>("imgTick")->isVisible());
        f.click("cmdNext");
        QCOMPARE(page(f), "71 HHEEEDD\n" + kLoginPage.arg("192.168.0.5"));
        f.click("cmdPrevious");
        QCOMPARE(page(f), "41 HHEEEDD\n" + kRebootPage);
        f.click("cmdPrevious");
        QCOMPARE(page(f), "21 HHEEEDE\n" + kIpPage);
        QCOMPARE(f.octet(0)->text(), QString("192"));
        QVERIFY(!f.control<QLabel>("imgTick")->isVisible());
        f.click("cmdPrevious");
        f.click("cmdPrevious");
        QCOMPARE(page(f), "0 EEDDEDD\n" + kStartPage);
        QVERIFY(f.trace().contains("\r\n>>cmdNext_Click\r\nmUpgradeState=(11)\r\nmUpgradeState=(21)\r\n<<cmdNext_"
                                   "Click\r\n"));
        for (const int busyOrUnknown : {999999, 8011}) { // Next only logs
            f.window->run().SetUpgradeState(busyOrUnknown);
            f.button("cmdNext")->setEnabled(true);
            f.click("cmdNext");
        }
        QVERIFY(f.trace().endsWith("\r\n>>cmdNext_Click\r\nmUpgradeState=(999999)\r\n===== End of state machine "
                                   "=====\r\n<<cmdNext_Click\r\nmUpgradeState=(8011)\r\n>>cmdNext_Click\r\n"
                                   "mUpgradeState=(8011)\r\n*** Unknown UPGRD_STAT_8011\r\n<<cmdNext_Click\r\n"));
    }

    // Keys go to whichever box has the focus, as an operator's would.
    void octetTyping_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<int>("focusedBox");
        const auto row = [](const char *name, const char *keys, const char *boxes, int focused) {
            QTest::newRow(name) << QString(keys) << QString(boxes) << focused;
        };
        row("three digits advance", "192", "192|||", 1);
        row("full stop advances", "10.", "10|||", 1);
        row("full stop in an empty box", ".", "|||", 0);
        row("leading zeros dropped", "007", "7|||", 1);
        row("too large kept", "999", "999|||", 1);
        row("letters become 0", "abc", "0|||", 1);
        row("exponent form", "1e5", "1|||", 1);
        row("short text stays", "12", "12|||", 0);
        row("wraps to the first box", "10.0.0.255", "10|0|0|255", 0);
        row("the focused box's text is overwritten", "10.0.0.2557", "7|0|0|255", 0);
    }

    void octetTyping()
    {
        QFETCH(QString, keys);
        QFETCH(QString, boxes);
        QFETCH(int, focusedBox);
        WizardFixture f;
        f.click("cmdStartUpgrade");
        f.click("cmdNext");
        for (const QChar key : keys)
            QTest::keyClick(QApplication::focusWidget(), key.toLatin1());
        QCOMPARE(
            QStringList({f.octet(0)->text(), f.octet(1)->text(), f.octet(2)->text(), f.octet(3)->text()}).join('|'),
            boxes);
        QCOMPARE(QApplication::focusWidget(), f.octet(focusedBox));
    }

    // The address is validated, then probed; a failed probe offers Abort, Retry and Ignore.
    void addressCheck_data()
    {
        QTest::addColumn<QString>("octets");
        QTest::addColumn<bool>("answers");
        QTest::addColumn<Button>("answer");
        QTest::addColumn<QString>("after"); // the page and the message shown, if any
        const QString invalid = "21 HHEEEDE | Upgrade Abort | none | Ok*\nThe specified IP address is not valid.\r\n"
                                "Please enter a valid IP address.";
        const QString noNetwork = " | QD8400Upgrade | none | Abort Retry* Ignore\nNo network connection found to "
                                  "IP Address\r\nPlease check IP Address or seek IT support";
        const auto row = [](const char *name, const char *octets, bool answers, Button answer, const QString &after) {
            QTest::newRow(name) << QString(octets) << answers << answer << after;
        };
        row("255 the last accepted", "10.0.0.255", true, Button::Ok, "41 HHEEEDD");
        row("kept as typed: leading zero, blank", "10.05. 5.1", true, Button::Ok, "41 HHEEEDD");
        row("zeros but the last", "0.0.0.5", true, Button::Ok, "41 HHEEEDD");
        row("letters count as 0", "10.x.0.1", true, Button::Ok, "41 HHEEEDD");
        row("all zero", "0.0.0.0", true, Button::Ok, invalid);
        row("256 the first refused", "192.168.0.256", true, Button::Ok, invalid);
        row("empty box", "192..0.1", true, Button::Ok, invalid);
        row("blank box", "192. .0.1", true, Button::Ok, invalid);
        row("negative", "192.-1.0.1", true, Button::Ok, invalid);
        row("no answer, retry", "10.1.2.3", false, Button::Retry, "21 HHEEEDE" + noNetwork);
        row("no answer, ignore", "10.1.2.3", false, Button::Ignore, "41 HHEEEDE" + noNetwork);
        row("no answer, abort", "10.1.2.3", false, Button::Abort, "21 HHEDEDE" + noNetwork);
    }

    void addressCheck()
    {
        QFETCH(QString, octets);
        QFETCH(bool, answers);
        QFETCH(Button, answer);
        QFETCH(QString, after);
        WizardFixture f;
        f.probeAnswers = answers;
        f.click("cmdStartUpgrade");
        f.click("cmdNext");
        f.dialogs.shown.clear(); // the data-loss warning
        f.dialogs.answers.enqueue(answer);
        f.typeAddress(octets.split('.'));
        f.click("cmdNext");
        const bool valid = !after.contains("is not valid");
        QCOMPARE(page(f).section('\n', 0, 0) + (f.dialogs.shown.isEmpty() ? "" : " | " + describe(f.dialogs.shown[0])),
                 after);
        QCOMPARE(f.probed.join(""), valid ? octets : "");
        QCOMPARE(f.control<QLabel>("imgTick")->isVisible(), answers && valid);
        QCOMPARE(f.endedWith, answer == Button::Abort ? std::optional<int>(1) : std::nullopt);
    }

    // The folder box starts at the program's folder (checked above); Browse picks another.
    void folderCheck_data()
    {
        QTest::addColumn<QStringList>("files"); // "name=": an empty file, "name/": a folder
        QTest::addColumn<QString>("flags");     // all required files, qd8prod.rfs, autoexec.bat
        const QStringList all = kRequiredUpgradeFiles + kOptionalUpgradeFiles;
        const QStringList noKernel = kRequiredUpgradeFiles.mid(1);
        QTest::newRow("required only") << kRequiredUpgradeFiles << "YNN";
        QTest::newRow("both optional") << all << "YYY";
        QTest::newRow("one missing") << all.mid(1) << "NNN";
        QTest::newRow("empty folder") << QStringList() << "NNN";
        QTest::newRow("a folder is no optional file") << kRequiredUpgradeFiles + QStringList{"qd8prod.rfs/"} << "YNN";
        QTest::newRow("a folder is no file") << noKernel + QStringList{"bzimage/"} << "NNN";
        QTest::newRow("cancelled: the program's folder stays") << QStringList{"cancel"} << "YNN";
    }

    void folderCheck()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, flags);
        WizardFixture f;
        f.click("cmdStartUpgrade");
        const QString chosen = files == QStringList{"cancel"} ? f.folder() : f.dir.filePath("chosen");
        writeFiles(chosen, files);
        if (chosen != f.folder())
            f.dialogs.folders << chosen;
        f.click("cmdBrowseUpgradeFiles");
        QCOMPARE(f.dialogs.folderRequests.last(), qMakePair(QString("Firmware Upgrade Files"), f.folder()));
        QCOMPARE(f.control<QLineEdit>("txtUpgradeSourceDir")->text(), chosen);
        const UpgradeFileFlags found = f.window->fileFlags();
        QString got;
        for (const bool flag : {found.mUpgradeFilesFound, found.mProdImageFound, found.mAutoexecFound})
            got += flag ? 'Y' : 'N';
        QCOMPARE(got, flags);
        QCOMPARE(f.dialogs.shown.size() == 2 ? describe(f.dialogs.shown.last()) : "",
                 found.mUpgradeFilesFound ? ""
                                          : "Missing Firmware Upgrade Files | none | Ok*\nThe specified directory "
                                            "does not contain all the necessary\r\nQD8400 firmware upgrade files.");
        QCOMPARE(f.button("cmdNext")->isEnabled(), found.mUpgradeFilesFound);
        f.button("cmdNext")->setEnabled(true); // Next does nothing without the files
        f.click("cmdNext");
        QCOMPARE(f.window->run().UpgradeState(), found.mUpgradeFilesFound ? 21 : 11);
    }

    // A damaged upgrade file: the folder is not complete, silently where the folder page shows it,
    // with its message after Browse; the log names the file.
    void damagedFolder_data() { addDamagedFileRows(); }

    void damagedFolder()
    {
        QFETCH(QString, entry);
        QFETCH(QString, name);
        QFETCH(QString, reason);
        const ModeBitsApply asAnOperator;
        WizardFixture f(kRequiredUpgradeFiles + kOptionalUpgradeFiles + QStringList{entry});
        f.click("cmdStartUpgrade");
        QCOMPARE(f.dialogs.shown.size(), 1); // the data-loss warning alone
        QVERIFY(!f.button("cmdNext")->isEnabled());
        f.dialogs.folders << f.folder();
        f.click("cmdBrowseUpgradeFiles");
        QCOMPARE(describe(f.dialogs.shown.last()),
                 "QD8400 Firmware Upgrade | exclamation | Ok*\nThe upgrade file " + name + " is damaged: " + reason +
                     ".\r\nPlease unzip the firmware upgrade again into an empty folder.");
        QVERIFY(!f.button("cmdNext")->isEnabled());
        QVERIFY(!f.window->fileFlags().mUpgradeFilesFound);
        QVERIFY(f.trace().contains(("\r\n* Upgrade file " + name + " damaged: " + reason + "\r\n").toLatin1()));
    }

    // Another process holds the instrument's lock: Next on the log-in page names it in a message,
    // the page stays and nothing is sent; once the lock is free, Next starts the run, its buttons
    // held.
    void lockedInstrument()
    {
        ScriptedPeer instrument;
        WizardFixture f(kRequiredUpgradeFiles, instrument.port());
        InstrumentLock holder;
        QCOMPARE(holder.take("127.0.0.001", instrument.port(),
                             {"qd8400-upgrade check", Procedure::Check, "/logs/logfile.txt"}),
                 QString());
        f.walkToLoginPage();
        f.click("cmdNext");
        const QString told = describe(f.dialogs.shown.value(0));
        const QRegularExpression holding(
            QStringLiteral(R"(^QD8400 Firmware Upgrade \| exclamation \| Ok\*\n127\.0\.0\.1 is being checked by )"
                           R"(process %1 \(qd8400-upgrade check, since \d\d:\d\d:\d\d; log /logs/logfile\.txt\)$)")
                .arg(QCoreApplication::applicationPid()));
        QVERIFY2(holding.match(told).hasMatch(), qPrintable(told));
        QCOMPARE(page(f), "71 HHEEEDD\n" + kLoginPage.arg("127.0.0.1"));
        QVERIFY(f.trace().contains("\r\n* " + told.section('\n', 1).toLatin1() + "\r\n"));
        QVERIFY(!f.trace().contains(">>OpenConnection"));
        holder.release();
        f.click("cmdNext");
        QVERIFY(instrument.waitForClient());
        QCOMPARE(page(f), "81 HHDDDDD\nConnecting to QD8400. This may take up to 30 seconds.");
    }

    // Every failure routine's message, reached from a step, from the Telnet time-out or error, or
    // from the log-in's time limit (the device silent, or asking for the log-in again and again), and
    // the success's. From the first moment of either, nothing moves any more: no event of the Telnet
    // control, no prompt arriving late, neither during the last wait nor while the box is open.
    void theEnd_data()
    {
        QTest::addColumn<int>("trigger"); // a FailureRoutine, or one of the events below
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("traced");
        const auto row = [](const char *name, int trigger, int state, const QString &message,
                            const QByteArray &traced = {}) {
            QTest::newRow(name) << trigger << state << message << traced;
        };
        const auto fail = [&](const char *name, FailureRoutine routine, const QString &text) {
            row(name, static_cast<int>(routine), 2011, kAbort + text);
        };
        fail(
            "not maintenance mode", AbortNotMaintenanceMode,
            "The QD8400 you are attempting to upgrade has not been rebooted into the maintenance mode. Please read the "
            "upgrade documentation for an explanation of how to put the QD8400 into maintenance mode. Stopping "
            "firmware upgrade operation.");
        fail("not instrument", AbortNotInstrument,
             "The remote device does not exhibit the behaviour of a QD8400, please check the entered IP address "
             "(10.0.0.9) is not configured to another device.");
        fail("not acknowledged", AbortCommandNotAcknowledged,
             "The QD8400 you are attempting to upgrade has failed to acknowledge a command in the expected way. Please "
             "report this to your Brimlux instrument support.");
        fail("command failed", AbortCommandFailed,
             "The QD8400 has failed to complete a command in the expected way.\r\nThen retry the firmware upgrade.\r\n"
             "Please check that the QD8400 is connected to the same network as this\r\nPC and that the QD8400 eth0 "
             "configuration has been set correctly" +
                 kPersists);
        fail("kernel backup", AbortKernelBackupFailed,
             "An error has occurred while backing up the kernal file.\r\nPlease retry the firmware upgrade." +
                 kPersists);
        fail("file system backup", AbortFileSystemBackupFailed,
             "An error has occurred while backing up the system file system file.\r\nPlease retry the firmware "
             "upgrade." +
                 kPersists);
        fail("kernel", AbortKernelTransferFailed,
             "Transfer of the kernel system file has failed." + kCableCheck + kClosing);
        fail("file system", AbortFileSystemTransferFailed,
             "Transfer of the system file system file has failed." + kCableCheck + kClosing);
        fail("system file", AbortSystemFileTransferFailed,
             "Transfer of the system file has failed." + kCableCheck + kClosing);
        fail("application", AbortApplicationTransferFailed,
             "Transfer of the application file has failed." + kCableCheck + kClosing);
        fail("utilities", AbortUtilitiesTransferFailed,
             "Transfer of the upgrade utilities file has failed." + kCableCheck + kClosing);
        row("firewall", static_cast<int>(AbortFirewallBlocked), 2011,
            "Upgrade Abort | critical | Ok*\nA connection to the QD8400 cannot be made.\r\nThe most likely cause of "
            "this is firewall software.\r\nPlease disable any firewall software and try again.");
        const QString timeout =
            "A timeout has occurred while communicating with the QD8400." + kNetworkCheck + kClosing;
        const QString connect = "The attempt to connect to the QD8400 has failed." + kNetworkCheck + kClosing;
        row("time-out", kTimeout, 2011, kAbort + timeout,
            "\r\n>>ucTelnetInterface_Timeout\r\nmUpgradeState=(2011)\r\n");
        row("error while connecting", kError, 81, kAbort + connect,
            "\r\n>>ucTelnetInterface_Error(111,Connection refused)\r\nmUpgradeState=(81)\r\n");
        row("error later", kError, 2011,
            kAbort + "An error has occurred with the network connection to the QD8400." + kNetworkCheck + kClosing,
            "\r\n>>ucTelnetInterface_Error(111,Connection refused)\r\nmUpgradeState=(2011)\r\n");
        const QByteArray tooLong =
            "\r\n>>tmrLogIn_Timer\r\nmUpgradeState=(81)\r\n* No shell prompt within 60 seconds of OpenConnection\r\n";
        row("log-in, silent device", kSilent, 81, kAbort + connect, tooLong);
        row("log-in asked again and again", kAsksAgain, 81, kAbort + connect, tooLong);
        row("success", kComplete, 10011,
            "QD8400 Firmware Upgrade | information | Ok*\nUpgrade completed successfully\r\nPress OK to end program",
            "\r\nmUpgradeState=(0)\r\n");
    }

    void theEnd()
    {
        QFETCH(int, trigger);
        QFETCH(int, state);
        QFETCH(QString, message);
        QFETCH(QByteArray, traced);
        ScriptedPeer instrument;
        WizardFixture f(kRequiredUpgradeFiles, instrument.port());
        // The log-in's time limit, caught as it comes due and from then on ticked by the test alone.
        TimerCatch logIn(RunRules::scaledMs(RunRules::kLogInLimitMs, f.environment.settings.timeScale));
        f.walkToLoginPage();
        f.click("cmdNext"); // the run in its log-in stage (state 81), connected to the instrument
        QVERIFY(instrument.waitForClient());
        f.window->run().SetUpgradeState(state);
        ucTelnet &telnet = f.window->run().telnet();
        int asked = 0;
        QVERIFY(QTest::qWaitFor([&] {
            if (trigger == kAsksAgain && instrument.received().count("\r\n") == asked && ++asked)
                instrument.send("QD8400-0042 login: ");
            return logIn.timer != nullptr;
        }));
        QByteArray atTheEnd; // the log as the message is shown, or as the last wait begins
        const auto lateEvents = [&] {
            atTheEnd = f.trace();
            emit telnet.Timeout();
            emit telnet.Error(104, "Connection reset by peer");
            instrument.send("\r\nbash-2.04# ");
            logIn.tick(); // a time limit still running would end it now
        };
        f.dialogs.onShow = [&](const Dialogs::Message &) {
            if (f.dialogs.shown.size() == 1)
                lateEvents();
        };
        if (trigger >= 0)
            f.window->run().fail(static_cast<FailureRoutine>(trigger), "10.0.0.9");
        else if (trigger == kTimeout)
            emit telnet.Timeout();
        else if (trigger == kError)
            emit telnet.Error(111, "Connection refused");
        else if (trigger == kComplete) {
            QTimer::singleShot(0, lateEvents); // during its last wait
            f.window->run().CompleteUpgrade();
        } else
            logIn.tick();
        QVERIFY(f.endedWith.has_value());
        QVERIFY(trigger != kAsksAgain || asked > 2);
        QCOMPARE(f.dialogs.shown.size(), 1);
        QCOMPARE(describe(f.dialogs.shown[0]), message);
        QVERIFY(f.trace().contains(traced));
        QCOMPARE(f.trace().mid(atTheEnd.size()), QByteArray());
        QVERIFY(instrument.waitForClose());
        QCOMPARE(instrument.received().replace("root\r\n", ""), QByteArray()); // the log-in's answers only
        QCOMPARE(f.endedWith, std::optional<int>(trigger == kComplete ? 0 : 1));
    }

    // A click made while the window holds input (during the probe; the platform keeps it back until
    // then) is dropped, and so is the second click of a double click: neither may skip a page.
    void heldAndDoubleClicksAreDropped()
    {
        WizardFixture f;
        f.click("cmdStartUpgrade");
        f.click("cmdNext");
        QPushButton *next = f.button("cmdNext");
        const QPointF at = next->rect().center();
        f.duringProbe = [&] {
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                QCoreApplication::postEvent(next, new QMouseEvent(type, at, next->mapToGlobal(at), Qt::LeftButton,
                                                                  Qt::MouseButtons(), Qt::NoModifier));
        };
        f.typeAddress({"10", "1", "2", "3"});
        f.click("cmdNext");
        QVERIFY(f.deliverPosted());
        QCOMPARE(f.window->run().UpgradeState(), 41);
        QTest::mouseDClick(f.window->windowHandle(), Qt::LeftButton, {}, next->mapTo(f.window.get(), at.toPoint()));
        QVERIFY(f.deliverPosted());
        QCOMPARE(f.window->run().UpgradeState(), 71);
    }

    // Before the run, closing the window is Exit (during the run it asks: tst_upgrade).
    void closingTheWindow_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("Exit") << false;
        QTest::newRow("close on a page") << true;
    }

    void closingTheWindow()
    {
        QFETCH(bool, close);
        WizardFixture f;
        close ? static_cast<void>(f.window->close()) : f.click("cmdExit");
        QVERIFY(f.trace().endsWith("\r\n>>cmdExit_Click\r\n>>Disconnect()\r\n<<Disconnect\r\n"));
        QVERIFY(f.window->isVisible());
        QCOMPARE(f.endedWith, std::optional<int>(0));
    }

    void aboutWindow()
    {
        WizardFixture f;
        QString seen;
        QTimer::singleShot(50, [&] {
            QWidget *about = QApplication::activeModalWidget();
            seen = about->windowTitle() + '|' + about->findChild<QLabel *>("lblVersion")->text();
            // System Info with no such program installed says so and leaves the window open.
            QTest::mouseClick(about->findChild<QPushButton *>("cmdSysInfo"), Qt::LeftButton);
            QTest::keyClick(about, Qt::Key_Escape);
        });
        f.click("cmdAbout");
        QCOMPARE(seen, QString("About QD8400Upgrade|Version 1.5.0"));
        QCOMPARE(describe(f.dialogs.shown.last()), "QD8400Upgrade | none | Ok*\nSystem Information Is Unavailable At "
                                                   "This Time");
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
