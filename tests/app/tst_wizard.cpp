#include "ScriptedPeer.h"
#include "ServerProcess.h"
#include "WizardFixture.h"
#include "WizardTexts.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

using Button = Dialogs::Button;

class TestWizard : public QObject
{
    Q_OBJECT

    // The availability of the controls that the page table lists, as a compact text.
    static QString availability(const WizardFixture &f)
    {
        QString text;
        for (const char *name : {"cmdStartUpgrade", "cmdAbout", "cmdPrevious", "cmdNext", "cmdExit"})
            text += f.usable(name) ? 'E' : (f.button(name)->isVisible() ? 'D' : 'H');
        text += ' ';
        text += f.control<QWidget>("cmdBrowseUpgradeFiles")->isEnabled() ? 'E' : 'D';
        text += f.octet(0)->isEnabled() ? 'E' : 'D';
        return text;
    }

private slots:
    void walksThePagesForwardAndBack()
    {
        WizardFixture f;
        QCOMPARE(f.window->windowTitle(), QString("QD8400 Firmware Upgrade Utility v1.5.0"));
        QCOMPARE(f.control<QLineEdit>("txtUpgradeSourceDir")->text(), f.folder());
        QCOMPARE(f.window->upgradeState(), 0);
        QCOMPARE(f.instructions(), WizardTexts::kStartPage);
        QCOMPARE(availability(f), QString("EEDDE DD"));

        f.click("cmdStartUpgrade");
        QCOMPARE(f.window->upgradeState(), 11);
        QCOMPARE(f.instructions(), WizardTexts::kFolderPage);
        QCOMPARE(availability(f), QString("HHEEE ED"));

        f.click("cmdNext");
        QCOMPARE(f.window->upgradeState(), 21);
        QCOMPARE(availability(f), QString("HHEEE DE"));
        QCOMPARE(QApplication::focusWidget(), f.octet(0));

        f.typeAddress({"192", "168", "0", "5"});
        f.click("cmdNext");
        QCOMPARE(f.probed, QStringList{"192.168.0.5"});
        QCOMPARE(f.window->upgradeState(), 41);
        QCOMPARE(f.instructions(), WizardTexts::kRebootPage);
        QVERIFY(f.control<QLabel>("imgTick")->isVisible());
        QCOMPARE(availability(f), QString("HHEEE DD"));

        f.click("cmdNext");
        QCOMPARE(f.window->upgradeState(), 71);
        QVERIFY(f.instructions().contains("\r\n    ifconfig eth0 192.168.0.5\r\nAt the 'bash-2.04#' prompt"));

        f.click("cmdPrevious");
        QCOMPARE(f.window->upgradeState(), 41);
        QCOMPARE(f.instructions(), WizardTexts::kRebootPage);
        f.click("cmdPrevious");
        QCOMPARE(f.window->upgradeState(), 21);
        QCOMPARE(f.octet(0)->text(), QString("192"));
        QVERIFY(!f.control<QLabel>("imgTick")->isVisible());
        f.click("cmdPrevious");
        QCOMPARE(f.window->upgradeState(), 11);
        f.click("cmdPrevious");
        QCOMPARE(f.window->upgradeState(), 0);
        QCOMPARE(availability(f), QString("EEDDE DD"));

        const QByteArray log = f.log();
        QVERIFY(log.contains("\r\n>>cmdNext_Click\r\n"));
        QVERIFY(log.contains("\r\nmUpgradeState=(71)\r\n"));
        QVERIFY(log.contains("\r\n<<cmdPrevious_Click\r\n"));
        QVERIFY(!f.endedWith);
    }

    void dataLossWarning()
    {
        WizardFixture f;
        f.dialogs.answers.enqueue(Button::Cancel);
        f.click("cmdStartUpgrade");
        QCOMPARE(f.window->upgradeState(), 0);
        QCOMPARE(availability(f), QString("EEDDE DD"));
        QCOMPARE(f.dialogs.shown.size(), 1);
        const Dialogs::Message &warning = f.dialogs.shown[0];
        QCOMPARE(warning.icon, Dialogs::Icon::Exclamation);
        QCOMPARE(warning.buttons, (QList<Button>{Button::Ok, Button::Cancel}));
        QCOMPARE(warning.defaultButton, Button::Ok);
        QCOMPARE(warning.title, QString("QD8400 Firmware Upgrade"));
        QVERIFY(
            warning.text.startsWith("The upgrade procedure may delete any datalog and user configuration\r\nfiles"));
        QVERIFY(warning.text.endsWith("\r\nbefore continuing with the upgrage."));
    }

