// Runs one whole upgrade with nobody at the window, printing each caption and the progress as they
// change and the figures of each transfer: demo_auto FOLDER ADDRESS LOG [--fast]. Exits with the
// program's status.
#include "AutoRun.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

// The lines of the printout. A transfer's figures change many times a second: a change is printed
// once a quarter of a second has passed since the last line, and the figures last shown are
// printed when the transfer ends.
class Printout
{
public:
    void captions(const QString &caption, const QString &progress)
    {
        print(progress.leftJustified(kColumn) + ' ' + caption);
    }

    void transfer(const QString &shown)
    {
        if (shown.isEmpty()) {
            if (!mUnprinted.isEmpty())
                print(mUnprinted);
            return;
        }
        const QString line = QString(kColumn + 1, ' ') + shown;
        if (mSinceLine.isValid() && mSinceLine.elapsed() < kQuietMilliseconds)
            mUnprinted = line;
        else
            print(line);
    }

    void message(const QString &text) { print("message: " + text); }

private:
    static constexpr qint64 kQuietMilliseconds = 250;
    // The width of the progress column; a transfer's figures are printed under the caption.
    static constexpr int kColumn = 20;

    void print(const QString &line)
    {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
        mSinceLine.start();
        mUnprinted.clear();
    }

    QElapsedTimer mSinceLine;
    QString mUnprinted;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 4)
        qFatal("usage: demo_auto FOLDER ADDRESS LOG [--fast]");
    Printout printout;
    AutoRun run;
    run.folder = arguments[1];
    run.address = arguments[2];
    run.settings.logPath = arguments[3];
    run.settings.timeScale = arguments.contains("--fast") ? 0.02 : 1.0;
    run.onChange = [&](const QString &caption, const QString &progress) { printout.captions(caption, progress); };
    run.onTransfer = [&](const QString &shown) { printout.transfer(shown); };
    run.onMessage = [&](const QString &message) { printout.message(message); };
    const AutoRun::Figures figures = run.run();
    std::printf("exit status %d after %.1f s\n", figures.exitStatus, figures.totalSeconds);
    return figures.exitStatus;
}
