#include "cFileListing.h"

#include <algorithm>
#include <limits>

namespace {

// The number at the start of a field (0 if there is none), kept within the field's type.
template <typename Int> Int leadingNumber(const QString &text, bool *found = nullptr)
{
    qsizetype at = 0;
    const bool negative = text.startsWith('-');
    if (negative || text.startsWith('+'))
        ++at;
    qint64 value = 0;
    const qsizetype digitsFrom = at;
    // Digits past the 32-bit range change nothing but the risk of overflow.
    for (; at < text.size() && text[at].isDigit() && text[at].unicode() < 128; ++at)
        if (value <= std::numeric_limits<qint32>::max())
            value = value * 10 + (text[at].unicode() - '0');
    if (found)
        *found = at > digitsFrom;
    value = negative ? -value : value;
    return static_cast<Int>(
        std::clamp<qint64>(value, std::numeric_limits<Int>::min(), std::numeric_limits<Int>::max()));
}

} // namespace

void cFileListing::Clear()
{
    mName.clear();
    mUser.clear();
    mGroup.clear();
    mLinkTarget.clear();
    mMonth.clear();
    mTime.clear();
    mDayOfWeek.clear();
    mSize = 0;
    mYear = 0;
    mDayOfMon = 0;
    mLinks = 0;
    fIsLink = false;
}

bool cFileListing::FillOut(const QString &sLine)
{
    // Only blanks separate the fields; runs of them (the listing aligns its columns) count as one.
    QString s = sLine;
    while (s.startsWith(' '))
        s.remove(0, 1);
    while (s.endsWith(' '))
        s.chop(1);
    for (qsizetype pair = s.indexOf(QLatin1String("  ")); pair >= 0; pair = s.indexOf(QLatin1String("  "), pair))
        s.remove(pair, 1);

    QString fields[10];
    qsizetype from = 0;
    bool ok = !s.isEmpty();
    for (QString &field : fields) {
        const qsizetype blank = ok ? s.indexOf(' ', from) : -1;
        ok = blank >= 0;
        if (!ok)
            break;
        field = s.mid(from, blank - from);
        from = blank + 1;
    }
    const qsizetype open = ok ? s.indexOf('"', from) : -1;
    const qsizetype close = open >= 0 ? s.indexOf('"', open + 1) : -1;
    bool dayIsNumber = false;
    const qint16 day = ok ? leadingNumber<qint16>(fields[7], &dayIsNumber) : 0;
    if (close < 0 || !dayIsNumber) {
        Clear();
        return false;
    }
    mLinks = leadingNumber<qint32>(fields[1]);
    mUser = fields[2];
    mGroup = fields[3];
    mSize = leadingNumber<qint32>(fields[4]);
    mDayOfWeek = fields[5];
    mMonth = fields[6];
    mDayOfMon = day;
    mTime = fields[8];
    mYear = leadingNumber<qint16>(fields[9]);
    mName = s.mid(open, close - open + 1);
    return true;
}
