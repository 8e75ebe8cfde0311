#pragma once

#include <QString>
#include <QtGlobal>

// The progress of a run counted in tasks: 109 in every run, 5 more with a start-up file and 20 more
// with a maintenance image in the upgrade folder; a run that counts beyond the maximum raises it.
class RunProgress
{
public:
    static constexpr qint16 kTasks = 109;
    static constexpr qint16 kAutoexecTasks = 5;
    static constexpr qint16 kProdImageTasks = 20;

    // How the caption names the percentage: while tasks are counted, or at the start and the end.
    enum class Form
    {
        Tasks,
        Complete,
    };

    // No task done, and the maximum of every run.
    void reset();
    // No task done, and the maximum of a run with these files.
    void start(bool autoexecFound, bool prodImageFound);
    void advance(qint16 tasks);
    void fill();

    int value() const { return mValue; }
    qint16 maximum() const { return mMaximum; }
    // value * 100 / maximum to the nearest whole number, halves to even.
    long percent() const;
    // The percentage followed by "% tasks complete" or "% complete".
    QString caption(Form form) const;

    // "file: " and the figures.
    static QString transferText(const QString &file, qint64 sent, qint64 total);
    // "sent of total KiB" in the unit of the total: MiB with one decimal for a file of a MiB or
    // more, whole KiB from a KiB, bytes below.
    static QString transferFigures(qint64 sent, qint64 total);

private:
    int mValue = 0;
    qint16 mMaximum = kTasks;
};
