#pragma once

#include "Main.h"
#include "ScriptedDialogs.h"
#include "UpgradeFiles.h"
#include "ucTelnet.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

// The wizard window on the offscreen platform with scripted dialogs, a log of its own and an end
// that is only recorded.
struct WizardFixture
{
    QTemporaryDir dir;
    QString mFolder;
    ScriptedDialogs dialogs;
    std::optional<int> endedWith;
    QStringList probed;
    bool probeAnswers = true;
    std::function<void()> duringProbe; // runs while the window holds the operator's input
    Environment environment;
    std::unique_ptr<Main> window;

    // The upgrade folder holds the files named, or is the one given (then the files are ignored).
    explicit WizardFixture(const QStringList &files = kRequiredUpgradeFiles, quint16 telnetPort = 1,
                           quint16 ftpPort = 1, const QString &upgradeFolder = {}, double timeScale = 0.01)
        : mFolder(upgradeFolder.isEmpty() ? dir.filePath("upgrade") : upgradeFolder)
    {
        if (upgradeFolder.isEmpty())
            writeFiles(folder(), files);
        environment.dialogs = &dialogs;
        environment.probe = [this](const QString &address) {
            probed << address;
            if (duringProbe)
                duringProbe();
            return probeAnswers;
        };
        environment.endProgram = [this](int status) { endedWith = status; };
        environment.programFolder = folder();
        environment.settings.logPath = dir.filePath("logfile.txt");
        environment.settings.telnetPort = telnetPort;
        environment.settings.ftpPort = ftpPort;
        environment.settings.timeScale = timeScale;
        // The PC's clock stands at 23 November 2027 14:37 local time: every field of a date differs.
        environment.settings.clock = [] { return QDateTime(QDate(2027, 11, 23), QTime(14, 37)).toSecsSinceEpoch(); };
        environment.systemInfoPrograms = {"no-such-system-information-program"};
        window = std::make_unique<Main>(environment);
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            qWarning("the wizard window did not become active");
    }

    QString folder() const { return mFolder; }
    template <typename W = QWidget> W *control(const QString &name) const { return window->findChild<W *>(name); }
    QPushButton *button(const char *name) const { return control<QPushButton>(name); }
    QLineEdit *octet(int i) const { return control<QLineEdit>(QString("txtIpOctet%1").arg(i)); }
    QString instructions() const { return control<QLabel>("lblInstructions")->text(); }
    void click(const char *name) const { QTest::mouseClick(button(name), Qt::LeftButton); }

    // Returns once every event posted so far has been delivered: a call queued now comes after them.
    static bool deliverPosted()
    {
        bool delivered = false;
        QMetaObject::invokeMethod(
            qApp, [&] { delivered = true; }, Qt::QueuedConnection);
        return QTest::qWaitFor([&] { return delivered; });
    }

    void typeAddress(const QStringList &octets) const
    {
        for (int i = 0; i < 4; ++i)
            octet(i)->setText(octets[i]);
    }

    // The log's entries one after the other, without their stamps and blank lines.
    QByteArray trace() const
    {
        window->run().flushLog();
        QFile file(environment.settings.logPath);
        file.open(QIODevice::ReadOnly);
        static const QRegularExpression stamp("(\r\n)?\r\nI\\|\\d{8}-\\d{6}\\|");
        return QString::fromLatin1(file.readAll()).remove(stamp).toLatin1();
    }

    // From the start page to the log-in check page (state 71), the address answering the probe.
    void walkToLoginPage(const QStringList &octets = {"127", "0", "0", "1"})
    {
        click("cmdStartUpgrade");
        click("cmdNext");
        typeAddress(octets);
        click("cmdNext");
        click("cmdNext");
        dialogs.shown.clear(); // the data-loss warning
    }
};
