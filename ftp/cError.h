#pragma once

#include <QString>

// The FTP client's record of its last failure: a number and a text.
class cError
{
public:
    qint32 Number = 0;
    QString Description;

    void Clear() { Info(0, QString()); }
    void Info(qint32 lNumber, const QString &sDescription)
    {
        Number = lNumber;
        Description = sDescription;
    }
    QString Text() const { return QString::number(Number) + QStringLiteral(": ") + Description; }
};
