#pragma once

#include <QString>
#include <QStringList>

// What an octet text means and when an address is acceptable: the rules of the window's four
// address boxes, which the command line's addresses follow too.
namespace Octets {

// The number a text begins with, after leading blanks and an optional sign; 0 when there is none.
// Only decimal digits count: "1e5" is 1, "&H10" is 0.
qint64 leadingNumber(const QString &text);
// The box's text after normalisation: its leading number in decimal ("007" gives "7", "abc" "0").
QString normalised(const QString &text);
bool IsValidOctet(const QString &text);
// Every octet valid and not all four zero.
bool isAcceptable(const QStringList &octets);

// An address given as one text, as on the command line: the plain dotted form ("192.168.001.020"
// gives "192.168.1.20"), or an empty address and the reason it is refused.
struct Parsed
{
    QString address;
    QString problem;
};
// Four octets by the boxes' rule, each written in decimal digits alone: with no box to normalise
// what was typed, a stray letter is refused rather than read away. An address that no instrument
// can have is refused too: this network (0.0.0.0/8), multicast (224.0.0.0/4), the reserved block
// (240.0.0.0/4) and the broadcast address.
Parsed deviceAddress(const QString &text);

} // namespace Octets
