#pragma once

#include "Main.h"
#include "ScriptedDialogs.h"
#include "ucTelnet.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

inline const QStringList kRequiredUpgradeFiles{"bzimage", "qd8400.rfs", "update.tar", "qd8nand.tar", "qd8nand3.tar"};

// Writes the named files (a few bytes each) into a folder.
inline void writeFiles(const QString &folder, const QStringList &names, const QByteArray &content = "data")
{
    QDir().mkpath(folder);
    for (const QString &name : names) {
        QFile file(QDir(folder).filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(content);
    }
}

// The wizard window on the offscreen platform with scripted dialogs, a log of its own and an end
// that is only recorded.
struct WizardFixture
{
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::optional<int> endedWith;
    QStringList probed;
    bool probeAnswers = true;
    Environment environment;
    std::unique_ptr<Main> window;

    explicit WizardFixture(const QStringList &files = kRequiredUpgradeFiles, quint16 telnetPort = 1)
    {
        writeFiles(folder(), files);
        environment.dialogs = &dialogs;
        environment.probe = [this](const QString &address) {
            probed << address;
            return probeAnswers;
        };
        environment.endProgram = [this](int status) { endedWith = status; };
        environment.programFolder = folder();
        environment.logPath = dir.filePath("logfile.txt");
        environment.telnetPort = telnetPort;
        environment.timeScale = 0.01;
        environment.systemInfoPrograms = {"no-such-system-information-program"};
        window = std::make_unique<Main>(environment);
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            qWarning("the wizard window did not become active");
    }

    QString folder() const { return dir.filePath("upgrade"); }

    template <typename W = QWidget> W *control(const QString &name) const
    {
        W *widget = window->findChild<W *>(name);
        if (!widget)
            qFatal("no control %s", qPrintable(name));
        return widget;
    }
    QPushButton *button(const char *name) const { return control<QPushButton>(name); }
    QLineEdit *octet(int i) const { return control<QLineEdit>(QString("txtIpOctet%1").arg(i)); }
    QString instructions() const { return control<QLabel>("lblInstructions")->text(); }

    void click(const char *name) const { QTest::mouseClick(button(name), Qt::LeftButton); }

    // Enabled and visible, as the operator sees it.
    bool usable(const char *name) const { return button(name)->isEnabled() && button(name)->isVisible(); }

    void typeAddress(const QStringList &octets) const
    {
        for (int i = 0; i < 4; ++i)
            octet(i)->setText(octets[i]);
    }

    QByteArray log() const
    {
        QFile file(environment.logPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // From the start page to the log-in check page (state 71), the address answering the probe.
    void walkToLoginPage(const QStringList &octets = {"192", "168", "0", "5"})
    {
        click("cmdStartUpgrade");
        click("cmdNext");
        typeAddress(octets);
        click("cmdNext");
        click("cmdNext");
    }
};
