#pragma once

#include "Environment.h"
#include "FailureRoutines.h"
#include "LogFile.h"
#include "RunProgress.h"
#include "RunRules.h"
#include "UpgradeFolder.h"
#include "UpgradeHost.h"

#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

class Dialogs;
class InputGate;
class OctetEntry;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class UpgradeEngine;
class ucTelnet;

// The wizard window: five preparation pages, then the run with its progress display. The page (and
// later the upgrade step) is the state number mUpgradeState. The window is the one logging entry
// point of every component, and the host of the upgrade engine.
class Main : public QWidget, public UpgradeHost
{
    Q_OBJECT

public:
    explicit Main(Environment environment = Environment(), QWidget *parent = nullptr);
    ~Main() override;

    void Log_Add(QByteArrayView text) override;

    QString ipAddress() const { return mIpAddress; }
    qint16 progressMax() const { return mProgress.maximum(); }
    UpgradeFileFlags fileFlags() const { return mFiles; }
    ucTelnet &telnet() { return *ucTelnetInterface; }

    int UpgradeState() const override { return mUpgradeState; }
    // Every change of page or upgrade step goes through here, so that the log shows it.
    void SetUpgradeState(int n) override;
    void SetCaption(const QString &text) override;

    // Run control, also used by the upgrade steps.
    void AdvanceProgress(qint16 tasks) override;
    void FillProgress() override;
    void WaitWithEvents(int milliseconds) override;
    // The failure routine's message, then the end of the program.
    void Fail(FailureRoutine routine, const QString &address = QString());
    void Abort(FailureRoutine routine, const QString &address = QString()) override;
    bool RunEnded() const override { return mEnded; }
    void ResetWizard() override;
    void Halted() override;
    void CompleteUpgrade() override;
    void ShowTransfer(const QString &file, qint64 sent, qint64 total) override;
    UpgradeInputs Inputs() const override;
    bool SystemFilesInstalled() const override { return mSystemFilesInstalled; }
    void SetSystemFilesInstalled(bool installed) override { mSystemFilesInstalled = installed; }
    std::time_t Now() const override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void ShowFolderPage();
    void ShowIpAddressPage();
    bool ConfirmDataLoss();
    void ShowInvalidIpAddress();
    void ShowMissingUpgradeFiles();
    bool checkFolder();
    void setAddressEntryEnabled(bool enabled);
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
    void ucTelnetInterface_CommandPerformed();
    void ucTelnetInterface_Timeout();
    void ucTelnetInterface_Error(int number, const QString &description);
    void tmrLogIn_Timer();
    // A Telnet event or the log-in limit ends the run: its log entries, then its failure routine.
    void endWith(const RunRules::Ending &ending);
    void endRun();
    void endProgram(int status);

    Environment mEnvironment;
    LogFile mLog;
    std::unique_ptr<Dialogs> mOwnDialogs;
    Dialogs *mDialogs = nullptr;

    int mUpgradeState = 0;
    QString mIpAddress;
    RunProgress mProgress;
    UpgradeFileFlags mFiles;
    bool mSystemFilesInstalled = false;
    bool mEnded = false;
    // The script stopped without a message: closing the window is allowed again.
    bool mHalted = false;
    // Set by an abort routine of a step: the program ends once the step has returned.
    std::optional<int> mEndStatus;

    QLabel *lblInstructions = nullptr;
    QLabel *lblProgBarTitle = nullptr;
    QProgressBar *pbMainProgress = nullptr;
    QLabel *lblTransfer = nullptr;
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
    std::unique_ptr<UpgradeEngine> mEngine;
    // From OpenConnection until the shell prompt.
    QTimer tmrLogIn;
    OctetEntry *mOctets = nullptr;
    InputGate *mInput = nullptr;
};
