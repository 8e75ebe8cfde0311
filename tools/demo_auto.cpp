// Runs one whole upgrade with nobody at the window, printing each caption and the progress as they
// change: demo_auto FOLDER ADDRESS [--fast]. Exits with the program's status.
#include "AutoRun.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3)
        qFatal("usage: demo_auto FOLDER ADDRESS [--fast]");
    AutoRun run;
    run.folder = arguments[1];
    run.address = arguments[2];
    run.timeScale = arguments.contains("--fast") ? 0.02 : 1.0;
    run.onChange = [](const QString &caption, const QString &progress) {
        std::printf("%-20s %s\n", qPrintable(progress), qPrintable(caption));
        std::fflush(stdout);
    };
    run.onMessage = [](const QString &message) { std::printf("message: %s\n", qPrintable(message)); };
    const AutoRun::Figures figures = run.run();
    std::printf("exit status %d after %.1f s\n", figures.exitStatus, figures.totalSeconds);
    return figures.exitStatus;
}
