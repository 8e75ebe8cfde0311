// Renders every page of the wizard, every message box and the About window into PNG files, for a
// person to look at: take_screenshots OUTPUT_FOLDER UPGRADE_FOLDER
#include "AboutDialog.h"
#include "Main.h"
#include "ScriptedDialogs.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <cstdio>

namespace {

QDir gOutput;
int gCount = 0;

void save(QWidget *widget, const QString &name)
{
    widget->show();
    QTest::qWait(50);
    const QString file = gOutput.filePath(QString("%1-%2.png").arg(++gCount, 2, 10, QChar('0')).arg(name));
    widget->grab().save(file);
    std::printf("%s\n", qPrintable(file));
}

void click(Main &window, const char *name)
{
    window.findChild<QPushButton *>(name)->click();
    QTest::qWait(20);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QFont::insertSubstitution("Arial", "Liberation Sans");
    QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");
    QFont::insertSubstitution("Lucida Console", "Liberation Mono");
    if (argc != 3) {
        std::fprintf(stderr, "usage: take_screenshots OUTPUT_FOLDER UPGRADE_FOLDER\n");
        return 2;
    }
    gOutput = QDir(argv[1]);
    gOutput.mkpath(".");

    ScriptedDialogs dialogs;
    QWidget *owner = nullptr;
    dialogs.onShow = [&](const Dialogs::Message &message) {
        QMessageBox *box = QtDialogs::build(message, owner);
        save(box, "message-" + message.title.toLower().replace(' ', '-'));
        delete box;
    };
    Environment environment;
    environment.dialogs = &dialogs;
    environment.probe = [](const QString &) { return true; };
    environment.endProgram = [](int) {};
    environment.programFolder = argv[2];
    environment.logPath = gOutput.filePath("logfile.txt");
    environment.telnetPort = 1; // nothing listens there: the connection fails at once
    environment.timeScale = 0.01;
    Main window(environment);
    owner = &window;
    save(&window, "start-page");
    click(window, "cmdStartUpgrade");
    save(&window, "folder-page");
    click(window, "cmdNext");
    const char *octets[] = {"192", "168", "0", "5"};
    for (int i = 0; i < 4; ++i)
        window.findChild<QLineEdit *>(QString("txtIpOctet%1").arg(i))->setText(octets[i]);
    save(&window, "address-page");
    click(window, "cmdNext");
    save(&window, "reboot-page");
    click(window, "cmdNext");
    save(&window, "login-page");
    // Every failure routine's message box.
    for (int routine = 0; routine <= static_cast<int>(FailureRoutine::AbortFirewallBlocked); ++routine)
        dialogs.show(failureMessage(static_cast<FailureRoutine>(routine), "192.168.0.5"));
    dialogs.show({Dialogs::Icon::None,
                  {Dialogs::Button::Abort, Dialogs::Button::Retry, Dialogs::Button::Ignore},
                  Dialogs::Button::Retry,
                  "QD8400Upgrade",
                  "No network connection found to IP Address\r\nPlease check IP Address or seek IT support"});
    click(window, "cmdNext");
    QTest::qWait(200);
    save(&window, "connecting");

    fmAbout about(dialogs, {}, &window);
    save(&about, "about");
    return 0;
}
