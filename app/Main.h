#pragma once

#include "Environment.h"
#include "FailureRoutines.h"
#include "LogFile.h"
#include "LogSink.h"
#include "UpgradeFolder.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class Dialogs;
class InputGate;
class OctetEntry;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class ucTelnet;

// The wizard window: five preparation pages, then the run with its progress display. The page (and
// later the upgrade step) is the state number mUpgradeState. The window is the one logging entry
// point of every component.
class Main : public QWidget, public LogSink
{
    Q_OBJECT

public:
    explicit Main(Environment environment = Environment(), QWidget *parent = nullptr);
    ~Main() override;

    void Log_Add(QByteArrayView text) override;

    int upgradeState() const { return mUpgradeState; }
    QString ipAddress() const { return mIpAddress; }
    qint16 progressMax() const { return mProgressMax; }
    UpgradeFileFlags fileFlags() const { return mFiles; }
    ucTelnet &telnet() { return *ucTelnetInterface; }

    // Every change of page or upgrade step goes through here, so that the log shows it.
    void SetUpgradeState(int n);

    // Run control, also used by the upgrade steps.
    void AdvanceProgress(qint16 tasks);
    void WaitWithEvents(int milliseconds);
    void Fail(FailureRoutine routine, const QString &address = QString());
    void CompleteUpgrade();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void ResetWizard();
    void ShowFolderPage();
    void ShowIpAddressPage();
    bool ConfirmDataLoss();
    void ShowInvalidIpAddress();
    void ShowMissingUpgradeFiles();
    bool checkFolder();
    void setAddressEntryEnabled(bool enabled);
    void setInstructions(const QString &text);
    void logStateLine();

    void cmdStartUpgrade_Click();
    void cmdNext_Click();
    void cmdPrevious_Click();
    void cmdBrowseUpgradeFiles_Click();
    void cmdAbout_Click();
    void cmdExit_Click();
    void nextOnIpPage();
    void startRun();
    void ConfigureTelnetSession();
    void showProgressCaption(const char *suffix);

    void ucTelnetInterface_OpenSuccess();
    void ucTelnetInterface_Timeout();
    void ucTelnetInterface_Error(int number, const QString &description);
    void tmrLogIn_Timer();
    void endRun();
    void endProgram(int status);

    Environment mEnvironment;
    LogFile mLog;
    std::unique_ptr<Dialogs> mOwnDialogs;
    Dialogs *mDialogs = nullptr;

    int mUpgradeState = 0;
    QString mIpAddress;
    qint16 mProgressMax = 109;
    UpgradeFileFlags mFiles;
    bool mSystemFilesInstalled = false;
    bool mEnded = false;

    QLabel *lblInstructions = nullptr;
    QLabel *lblProgBarTitle = nullptr;
    QProgressBar *pbMainProgress = nullptr;
    QGroupBox *frmParamters = nullptr;
    QGroupBox *frmSourceDirectory = nullptr;
    QLineEdit *txtUpgradeSourceDir = nullptr;
    QPushButton *cmdBrowseUpgradeFiles = nullptr;
    QGroupBox *frmQD8400Ip = nullptr;
    QLineEdit *txtIpOctet[4] = {};
    QLabel *imgTick = nullptr;
    QPushButton *cmdAbout = nullptr;
    QPushButton *cmdStartUpgrade = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdPrevious = nullptr;
    QPushButton *cmdNext = nullptr;
    QPushButton *cmdExit = nullptr;
    QLineEdit *txtLogin = nullptr;
    QLineEdit *txtPassword = nullptr;
    QPlainTextEdit *txtTerminal = nullptr;
    ucTelnet *ucTelnetInterface = nullptr;
    // From OpenConnection until the shell prompt.
    QTimer tmrLogIn;
    OctetEntry *mOctets = nullptr;
    InputGate *mInput = nullptr;
};
