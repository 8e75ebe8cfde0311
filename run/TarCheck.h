#pragma once

#include <QByteArray>

class FileReading;

// Reads a tar archive to its end as the instrument's tar will unpack it: every header, all of every
// member's data and the end-of-archive marker, each block read once. Nothing else about the members
// is looked at.
namespace TarCheck {

enum class Verdict
{
    Sound,
    Unreadable,  // a read failed: the file says why
    EndsEarly,   // the file ends in a header, in a member's data or before the end-of-archive marker
    NotTar,      // its start is no tar header, or a later header is damaged
    NoFiles,     // sound, but without a regular file
    LacksMember, // sound, but without the regular file asked for
};

// `member`: the name of a regular file the archive must hold, as tar lists it; empty: none.
Verdict read(FileReading &file, const QByteArray &member = {});

} // namespace TarCheck
