#pragma once

#include <QByteArray>
#include <QString>

// Reads a tar archive to its end as the instrument's tar will unpack it: every header, all of every
// member's data and the end-of-archive marker. Nothing else about the members is looked at.
namespace TarCheck {

enum class Verdict
{
    Sound,
    EndsEarly,   // the file ends in a header, in a member's data or before the end-of-archive marker
    NotTar,      // its start is no tar header, or a later header is damaged
    LacksMember, // sound, but without the regular file asked for
};

// `member`: the name of a regular file the archive must hold, as tar lists it; empty: none.
Verdict read(const QString &path, const QByteArray &member = {});

} // namespace TarCheck
