#include "colTerminalOutput.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

bool colTerminalOutput::ContainsAny(const QString &sPattern, qint16 lStartOffset, qint16 lEndOffset) const
{
    if (lStartOffset < 0 || lEndOffset > 0)
        return false;
    if (std::abs(lEndOffset) >= Count() || lStartOffset >= Count())
        return false;
    const auto first = mElements.begin() + lStartOffset;
    const auto last = mElements.end() + lEndOffset;
    return std::any_of(first, last, [&](const Element &element) {
        return element.line.mText.contains(sPattern, Qt::CaseInsensitive);
    });
}

void colTerminalOutput::OutputRead(const QString &sText)
{
    const QLatin1String lineEnd("\r\n");
    qsizetype start = 0;
    for (qsizetype end = sText.indexOf(lineEnd); end >= 0; end = sText.indexOf(lineEnd, start)) {
        Add(sText.mid(start, end - start));
        start = end + lineEnd.size();
    }
    if (start < sText.size())
        Add(sText.mid(start));
}

QString colTerminalOutput::OutputText(int lLine) const
{
    if (lLine < 1 || lLine > Count())
        return QString();
    return mElements[static_cast<size_t>(lLine - 1)].line.mText;
}

cOutputLine &colTerminalOutput::Add(const QString &mText, const QString &sKey)
{
    mElements.push_back(Element{sKey, cOutputLine{mText}});
    return mElements.back().line;
}

std::vector<colTerminalOutput::Element>::iterator colTerminalOutput::findKey(const QString &key)
{
    const auto it = std::find_if(mElements.begin(), mElements.end(),
                                 [&](const Element &element) { return !key.isEmpty() && element.key == key; });
    if (it == mElements.end())
        throw std::out_of_range("colTerminalOutput: no element has the key " + key.toStdString());
    return it;
}
