#pragma once

#include "colFileList.h"

// The entries of one listing, filled from its lines and read back by position.
class cFileList
{
public:
    qint32 mTotalBlocks = 0;
    colFileList mEntries;

    // Parses the line; a line that parses is appended as a new record.
    bool AppendEntryS(const QString &sFileEntry);
    // The record at position lEntry, from 1.
    const cFileListing &Entry(int lEntry) const { return mEntries.Item(lEntry); }
};
