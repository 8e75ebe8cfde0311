#pragma once

#include "RunTexts.h"

#include <QString>

// The instruction texts of the wizard's pages and the captions and messages of the window.
namespace WizardTexts {

using RunTexts::kCompleted;
using RunTexts::kConnecting;
using RunTexts::kDataLossWarning;
using RunTexts::kNoNetwork;

inline const QString kMessageTitle = QStringLiteral("QD8400 Firmware Upgrade");
// The title of every failure message and of the invalid-address message.
inline const QString kAbortTitle = QStringLiteral("Upgrade Abort");
inline const QString kInvalidAddress =
    QStringLiteral("The specified IP address is not valid.\r\nPlease enter a valid IP address.");
inline const QString kMissingFiles =
    QStringLiteral("The specified directory does not contain all the necessary\r\nQD8400 firmware upgrade files.");
// An upgrade file that is there but must not be sent; reason: one of UpgradeFolder's.
inline QString damagedFile(const QString &name, const QString &reason)
{
    return "The upgrade file " + name + " is damaged: " + reason +
           ".\r\nPlease unzip the firmware upgrade again into an empty folder.";
}
inline const QString kSuccess = QStringLiteral("Upgrade completed successfully\r\nPress OK to end program");
inline const QString kProgramTitle = QStringLiteral("QD8400Upgrade");
// QD8400UPGRADE_VERSION is the project's version, given by the build.
inline const QString kVersion = QStringLiteral(QD8400UPGRADE_VERSION);
inline const QString kWindowCaption = QStringLiteral("QD8400 Firmware Upgrade Utility v") + kVersion;

inline const QString kStartPage = QStringLiteral(
    "This application installs a QD8400 firmware upgrade\r\n\r\nPlease read the readme.txt file\r\nin the "
    "installation folder for further instructions\r\n\r\nRequirements:-\r\n    1) QD8400 connected to the same "
    "network as this PC\r\n    2) Firmware upgrade files\r\n    3) a keyboard connected to the QD8400 is required if "
    "upgrading\r\n       from v1.06 firmware, or when not connected to a DHCP network\r\n\r\nTo start the upgrade "
    "process press the Start Upgrade button\r\n\r\nNote: The firmware upgrade may take between 15 and 30 minutes "
    "dependent on PC performance\r\n      The progress bar will pause during file transfers. This is normal\r\n      "
    "Ignore any warnings that appear on the QD8400 display");

inline const QString kFolderPage = QStringLiteral(
    "Please select the directory/folder containing the firmware upgrade files.\r\n\r\nTo select the "
    "directory/folder containing the firmware upgrade files:\r\n\r\n    1) press the Browse button in the 'Upgrade "
    "Files Directory/Folder' area of this application\r\n    2) navigate to the directory/folder containing the "
    "firmware upgrade files.\r\n       This will be the directory where the firmware zip file was unzipped\r\n\r\n"
    "Once the directory/folder is selected press the Next button");

inline const QString kIpPage = QStringLiteral(
    "Please enter the QD8400 IP address\r\n\r\nEnsure the QD8400 is powered ON and the Ethernet network "
    "connected\r\nIdentify the IP address used by the QD8400. To access the Ethernet Settings:\r\n    1) press the "
    "INTERFACE Button on the QD8400\r\n    2) select the Ethernet menu item\r\n    3) select the View Settings menu "
    "item\r\n    4) enter the IP address shown after 'IP Address:' on the first line of the displayed "
    "settings\r\n\r\nNOTE: If the first line of the Ethernet Settings display shows 'IP Address: 0.0.0.0' then "
    "please see the readme.txt file or the QD8400 User Manual for instructions on how to connect and configure a "
    "QD8400 for network operation. \r\n\r\nOnce the IP address has been entered press the Next button\r\n\r\nWhen "
    "Next is pressed the network connection will be tested. A tick will appear to confirm a valid connection");

inline const QString kRebootPage = QStringLiteral(
    "Please reboot the QD8400 to be upgraded into maintenance mode\r\n\r\nIf upgrading from v1.07 or later "
    "firmware:\r\n    1) On the QD8400 select the Config Menu and then System Upgrade\r\n    2) Enter the passcode "
    "6052 and then press OK\r\n    3) Press Yes to continue and wait for the login prompt\r\n\r\n\r\nIf upgrading "
    "from v1.06 or earlier firmware:\r\n    1) Attach keyboard to QD8400 and use this for the following\r\n    2) "
    "switch the QD8400 off and then on\r\n    3) when the display shows \"Loading ...\" press Ctrl-C until [A:\\] is "
    "displayed\r\n    4) At the '[A:\\]' prompt carefully type the following command (all lower case):\r\nloadlin "
    "c:bzimage root=/dev/ram0 rw initrd=c:qd8prod.rfs\r\n       then RETURN\r\n\r\nOnce the 'login' prompt is "
    "displayed, press the Next button");

inline QString loginPage(const QString &address)
{
    return QStringLiteral("If an IPADDR is shown at the top of the screen\r\nthen press the Next button to "
                          "continue\r\n\r\nIf no IPADDR is shown or IPADDR=0.0.0.0\r\nthen use a PC keyboard connected "
                          "to the QD8400 for the following:\r\nAt the 'QD8400-xxxx login:' prompt enter the following "
                          "to login:\r\n    root\r\n\r\nOnce bash-2.04# is shown, enter: \r\n    ifconfig eth0 ") +
           address +
           QStringLiteral("\r\nAt the 'bash-2.04#' prompt enter the following command:\r\n\r\n    ifconfig "
                          "eth0\r\nCheck that the correct IP address is shown\r\nOnce the IP address is displayed on "
                          "the QD8400 press the Next button");
}

// The question when the window is closed during the run, before and after its first change.
inline const QString kStopBeforeChange =
    QStringLiteral("Nothing has been changed on the QD8400 yet.\r\nStop the upgrade?");
inline const QString kStopDuringUpgrade =
    QStringLiteral("The QD8400 is being upgraded. Stopping now may leave it unable to start.\r\nStop the upgrade?");

inline const QString kMissingFilesTitle = QStringLiteral("Missing Firmware Upgrade Files");
inline const QString kBrowseTitle = QStringLiteral("Firmware Upgrade Files");

} // namespace WizardTexts
