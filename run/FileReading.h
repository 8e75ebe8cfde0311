#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// A file read once from its start to its end, in large blocks, as the user running the program can
// read it; a failure to open or to read it keeps its error number.
class FileReading
{
public:
    explicit FileReading(const QString &path);
    ~FileReading();
    FileReading(const FileReading &) = delete;
    FileReading &operator=(const FileReading &) = delete;

    bool isOpen() const { return mFd >= 0; }
    // Its size when it was opened.
    qint64 size() const { return mSize; }
    // The next block; empty at the end of the file or after a failure.
    QByteArrayView next();
    // Reads what is left; true when the end was reached.
    bool readToEnd();
    // It could not be opened, or a read failed.
    bool failed() const { return mFd < 0 || mError != 0; }
    // Why, as strerror tells it; empty when nothing failed.
    QString problem() const;

private:
    int mFd = -1;
    qint64 mSize = 0;
    int mError = 0;
    QByteArray mBlock;
};
