#include "AutoRun.h"

#include "Dialogs.h"
#include "Main.h"
#include "RunWatch.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <ctime>

namespace {

double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Every message answered with its default button, and told.
class DefaultAnswers final : public Dialogs
{
public:
    explicit DefaultAnswers(const std::function<void(const QString &)> &told) : mTold(told) {}
    Button show(const Message &message) override
    {
        if (mTold)
            mTold(message.title + ": " + QString(message.text).replace("\r\n", " "));
        return message.defaultButton;
    }
    void ask(const Message &message, std::function<void(Button)> answered) override { answered(show(message)); }
    // Every message is answered at once: none is open to close.
    void dismiss() override {}
    QString chooseFolder(const QString &, const QString &) override { return {}; }

private:
    std::function<void(const QString &)> mTold;
};

// A view of the window's run that measures its waits and transfers and tells each change of the
// window's captions and of its transfer line as the change is made.
class Measurement final : public RunWatch
{
public:
    Measurement(Main &window, AutoRun::Figures &figures, const AutoRun &run)
        : RunWatch(window.run()), mWindow(window), mFigures(figures), mRun(run)
    {
        tellCaptions();
    }

private:
    void showWait(int milliseconds) override
    {
        if (mDepth++ > 0)
            return;
        mFigures.prescribedWaitSeconds += milliseconds / 1000.0;
        mWait.start();
        mCpuAtWait = cpuSeconds();
    }
    void showWaitOver(int) override
    {
        if (--mDepth > 0)
            return;
        mFigures.cpuSecondsWhileWaiting += cpuSeconds() - mCpuAtWait;
        mFigures.waitingSeconds += mWait.nsecsElapsed() / 1e9;
    }
    void showCaption(const QString &) override { tellCaptions(); }
    void showProgress(const RunProgress &, RunProgress::Form) override { tellCaptions(); }
    void showTransfer(const QString &file, qint64, qint64) override
    {
        if (!file.isEmpty() && !mTransfer.isValid())
            mTransfer.start();
        if (file.isEmpty() && mTransfer.isValid()) {
            mFigures.transferSeconds += mTransfer.nsecsElapsed() / 1e9;
            mTransfer.invalidate();
        }
        const QLabel *label = mWindow.findChild<QLabel *>("lblTransfer");
        const QString shown = label->isHidden() ? QString() : label->text();
        if (shown != mShownTransfer && mRun.onTransfer)
            mRun.onTransfer(shown);
        mShownTransfer = shown;
    }
    // The first line of the step caption and the progress caption while it is shown.
    void tellCaptions()
    {
        const QString caption = mWindow.findChild<QLabel *>("lblInstructions")->text().section("\r\n", 0, 0);
        const QLabel *progressCaption = mWindow.findChild<QLabel *>("lblProgBarTitle");
        const QString progress = progressCaption->isHidden() ? QString() : progressCaption->text();
        if ((caption != mCaption || progress != mProgress) && mRun.onChange)
            mRun.onChange(caption, progress);
        mCaption = caption;
        mProgress = progress;
    }

    Main &mWindow;
    AutoRun::Figures &mFigures;
    const AutoRun &mRun;
    // How deep the waits are nested; the outermost one is measured.
    int mDepth = 0;
    QElapsedTimer mWait;
    double mCpuAtWait = 0;
    QElapsedTimer mTransfer;
    QString mCaption;
    QString mProgress;
    QString mShownTransfer;
};

} // namespace

AutoRun::Figures AutoRun::run() const
{
    Figures figures;
    DefaultAnswers dialogs(onMessage);
    QEventLoop ended;
    Environment environment;
    environment.dialogs = &dialogs;
    environment.endProgram = [&](int status) {
        figures.exitStatus = status;
        ended.quit();
    };
    environment.programFolder = folder;
    environment.settings = settings;
    QElapsedTimer total;
    total.start();
    Main window(environment);
    Measurement measurement(window, figures, *this);
    window.show();
    const auto click = [&](const char *name) { window.findChild<QPushButton *>(name)->click(); };
    click("cmdStartUpgrade");
    click("cmdNext");
    const QStringList octets = address.split('.');
    for (int i = 0; i < 4; ++i)
        window.findChild<QLineEdit *>(QStringLiteral("txtIpOctet%1").arg(i))->setText(octets.value(i));
    click("cmdNext");
    click("cmdNext");
    QTimer::singleShot(0, [&] { click("cmdNext"); });
    ended.exec();
    figures.totalSeconds = total.nsecsElapsed() / 1e9;
    return figures;
}
