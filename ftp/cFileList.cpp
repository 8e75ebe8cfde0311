#include "cFileList.h"

bool cFileList::AppendEntryS(const QString &sFileEntry)
{
    cFileListing listing;
    if (!listing.FillOut(sFileEntry))
        return false;
    mEntries.Add(listing);
    return true;
}
