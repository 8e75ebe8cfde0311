#include "Step.h"

#include "Script.h"
#include "StateMachineLog.h"
#include "UpgradeEngine.h"
#include "UpgradeHost.h"
#include "cFileList.h"
#include "cFtp.h"
#include "ucTelnet.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Leading and trailing blanks off.
QString withoutBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

Step::Step(UpgradeEngine &engine, const Script::Row &row)
    : mEngine(engine), mRow(row), mSendsBefore(engine.mSent.size())
{
}

UpgradeHost &Step::host() const
{
    return mEngine.mHost;
}

int Step::visits() const
{
    return mEngine.mVisits.value(mRow.state);
}

int Step::count() const
{
    return mEngine.mOutput.Count();
}

QString Step::line(int n) const
{
    return mEngine.mOutput.OutputText(n);
}

QString Step::trimmed(int n) const
{
    return withoutBlanks(line(n));
}

bool Step::isPrompt(int n) const
{
    return trimmed(n) == Script::kPrompt;
}

bool Step::listed(const QString &word) const
{
    return mEngine.mOutput.ContainsAny(word, 1, -1);
}

bool Step::listedSizesAgree() const
{
    cFileList listing;
    for (int n = 2; n < count(); ++n)
        listing.AppendEntryS(line(n));
    // Lines that are no listing entries prove no backup.
    return listing.mEntries.Count() >= 2 && listing.Entry(1).mSize == listing.Entry(2).mSize;
}

const QString &Step::examined() const
{
    return mEngine.mSent.constLast();
}

QString Step::st() const
{
    return "* [ST=" + QString::number(host().UpgradeState()) + ']';
}

void Step::log(const QString &text) const
{
    host().Log_Add("\r\n" + text.toUtf8());
}

bool Step::fail(FailureRoutine routine, const QStringList &logged, const QStringList &loggedAfter) const
{
    for (const QString &text : logged)
        log(text);
    host().Abort(routine, host().Inputs().address);
    mEngine.mTelnet.Disconnect();
    host().ResetWizard();
    for (const QString &text : loggedAfter)
        log(text);
    return false;
}

bool Step::abort(FailureRoutine routine) const
{
    host().Abort(routine);
    return false;
}

bool Step::halt(const QString &logged) const
{
    log(logged);
    mEngine.halt();
    return false;
}

bool Step::show(const Script::Caption &caption) const
{
    return caption.text ? show(Script::captionText(caption), caption.wait)
                        : (!caption.wait || pause(1000)) && !host().RunEnded();
}

bool Step::show(const QString &caption, bool wait) const
{
    host().SetCaption(caption);
    return wait ? pause(1000) : !host().RunEnded();
}

bool Step::pause(int milliseconds) const
{
    if (host().RunEnded())
        return false;
    host().WaitWithEvents(milliseconds);
    return ownsTheRun();
}

bool Step::ownsTheRun() const
{
    if (!mEngine.running())
        return false;
    if (mEngine.mSent.size() == mSendsBefore)
        return true;
    host().Log_Add(StateMachineLog::overtaken(mRow.state, mEngine.mSent[mSendsBefore].toUtf8()));
    return false;
}

bool Step::transfer(const Script::Transfer &transfer) const
{
    if (!show(transfer.caption))
        return false;
    UpgradeHost &window = host();
    mEngine.expect(transfer.state);
    cFtp *ftp = mEngine.ftpSession();
    if (!ftp) {
        window.Abort(FailureRoutine::AbortFirewallBlocked);
        window.ResetWizard();
        return false;
    }
    if (transfer.folder)
        ftp->SetCurrentDirectory(QLatin1String(transfer.folder));
    ftp->lTransferType = transfer.type;
    const QString file = QLatin1String(transfer.file);
    const QString source = QDir(window.Inputs().folder).filePath(file);
    window.ShowTransfer(file, 0, QFileInfo(source).size());
    const QMetaObject::Connection progress = QObject::connect(
        ftp, &cFtp::PutProgress, [&](qint64 sent, qint64 total) { window.ShowTransfer(file, sent, total); });
    const bool arrived = ftp->bPutFile(source, QLatin1String(transfer.target));
    QObject::disconnect(progress);
    window.ShowTransfer(QString(), 0, 0);
    // A failed transfer ends the run at once, before the wait that follows a transfer: a step run
    // during that wait would compare and install the part of the file that arrived.
    if (!arrived) {
        if (!window.RunEnded()) {
            log("* Transfer of " + file + " failed");
            window.Abort(transfer.routine);
            // Left in the window behind the message; the run has ended, so nothing waits any more.
            window.SetCaption(Script::transferFailureCaption(transfer.routine));
            window.ResetWizard();
        }
        return false;
    }
    if (transfer.settle && !pause(transfer.settle))
        return false;
    log("Transfer of " + file + " succeeded");
    if (transfer.progress)
        window.AdvanceProgress(transfer.progress);
    // The transfer was a wait too, though the Telnet session holds still during it.
    return ownsTheRun();
}

bool Step::send(const QString &command, int next, qint32 seconds) const
{
    if (!mEngine.running())
        return false;
    host().SetUpgradeState(next);
    mEngine.sendCommand(command, seconds);
    return true;
}

void Step::sendCommand(const QString &command, qint32 seconds) const
{
    mEngine.sendCommand(command, seconds);
}

void Step::expect(int state) const
{
    mEngine.expect(state);
}
