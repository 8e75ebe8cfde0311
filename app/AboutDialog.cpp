#include "AboutDialog.h"

#include "Dialogs.h"
#include "Twips.h"
#include "WizardTexts.h"

#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

namespace {

using Twips::place;

QLabel *label(QWidget *parent, const char *name, const QString &text, int left, int top, int width, int height)
{
    auto *result = place(new QLabel(text, parent), name, left, top, width, height);
    result->setWordWrap(true);
    return result;
}

} // namespace

fmAbout::fmAbout(Dialogs &dialogs, QStringList systemInfoPrograms, QWidget *parent)
    : QDialog(parent), mDialogs(dialogs), mSystemInfoPrograms(std::move(systemInfoPrograms))
{
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(QStringLiteral("About ") + WizardTexts::kProgramTitle);
    setFixedSize(Twips::pixels(5730), Twips::pixels(3555));
    setFont(QFont("MS Sans Serif", 8));

    QLabel *title = label(this, "lblTitle", WizardTexts::kProgramTitle, 1050, 240, 3885, 480);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    title->setFont(titleFont);
    label(this, "lblVersion", QStringLiteral("Version ") + WizardTexts::kVersion, 1050, 780, 3885, 225);
    label(this, "lblDescription", QStringLiteral("QD8400 Firmware Upgrade Utility"), 1050, 1125, 3885, 330);
    label(this, "Label1", QStringLiteral("Brimlux Instruments Ltd."), 1080, 1560, 3975, 255);
    label(this, "Label2", QStringLiteral("www.brimlux.com"), 1080, 1920, 3975, 375);
    auto *separator = place(new QFrame(this), "Line1", 105, 2400, 5520, 30);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    label(this, "lblDisclaimer",
          QStringLiteral("Copying or distributing this program, or any part of it, without the written consent of "
                         "Brimlux Instruments Ltd. is prohibited."),
          255, 2625, 3870, 825);

    auto *ok = place(new QPushButton(QStringLiteral("OK"), this), "cmdOK", 4245, 2625, 1260, 345);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto *sysInfo =
        place(new QPushButton(QStringLiteral("&System Info..."), this), "cmdSysInfo", 4260, 3075, 1245, 345);
    connect(sysInfo, &QPushButton::clicked, this, &fmAbout::StartSysInfo);
}

void fmAbout::StartSysInfo()
{
    for (const QString &name : mSystemInfoPrograms) {
        const QString program = QStandardPaths::findExecutable(name);
        if (!program.isEmpty() && QProcess::startDetached(program, {}))
            return;
    }
    mDialogs.show(Dialogs::notice(Dialogs::Icon::None, WizardTexts::kProgramTitle,
                                  QStringLiteral("System Information Is Unavailable At This Time")));
}
