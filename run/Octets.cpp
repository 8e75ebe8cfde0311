#include "Octets.h"

#include "Echoed.h"

#include <algorithm>

namespace Octets {

qint64 leadingNumber(const QString &text)
{
    qsizetype at = 0;
    while (at < text.size() && text[at] == ' ')
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        negative = text[at++] == '-';
    qint64 value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && value < 1000000000; ++at)
        value = value * 10 + (text[at].unicode() - '0');
    return negative ? -value : value;
}

QString normalised(const QString &text)
{
    return QString::number(leadingNumber(text));
}

bool IsValidOctet(const QString &text)
{
    if (text.trimmed().isEmpty())
        return false;
    const qint64 value = leadingNumber(text.trimmed());
    return value >= 0 && value <= 255;
}

bool isAcceptable(const QStringList &octets)
{
    bool allZero = true;
    for (const QString &octet : octets) {
        if (!IsValidOctet(octet))
            return false;
        allZero = allZero && leadingNumber(octet.trimmed()) == 0;
    }
    return octets.size() == 4 && !allZero;
}

Parsed deviceAddress(const QString &text)
{
    const QStringList octets = text.split(QLatin1Char('.'));
    const bool written = octets.size() == 4 && std::all_of(octets.cbegin(), octets.cend(), [](const QString &octet) {
                             return !octet.isEmpty() && octet.size() <= 3 &&
                                    std::all_of(octet.cbegin(), octet.cend(),
                                                [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
                         });
    if (!written || !isAcceptable(octets))
        return {QString(), QStringLiteral("not a valid IPv4 address: ") + echoed(text)};
    QStringList plain;
    for (const QString &octet : octets)
        plain << normalised(octet);
    const QString address = plain.join(QLatin1Char('.'));
    const qint64 first = leadingNumber(octets[0]);
    const char *block = nullptr;
    if (first == 0)
        block = "this network, 0.0.0.0/8";
    else if (address == QLatin1String("255.255.255.255"))
        block = "the broadcast address";
    else if (first >= 224 && first <= 239)
        block = "multicast, 224.0.0.0/4";
    else if (first >= 240)
        block = "reserved, 240.0.0.0/4";
    if (block)
        return {QString(), QStringLiteral("no instrument can have the address %1 (%2)").arg(address, block)};
    return {address, QString()};
}

} // namespace Octets