    void octetTyping_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("firstBox");
        QTest::addColumn<int>("focusedBox");
        QTest::newRow("three digits advance") << "192"
                                              << "192" << 1;
        QTest::newRow("full stop advances") << "10."
                                            << "10" << 1;
        QTest::newRow("full stop in an empty box") << "."
                                                   << "" << 0;
        QTest::newRow("leading zeros dropped") << "007"
                                               << "7" << 1;
        QTest::newRow("too large kept") << "999"
                                        << "999" << 1;
        QTest::newRow("letters become 0") << "abc"
                                          << "0" << 1;
        QTest::newRow("exponent form") << "1e5"
                                       << "1" << 1;
        QTest::newRow("short text stays") << "12"
                                          << "12" << 0;
    }

    void octetTyping()
    {
        QFETCH(QString, keys);
        QFETCH(QString, firstBox);
        QFETCH(int, focusedBox);
        WizardFixture f;
        f.click("cmdStartUpgrade");
        f.click("cmdNext");
        QTest::keyClicks(f.octet(0), keys);
        QCOMPARE(f.octet(0)->text(), firstBox);
        QCOMPARE(QApplication::focusWidget(), f.octet(focusedBox));
    }

    void typingWrapsAndOverwrites()
    {
        WizardFixture f;
        f.click("cmdStartUpgrade");
        f.click("cmdNext");
        // Each key goes to whichever box has the focus at that moment, as an operator's would.
        for (const QChar key : QString("10.0.0.255"))
            QTest::keyClick(QApplication::focusWidget(), key.toLatin1());
        QCOMPARE(QApplication::focusWidget(), f.octet(0));
        QCOMPARE(f.octet(3)->text(), QString("255"));
        // The focused box's text is selected: typing replaces it.
        QTest::keyClicks(QApplication::focusWidget(), "7");
        QCOMPARE(f.octet(0)->text(), QString("7"));
    }

    void addressValidation_data()
    {
        QTest::addColumn<QStringList>("octets");
        QTest::addColumn<QString>("probed");
        QTest::newRow("valid") << QStringList{"10", "0", "0", "1"} << "10.0.0.1";
        QTest::newRow("zeros but the last") << QStringList{"0", "0", "0", "5"} << "0.0.0.5";
        QTest::newRow("all zero") << QStringList{"0", "0", "0", "0"} << "";
        QTest::newRow("above 255") << QStringList{"192", "168", "0", "999"} << "";
        QTest::newRow("empty box") << QStringList{"192", "", "0", "1"} << "";
        QTest::newRow("blank box") << QStringList{"192", " ", "0", "1"} << "";
        QTest::newRow("negative") << QStringList{"192", "-1", "0", "1"} << "";
        QTest::newRow("letters count as 0") << QStringList{"10", "x", "0", "1"} << "10.x.0.1";
    }

    void addressValidation()
    {
        QFETCH(QStringList, octets);
        QFETCH(QString, probed);
        WizardFixture f;
        f.click("cmdStartUpgrade");
        f.click("cmdNext");
        f.typeAddress(octets);
        f.click("cmdNext");
        if (probed.isEmpty()) {
            QCOMPARE(f.window->upgradeState(), 21);
            QVERIFY(f.probed.isEmpty());
            QCOMPARE(f.dialogs.shown.last().title, QString("Upgrade Abort"));
            QCOMPARE(f.dialogs.shown.last().text,
                     QString("The specified IP address is not valid.\r\nPlease enter a valid IP address."));
            QCOMPARE(f.dialogs.shown.last().icon, Dialogs::Icon::None);
        } else {
            QCOMPARE(f.probed, QStringList{probed});
            QCOMPARE(f.window->ipAddress(), probed);
            QCOMPARE(f.window->upgradeState(), 41);
        }
    }

    void failedProbe_data()
    {
        QTest::addColumn<Button>("answer");
        QTest::addColumn<int>("state");
        QTest::newRow("retry stays") << Button::Retry << 21;
        QTest::newRow("ignore goes on") << Button::Ignore << 41;
        QTest::newRow("abort ends") << Button::Abort << 21;
    }

    void failedProbe()
    {
        QFETCH(Button, answer);
        QFETCH(int, state);
        WizardFixture f;
        f.probeAnswers = false;
        f.click("cmdStartUpgrade");
        f.click("cmdNext");
        f.typeAddress({"10", "1", "2", "3"});
        f.dialogs.answers.enqueue(answer);
        f.click("cmdNext");
        const Dialogs::Message &asked = f.dialogs.shown.last();
        QCOMPARE(asked.text, QString("No network connection found to IP Address\r\nPlease check IP Address or seek IT "
                                     "support"));
        QCOMPARE(asked.buttons, (QList<Button>{Button::Abort, Button::Retry, Button::Ignore}));
        QCOMPARE(asked.defaultButton, Button::Retry);
        QCOMPARE(asked.icon, Dialogs::Icon::None);
        QCOMPARE(asked.title, QString("QD8400Upgrade"));
        QCOMPARE(f.window->upgradeState(), state);
        QVERIFY(!f.control<QLabel>("imgTick")->isVisible());
        if (answer == Button::Abort) {
            QCOMPARE(f.endedWith, std::optional<int>(1));
            return;
        }
        QVERIFY(!f.endedWith);
        QVERIFY(f.button("cmdNext")->isEnabled());
        QVERIFY(f.octet(0)->isEnabled());
        if (answer == Button::Ignore)
            QCOMPARE(f.instructions(), WizardTexts::kRebootPage);
    }

    void folderFlags_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("found");
        QTest::addColumn<bool>("prod");
        QTest::addColumn<bool>("autoexec");
        QTest::newRow("required only") << kRequiredUpgradeFiles << true << false << false;
        QTest::newRow("with both optional")
            << kRequiredUpgradeFiles + QStringList{"qd8prod.rfs", "autoexec.bat"} << true << true << true;
        QTest::newRow("one missing") << kRequiredUpgradeFiles.mid(1) + QStringList{"qd8prod.rfs"} << false << false
                                     << false;
        QTest::newRow("empty folder") << QStringList{} << false << false << false;
    }

    void folderFlags()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, found);
        QFETCH(bool, prod);
        QFETCH(bool, autoexec);
        WizardFixture f(files);
        QCOMPARE(f.window->fileFlags().mUpgradeFilesFound, found);
        QCOMPARE(f.window->fileFlags().mProdImageFound, prod);
        QCOMPARE(f.window->fileFlags().mAutoexecFound, autoexec);
        f.click("cmdStartUpgrade");
        QCOMPARE(f.button("cmdNext")->isEnabled(), found);
        // Next on the folder page does nothing without the files.
        f.button("cmdNext")->setEnabled(true);
        f.click("cmdNext");
        QCOMPARE(f.window->upgradeState(), found ? 21 : 11);
    }

    void emptyFileCountsAndFolderDoesNot()
    {
        WizardFixture f(kRequiredUpgradeFiles.mid(1));
        writeFiles(f.folder(), {"bzimage"}, "");
        QDir(f.folder()).mkdir("qd8prod.rfs");
        f.click("cmdStartUpgrade");
        QVERIFY(f.window->fileFlags().mUpgradeFilesFound);
        QVERIFY(!f.window->fileFlags().mProdImageFound);
        QFile::remove(QDir(f.folder()).filePath("bzimage"));
        QDir(f.folder()).mkdir("bzimage");
        f.click("cmdPrevious");
        QVERIFY(!f.window->fileFlags().mUpgradeFilesFound);
    }

    void browse()
    {
        WizardFixture f;
        const QString withProd = f.dir.filePath("with-prod");
        const QString incomplete = f.dir.filePath("incomplete");
        writeFiles(withProd, kRequiredUpgradeFiles + QStringList{"qd8prod.rfs"});
        writeFiles(incomplete, {"bzimage"});
        f.click("cmdStartUpgrade");

        // Cancelled: nothing changes.
        f.click("cmdBrowseUpgradeFiles");
        QCOMPARE(f.dialogs.folderRequests.last(), qMakePair(QString("Firmware Upgrade Files"), f.folder()));
        QCOMPARE(f.control<QLineEdit>("txtUpgradeSourceDir")->text(), f.folder());

        f.dialogs.folders.enqueue(withProd);
        f.click("cmdBrowseUpgradeFiles");
        QVERIFY(f.window->fileFlags().mProdImageFound);
        QVERIFY(f.button("cmdNext")->isEnabled());

        f.dialogs.folders.enqueue(incomplete);
        f.click("cmdBrowseUpgradeFiles");
        QCOMPARE(f.dialogs.shown.last().title, QString("Missing Firmware Upgrade Files"));
        QCOMPARE(f.dialogs.shown.last().text, QString("The specified directory does not contain all the "
                                                      "necessary\r\nQD8400 firmware upgrade files."));
        QVERIFY(!f.button("cmdNext")->isEnabled());

        f.dialogs.folders.enqueue(f.folder());
        f.click("cmdBrowseUpgradeFiles");
        QVERIFY(!f.window->fileFlags().mProdImageFound);
        QVERIFY(f.button("cmdNext")->isEnabled());
    }

    void progressMaximum_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<int>("maximum");
        QTest::newRow("no optional file") << kRequiredUpgradeFiles << 109;
        QTest::newRow("start-up file") << kRequiredUpgradeFiles + QStringList{"autoexec.bat"} << 114;
        QTest::newRow("both optional files")
            << kRequiredUpgradeFiles + QStringList{"autoexec.bat", "qd8prod.rfs"} << 134;
    }

    // Next on the log-in page against an address where nothing listens: the progress is set up,
    // then the refused connection ends the run with the connect-failed message.
    void progressMaximum()
    {
        QFETCH(QStringList, files);
        QFETCH(int, maximum);
        WizardFixture f(files);
        f.walkToLoginPage({"127", "0", "0", "1"});
        f.click("cmdNext");
        QCOMPARE(f.window->progressMax(), maximum);
        QVERIFY(f.control<QProgressBar>("pbMainProgress")->isVisible());
        QVERIFY(QTest::qWaitFor([&] { return f.endedWith.has_value(); }, 5000));
        QCOMPARE(*f.endedWith, 1);
        QVERIFY(f.dialogs.shown.last().text.startsWith("The attempt to connect to the QD8400 has failed.\r\n"));
        QVERIFY(f.log().contains("\r\n>>ucTelnetInterface_Error(111,Connection refused)"));
        QVERIFY(f.log().contains("\r\nmUpgradeState=(81)\r\n"));
        QCOMPARE(f.control<QLabel>("lblProgBarTitle")->text(),
                 QString("%1% tasks complete").arg(qRound(200.0 / maximum)));
    }

    // Next on the log-in page logs in to the instrument and sends the first command.
    void runStartsAndSendsTheFirstCommand()
    {
        ScriptedPeer instrument;
        WizardFixture f(kRequiredUpgradeFiles, instrument.port());
        f.walkToLoginPage({"127", "0", "0", "1"});
        f.click("cmdNext");
        QCOMPARE(f.window->upgradeState(), 81);
        QCOMPARE(f.instructions(), QString("Connecting to QD8400. This may take up to 30 seconds."));
        QVERIFY(instrument.waitForClient());
        QVERIFY(!f.button("cmdPrevious")->isEnabled());
        QVERIFY(!f.button("cmdExit")->isEnabled());
        instrument.send("\xff\xfd\x18\r\nQD8400-0042 login: ");
        QVERIFY(instrument.waitForReceived(3 + 6));
        instrument.send("root\r\nPassword: ");
        QVERIFY(instrument.waitForReceived(9 + 9));
        instrument.send("\r\nbash-2.04# ");
        QVERIFY(instrument.waitForReceived(18 + 15));
        QCOMPARE(instrument.received(), QByteArray("\xff\xfc\x18root\r\nk8r2Mq5\r\ncd /mnt/nand1\r\n"));
        QCOMPARE(f.window->upgradeState(), 1022);
        QCOMPARE(f.control<QProgressBar>("pbMainProgress")->value(), 2);
        QVERIFY(!f.endedWith);
        const QByteArray log = f.log();
        QVERIFY(log.indexOf("mUpgradeState=(81)") < log.indexOf("mUpgradeState=(1022)"));
        QVERIFY(log.contains("\r\n>>SendCommand(cd /mnt/nand1)\r\n"));
        QVERIFY(!log.contains("k8r2Mq5"));
    }

    // The same against the simulated instrument, with its real log-in dialogue.
    void runStartsAgainstTheSimulator()
    {
        QTemporaryDir instrument;
        ServerProcess simulator("qd8400sim.py", {"--address", "127.0.0.1", "--telnet-port", "0", "--ftp-port", "0",
                                                 "--root", instrument.path(), "--passive-ports", "0-0"});
        WizardFixture f(kRequiredUpgradeFiles, simulator.port("telnet"));
        f.walkToLoginPage({"127", "0", "0", "1"});
        f.click("cmdNext");
        QVERIFY(simulator.waitForAnnounced("TELNET LOGIN root"));
        QVERIFY(simulator.waitForAnnounced("CMD cd /mnt/nand1"));
        QCOMPARE(f.window->upgradeState(), 1022);
        QVERIFY(!f.endedWith);
    }

    void progressBeyondTheMaximum()
    {
        WizardFixture f;
        f.window->AdvanceProgress(1);
        QCOMPARE(f.control<QLabel>("lblProgBarTitle")->text(), QString("1% tasks complete"));
        f.window->AdvanceProgress(200);
        QCOMPARE(f.window->progressMax(), 201);
        QCOMPARE(f.control<QProgressBar>("pbMainProgress")->maximum(), 201);
        QCOMPARE(f.control<QLabel>("lblProgBarTitle")->text(), QString("100% tasks complete"));
    }

    void telnetErrorsAndTimeout()
    {
        WizardFixture f;
        f.window->SetUpgradeState(2011);
        emit f.window->telnet().Error(10054, "Connection reset by peer");
        QCOMPARE(f.endedWith, std::optional<int>(1));
        QVERIFY(f.dialogs.shown.last().text.startsWith("An error has occurred with the network connection to the "
                                                       "QD8400.\r\nPlease check that the QD8400 is connected"));
        QVERIFY(f.log().contains("\r\n>>ucTelnetInterface_Error(10054,Connection reset by peer)\r\n"));

        WizardFixture g;
        g.window->SetUpgradeState(4051);
        emit g.window->telnet().Timeout();
        QCOMPARE(g.endedWith, std::optional<int>(1));
        QCOMPARE(g.dialogs.shown.last().text,
                 QString("A timeout has occurred while communicating with the QD8400.\r\n"
                         "Please check that the QD8400 is connected to the same network as this PC,\r\n"
                         "that the QD8400 eth0 configuration has been set correctly and that the\r\n"
                         "IP address entered is the same as the one configured on the eth0 interface.\r\n"
                         "Then retry the firmware upgrade.\r\n"
                         "If this condition persists then please contact your Brimlux instrument support.\r\n"
                         "Stopping firmware upgrade operation."));
        QVERIFY(g.log().contains("\r\n>>ucTelnetInterface_Timeout\r\n\r\nI|"));
        QVERIFY(g.log().contains("\r\nmUpgradeState=(4051)\r\n"));
        // Once ended, nothing more happens.
        emit g.window->telnet().Timeout();
        QCOMPARE(g.dialogs.shown.size(), 1);
    }

    void nextWhileBusyOrUnknown()
    {
        WizardFixture f;
        f.window->SetUpgradeState(999999);
        f.button("cmdNext")->setEnabled(true);
        f.click("cmdNext");
        QVERIFY(f.log().contains("\r\n>>cmdNext_Click\r\n\r\nI|"));
        QVERIFY(f.log().contains("\r\n===== End of state machine =====\r\n"));
        f.window->SetUpgradeState(8011);
        f.click("cmdNext");
        QVERIFY(f.log().contains("\r\n*** Unknown UPGRD_STAT_8011\r\n"));
        QCOMPARE(f.window->upgradeState(), 8011);
    }

    void failureRoutines_data()
    {
        QTest::addColumn<FailureRoutine>("routine");
        QTest::addColumn<QString>("firstLine");
        QTest::addColumn<int>("lines");
        using enum FailureRoutine;
        QTest::newRow("not maintenance") << AbortNotMaintenanceMode
                                         << "The QD8400 you are attempting to upgrade has not been rebooted into the "
                                            "maintenance mode. Please read the upgrade documentation for an "
                                            "explanation of how to put the QD8400 into maintenance mode. Stopping "
                                            "firmware upgrade operation."
                                         << 1;
        QTest::newRow("not instrument") << AbortNotInstrument
                                        << "The remote device does not exhibit the behaviour of a QD8400, please check "
                                           "the entered IP address (10.0.0.9) is not configured to another device."
                                        << 1;
        QTest::newRow("not acknowledged") << AbortCommandNotAcknowledged
                                          << "The QD8400 you are attempting to upgrade has failed to acknowledge a "
                                             "command in the expected way. Please report this to your Brimlux "
                                             "instrument support."
                                          << 1;
        QTest::newRow("command failed") << AbortCommandFailed
                                        << "The QD8400 has failed to complete a command in the expected way." << 6;
        QTest::newRow("kernel backup") << AbortKernelBackupFailed
                                       << "An error has occurred while backing up the kernal file." << 4;
        QTest::newRow("file system backup")
            << AbortFileSystemBackupFailed << "An error has occurred while backing up the system file system file."
            << 4;
        QTest::newRow("kernel transfer") << AbortKernelTransferFailed
                                         << "Transfer of the kernel system file has failed." << 7;
        QTest::newRow("file system transfer")
            << AbortFileSystemTransferFailed << "Transfer of the system file system file has failed." << 7;
        QTest::newRow("system files") << AbortSystemFileTransferFailed << "Transfer of the system file has failed."
                                      << 7;
        QTest::newRow("application") << AbortApplicationTransferFailed << "Transfer of the application file has failed."
                                     << 7;
        QTest::newRow("utilities") << AbortUtilitiesTransferFailed
                                   << "Transfer of the upgrade utilities file has failed." << 7;
        QTest::newRow("firewall") << AbortFirewallBlocked << "A connection to the QD8400 cannot be made." << 3;
    }

    void failureRoutines()
    {
        QFETCH(FailureRoutine, routine);
        QFETCH(QString, firstLine);
        QFETCH(int, lines);
        WizardFixture f;
        f.window->Fail(routine, "10.0.0.9");
        QCOMPARE(f.endedWith, std::optional<int>(1));
        const Dialogs::Message &shown = f.dialogs.shown.last();
        QCOMPARE(shown.title, QString("Upgrade Abort"));
        QCOMPARE(shown.buttons, QList<Button>{Button::Ok});
        QCOMPARE(shown.icon,
                 routine == FailureRoutine::AbortFirewallBlocked ? Dialogs::Icon::Critical : Dialogs::Icon::None);
        const QStringList text = shown.text.split("\r\n");
        QCOMPARE(text.first(), firstLine);
        QCOMPARE(text.size(), lines);
        if (lines == 7)
            QCOMPARE(text[1], QString("Please check the network cables between the QD8400 and the PC,"));
    }

    void exitAndSuccess()
    {
        WizardFixture f;
        f.click("cmdExit");
        QCOMPARE(f.endedWith, std::optional<int>(0));

        WizardFixture g;
        g.window->SetUpgradeState(10011);
        g.window->CompleteUpgrade();
        QCOMPARE(g.endedWith, std::optional<int>(0));
        QCOMPARE(g.window->upgradeState(), 0);
        const Dialogs::Message &shown = g.dialogs.shown.last();
        QCOMPARE(shown.icon, Dialogs::Icon::Information);
        QCOMPARE(shown.title, QString("QD8400 Firmware Upgrade"));
        QCOMPARE(shown.text, QString("Upgrade completed successfully\r\nPress OK to end program"));
    }

    void aboutWindow()
    {
        WizardFixture f;
        bool sawAbout = false;
        QTimer::singleShot(50, [&] {
            QWidget *about = QApplication::activeModalWidget();
            sawAbout = about && about->windowTitle() == "About QD8400Upgrade";
            if (!about)
                return;
            // System Info with no such program installed says so and leaves the window open.
            QTest::mouseClick(about->findChild<QPushButton *>("cmdSysInfo"), Qt::LeftButton);
            QTest::keyClick(about, Qt::Key_Escape);
        });
        f.click("cmdAbout");
        QVERIFY(sawAbout);
        QCOMPARE(f.dialogs.shown.last().text, QString("System Information Is Unavailable At This Time"));
        QCOMPARE(f.dialogs.shown.last().title, QString("QD8400Upgrade"));
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
