#include "RunProgress.h"

#include <cmath>

void RunProgress::reset()
{
    mValue = 0;
    mMaximum = kTasks;
}

void RunProgress::start(bool autoexecFound, bool prodImageFound)
{
    reset();
    if (autoexecFound)
        mMaximum += kAutoexecTasks;
    if (prodImageFound)
        mMaximum += kProdImageTasks;
}

void RunProgress::advance(qint16 tasks)
{
    mValue += tasks;
    if (mValue > mMaximum)
        mMaximum = static_cast<qint16>(mValue);
}

void RunProgress::fill()
{
    mValue = mMaximum;
}

long RunProgress::percent() const
{
    return static_cast<long>(std::nearbyint(mValue * 100.0 / mMaximum));
}

QString RunProgress::caption(Form form) const
{
    return QString::number(percent()) + QLatin1String(form == Form::Tasks ? "% tasks complete" : "% complete");
}

QString RunProgress::transferText(const QString &file, qint64 sent, qint64 total)
{
    return file + QStringLiteral(": ") + transferFigures(sent, total);
}

QString RunProgress::transferFigures(qint64 sent, qint64 total)
{
    if (total < (1 << 10))
        return QStringLiteral("%1 of %2 bytes").arg(sent).arg(total);
    const bool mebibytes = total >= (1 << 20);
    const double unit = mebibytes ? 1 << 20 : 1 << 10;
    const int decimals = mebibytes ? 1 : 0;
    return QStringLiteral("%1 of %2 %3")
        .arg(sent / unit, 0, 'f', decimals)
        .arg(total / unit, 0, 'f', decimals)
        .arg(mebibytes ? "MiB" : "KiB");
}
