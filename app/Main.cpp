// The wizard's pages and buttons: start, upgrade-file folder, instrument address, reboot into
// maintenance mode and log-in check.
#include "Main.h"

#include "AboutDialog.h"
#include "Dialogs.h"
#include "InputGate.h"
#include "NetworkProbe.h"
#include "OctetEntry.h"
#include "Script.h"
#include "StateMachineLog.h"
#include "WizardTexts.h"
#include "ucTelnet.h"

#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

Main::Main(Environment environment, QWidget *parent)
    : QWidget(parent), mEnvironment(std::move(environment)), mRun(mEnvironment.settings, Procedure::Upgrade, *this)
{
    if (mEnvironment.dialogs) {
        mDialogs = mEnvironment.dialogs;
    } else {
        mOwnDialogs = std::make_unique<QtDialogs>(this);
        mDialogs = mOwnDialogs.get();
    }
    buildControls();
    mOctets = new OctetEntry({txtIpOctet[0], txtIpOctet[1], txtIpOctet[2], txtIpOctet[3]}, this);
    mInput = new InputGate(this);

    mRun.telnet().setTerminalView([this](QByteArrayView text) {
        QTextCursor end(txtTerminal->document());
        end.movePosition(QTextCursor::End);
        end.insertText(QString::fromLatin1(text));
    });

    connect(cmdStartUpgrade, &QPushButton::clicked, this, &Main::cmdStartUpgrade_Click);
    connect(cmdNext, &QPushButton::clicked, this, &Main::cmdNext_Click);
    connect(cmdPrevious, &QPushButton::clicked, this, &Main::cmdPrevious_Click);
    connect(cmdBrowseUpgradeFiles, &QPushButton::clicked, this, &Main::cmdBrowseUpgradeFiles_Click);
    connect(cmdAbout, &QPushButton::clicked, this, &Main::cmdAbout_Click);
    connect(cmdExit, &QPushButton::clicked, this, &Main::cmdExit_Click);

    // Loading the window.
    setWindowTitle(WizardTexts::kWindowCaption);
    txtUpgradeSourceDir->setText(mEnvironment.programFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                                      : mEnvironment.programFolder);
    mRun.SetCaption(WizardTexts::kStartPage);
    lblProgBarTitle->hide();
    lblTransfer->hide();
    imgTick->hide();
    mRun.ResetWizard();
}

Main::~Main() = default;

void Main::logStateLine()
{
    mRun.Log_Add(StateMachineLog::stateLine(mRun.UpgradeState()));
}

void Main::showCaption(const QString &text)
{
    lblInstructions->setText(text);
}

void Main::setAddressEntryEnabled(bool enabled)
{
    frmQD8400Ip->setEnabled(enabled);
    for (QLineEdit *box : txtIpOctet)
        box->setEnabled(enabled);
}

FolderCheck Main::checkFolder()
{
    const FolderCheck check = UpgradeFolder::CheckFolder(txtUpgradeSourceDir->text());
    mFiles = check.flags;
    for (const UpgradeFile &file : check.files)
        if (!file.damage.isEmpty())
            mRun.Log_Add("\r\n* Upgrade file " + file.name.toUtf8() + " damaged: " + file.damage.toUtf8());
    return check;
}

void Main::showReset()
{
    cmdStartUpgrade->setEnabled(true);
    cmdStartUpgrade->show();
    cmdAbout->setEnabled(true);
    cmdAbout->show();
    cmdCancel->setEnabled(false);
    cmdCancel->hide();
    cmdNext->setEnabled(false);
    cmdPrevious->setEnabled(false);
    cmdExit->setEnabled(true);
    pbMainProgress->hide();
    pbMainProgress->setValue(0);
    frmParamters->setEnabled(false);
    frmSourceDirectory->setEnabled(false);
    txtUpgradeSourceDir->setEnabled(false);
    cmdBrowseUpgradeFiles->setEnabled(false);
    setAddressEntryEnabled(false);
    mRun.SetCaption(WizardTexts::kStartPage);
    checkFolder();
    mRun.telnet().Disconnect();
}

void Main::ShowFolderPage()
{
    frmParamters->setEnabled(false);
    frmSourceDirectory->setEnabled(false);
    cmdBrowseUpgradeFiles->setEnabled(false);
    setAddressEntryEnabled(false);
    imgTick->hide();
    mRun.SetUpgradeState(11);
    mRun.SetCaption(WizardTexts::kFolderPage);
    frmParamters->setEnabled(true);
    frmSourceDirectory->setEnabled(true);
    cmdBrowseUpgradeFiles->setEnabled(true);
    cmdNext->setEnabled(checkFolder().flags.mUpgradeFilesFound);
}

void Main::ShowIpAddressPage()
{
    frmParamters->setEnabled(false);
    frmSourceDirectory->setEnabled(false);
    cmdBrowseUpgradeFiles->setEnabled(false);
    mRun.SetUpgradeState(21);
    mRun.SetCaption(WizardTexts::kIpPage);
    frmParamters->setEnabled(true);
    setAddressEntryEnabled(true);
    mOctets->focusBox(0);
    imgTick->hide();
}

bool Main::ConfirmDataLoss()
{
    return mDialogs->show({Dialogs::Icon::Exclamation,
                           {Dialogs::Button::Ok, Dialogs::Button::Cancel},
                           Dialogs::Button::Ok,
                           WizardTexts::kMessageTitle,
                           WizardTexts::kDataLossWarning}) == Dialogs::Button::Ok;
}

