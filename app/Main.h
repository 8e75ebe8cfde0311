#pragma once

#include "Environment.h"
#include "Run.h"
#include "RunView.h"
#include "UpgradeFolder.h"

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

// The wizard window: five preparation pages, then the run with its progress display. The page (and
// later the upgrade step) is the run's state number. The window holds the run and is its view: it
// shows the caption, the progress bar, the transfer line and the message boxes.
class Main : public QWidget, private RunView
{
    Q_OBJECT

public:
    explicit Main(Environment environment = Environment(), QWidget *parent = nullptr);
    ~Main() override;

    QString ipAddress() const { return mIpAddress; }
    UpgradeFileFlags fileFlags() const { return mFiles; }
    Run &run() { return mRun; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void ShowFolderPage();
    void ShowIpAddressPage();
    bool ConfirmDataLoss();
    void ShowInvalidIpAddress();
    void ShowMissingUpgradeFiles();
    void ShowDamagedUpgradeFile(const UpgradeFile &file);
    // Checks the folder in its box and logs each damaged file.
    FolderCheck checkFolder();
    void setAddressEntryEnabled(bool enabled);
    void logStateLine();

    void cmdStartUpgrade_Click();
    void cmdNext_Click();
    void cmdPrevious_Click();
    void cmdBrowseUpgradeFiles_Click();
    void cmdAbout_Click();
    void cmdExit_Click();
    void nextOnIpPage();
    void runFromLastPage();
    // The operator closes the window during the run: asks whether to stop it, and the run goes on
    // until the answer, held before its first change while the question says nothing has changed.
    void askToStop();
    void closeAfterHalt();
    // What the folder box, the address and the hidden log-in boxes give the run.
    UpgradeInputs inputs() const;

    void showState(int state) override;
    void showCaption(const QString &text) override;
    void showProgress(const RunProgress &progress, RunProgress::Form form) override;
    void showTransfer(const QString &file, qint64 sent, qint64 total) override;
    void showWait(int milliseconds) override;
    void showWaitOver(int milliseconds) override;
    void showLogged(QByteArrayView entry) override;
    void showConnecting() override;
    void showReset() override;
    void showFailure(FailureRoutine routine, const QString &address) override;
    void showNotStarted(const QString &message) override;
    void showSuccess() override;
    void showHalted() override;
    void showRunEnded() override;
    void showResult(RunResult result) override;

    Environment mEnvironment;
    Run mRun;
    std::unique_ptr<Dialogs> mOwnDialogs;
    Dialogs *mDialogs = nullptr;

    QString mIpAddress;
    UpgradeFileFlags mFiles;
    bool mAskingToStop = false;

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
    OctetEntry *mOctets = nullptr;
    InputGate *mInput = nullptr;
};
