#pragma once

#include <QDialog>
#include <QStringList>

class Dialogs;

// The About window: the program's name and version, and a button that starts a system-information
// program when one is installed.
class fmAbout : public QDialog
{
    Q_OBJECT

public:
    fmAbout(Dialogs &dialogs, QStringList systemInfoPrograms, QWidget *parent = nullptr);

private:
    void StartSysInfo();

    Dialogs &mDialogs;
    QStringList mSystemInfoPrograms;
};