void Main::ShowInvalidIpAddress()
{
    mDialogs->show(Dialogs::notice(Dialogs::Icon::None, WizardTexts::kAbortTitle, WizardTexts::kInvalidAddress));
}

void Main::ShowMissingUpgradeFiles()
{
    mDialogs->show(Dialogs::notice(Dialogs::Icon::None, WizardTexts::kMissingFilesTitle, WizardTexts::kMissingFiles));
}

void Main::ShowDamagedUpgradeFile(const UpgradeFile &file)
{
    mDialogs->show(Dialogs::notice(Dialogs::Icon::Exclamation, WizardTexts::kMessageTitle,
                                   WizardTexts::damagedFile(file.name, file.damage)));
}

void Main::cmdStartUpgrade_Click()
{
    if (!ConfirmDataLoss())
        return;
    mRun.SetUpgradeState(0);
    mRun.SetSystemFilesInstalled(false);
    cmdStartUpgrade->setEnabled(false);
    cmdStartUpgrade->hide();
    cmdAbout->setEnabled(false);
    cmdAbout->hide();
    cmdCancel->setEnabled(false);
    cmdNext->setEnabled(false);
    cmdPrevious->setEnabled(false);
    cmdExit->setEnabled(true);
    mRun.SetCaption(WizardTexts::kFolderPage);
    frmParamters->setEnabled(true);
    frmSourceDirectory->setEnabled(true);
    cmdBrowseUpgradeFiles->setEnabled(true);
    setAddressEntryEnabled(false);
    if (checkFolder().flags.mUpgradeFilesFound)
        cmdNext->setEnabled(true);
    cmdPrevious->setEnabled(true);
    ShowFolderPage();
}

void Main::cmdNext_Click()
{
    mRun.Log_Add("\r\n>>cmdNext_Click");
    logStateLine();
    switch (mRun.UpgradeState()) {
    case 0:
    case RunRules::kConnecting:
        break;
    case 11:
        if (mFiles.mUpgradeFilesFound) {
            imgTick->hide();
            ShowIpAddressPage();
        }
        break;
    case 21:
        nextOnIpPage();
        break;
    case 41:
        mRun.SetCaption(WizardTexts::loginPage(mIpAddress));
        mRun.SetUpgradeState(71);
        break;
    case 71:
        runFromLastPage();
        break;
    case Script::kBusy:
        mRun.Log_Add(StateMachineLog::kEndOfStateMachine);
        break;
    default:
        mRun.Log_Add(StateMachineLog::unknownState(mRun.UpgradeState()));
        break;
    }
    mRun.Log_Add("\r\n<<cmdNext_Click");
}

void Main::nextOnIpPage()
{
    if (!Octets::isAcceptable(mOctets->texts())) {
        ShowInvalidIpAddress();
        return;
    }
    cmdNext->setEnabled(false);
    mIpAddress = mOctets->texts().join('.');
    bool answered = false;
    // A click made during the probe's seconds must not act on the page that follows it.
    mInput->holdDuring(
        [&] { answered = mEnvironment.probe ? mEnvironment.probe(mIpAddress) : ProbeInstrument(mIpAddress); });
    if (answered) {
        frmParamters->setEnabled(false);
        setAddressEntryEnabled(false);
        imgTick->show();
        mRun.SetUpgradeState(41);
        mRun.SetCaption(WizardTexts::kRebootPage);
    } else {
        imgTick->hide();
        const Dialogs::Button choice =
            mDialogs->show({Dialogs::Icon::None,
                            {Dialogs::Button::Abort, Dialogs::Button::Retry, Dialogs::Button::Ignore},
                            Dialogs::Button::Retry,
                            WizardTexts::kProgramTitle,
                            WizardTexts::kNoNetwork});
        if (choice == Dialogs::Button::Abort) {
            mRun.finish(RunResult::Failure);
            return;
        }
        if (choice == Dialogs::Button::Ignore) {
            mRun.SetUpgradeState(41);
            mRun.SetCaption(WizardTexts::kRebootPage);
        }
    }
    cmdNext->setEnabled(true);
}

void Main::cmdPrevious_Click()
{
    mRun.Log_Add("\r\n>>cmdPrevious_Click");
    logStateLine();
    switch (mRun.UpgradeState()) {
    case 11:
        mRun.ResetWizard();
        break;
    case 21:
        ShowFolderPage();
        break;
    case 41:
        ShowIpAddressPage();
        break;
    case 71:
        mRun.SetUpgradeState(41);
        mRun.SetCaption(WizardTexts::kRebootPage);
        break;
    default:
        break;
    }
    mRun.Log_Add("\r\n<<cmdPrevious_Click");
}

void Main::cmdBrowseUpgradeFiles_Click()
{
    const QString folder = mDialogs->chooseFolder(WizardTexts::kBrowseTitle, txtUpgradeSourceDir->text());
    if (folder.isEmpty())
        return;
    txtUpgradeSourceDir->setText(QDir::toNativeSeparators(folder));
    const FolderCheck check = checkFolder();
    if (check.flags.mUpgradeFilesFound) {
        cmdNext->setEnabled(true);
    } else {
        if (const UpgradeFile *damaged = check.firstDamaged())
            ShowDamagedUpgradeFile(*damaged);
        else
            ShowMissingUpgradeFiles();
        cmdNext->setEnabled(false);
    }
}

void Main::cmdAbout_Click()
{
    fmAbout about(*mDialogs, mEnvironment.systemInfoPrograms, this);
    about.exec();
}
