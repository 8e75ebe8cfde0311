// Renders every page of the wizard, every message box and the About window into PNG files, for a
// person to look at: take_screenshots OUTPUT_FOLDER UPGRADE_FOLDER
#include "AboutDialog.h"
#include "FailureRoutines.h"
#include "Main.h"
#include "Script.h"
#include "ScriptedDialogs.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <memory>
#include <utility>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 3)
        qFatal("usage: take_screenshots OUTPUT_FOLDER UPGRADE_FOLDER");
    for (const char *font : {"Arial", "MS Sans Serif"})
        QFont::insertSubstitution(font, "Liberation Sans");
    QFont::insertSubstitution("Lucida Console", "Liberation Mono");
    const QDir output(argv[1]);
    output.mkpath(".");
    int count = 0;
    const auto save = [&](QWidget *widget, const QString &name) {
        widget->show();
        QTest::qWait(50);
        const QString file = output.filePath(QString("%1-%2.png").arg(++count, 2, 10, QChar('0')).arg(name));
        widget->grab().save(file);
        std::printf("%s\n", qPrintable(file));
    };

    ScriptedDialogs dialogs;
    Environment environment;
    environment.dialogs = &dialogs;
    bool answers = false; // the first probe fails, for the picture of its message
    environment.probe = [&](const QString &) { return std::exchange(answers, true); };
    environment.endProgram = [](int) {};
    environment.programFolder = argv[2];
    environment.settings.logPath = output.filePath("logfile.txt");
    environment.settings.telnetPort = 1; // nothing listens there: the connection fails at once
    environment.settings.timeScale = 0.01;
    Main window(environment);
    dialogs.onShow = [&](const Dialogs::Message &message) {
        std::unique_ptr<QMessageBox> box(QtDialogs::build(message, &window));
        save(box.get(), "message-" + message.title.toLower().replace(' ', '-'));
    };
    const auto click = [&](const char *name, const char *page) {
        window.findChild<QPushButton *>(name)->click();
        QTest::qWait(20);
        save(&window, page);
    };
    save(&window, "start-page");
    click("cmdStartUpgrade", "folder-page");
    for (int i = 0; i < 4; ++i)
        window.findChild<QLineEdit *>(QString("txtIpOctet%1").arg(i))->setText(QString("192.168.0.5").split('.')[i]);
    click("cmdNext", "address-page");
    window.findChild<QPushButton *>("cmdNext")->click(); // no answer: its message, then Retry
    click("cmdNext", "reboot-page");
    click("cmdNext", "login-page");
    for (int routine = 0; routine <= static_cast<int>(FailureRoutine::AbortFirewallBlocked); ++routine)
        dialogs.show(failureMessage(static_cast<FailureRoutine>(routine), "192.168.0.5"));
    click("cmdNext", "connecting");
    // A transfer under way: how far the file has got, beside the progress bar.
    window.run().AdvanceProgress(50);
    window.run().SetCaption(Script::captionText({"Transferring new root file system file", Script::Suffix::Note4}));
    window.run().ShowTransfer("qd8400.rfs", 7 << 20, 12 << 20);
    save(&window, "transfer");
    fmAbout about(dialogs, {}, &window);
    save(&about, "about");
    return 0;
}
