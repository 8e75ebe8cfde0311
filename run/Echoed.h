#pragma once

#include <QString>

// An input quoted back in a problem's text: whole up to a length that no real address, number or
// path reaches in practice, cut with "…" beyond it, so that a pasted megabyte is not echoed back.
inline QString echoed(const QString &input)
{
    constexpr qsizetype kLongest = 160;
    return input.size() <= kLongest ? input : input.left(kLongest - 1) + QStringLiteral("…");
}
