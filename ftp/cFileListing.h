#pragma once

#include <QString>

// One entry of a long-format listing ("ls -alQ --full-time"): permissions, links, owner, group,
// size, weekday, month, day, time, year and the name in double quotes.
class cFileListing
{
public:
    QString mPermisions;
    qint32 mLinks = 0;
    QString mUser;
    QString mGroup;
    qint32 mSize = 0;
    QString mDayOfWeek;
    QString mMonth;
    qint16 mDayOfMon = 0;
    QString mTime;
    qint16 mYear = 0;
    QString mName; // with its quotes
    bool fIsLink = false;
    QString mLinkTarget;

    // Parses one listing line; on failure the record is cleared and the result is false.
    bool FillOut(const QString &sLine);
    // Empties every field but mPermisions.
    void Clear();
};
