#pragma once

#include <QString>

#include <vector>

// One line of a captured command output.
class cOutputLine
{
public:
    QString mText;
};

// A captured command output split into lines, numbered from 1: the echoed command line first,
// then the output, and the shell prompt last. Only CR LF separates lines.
class colTerminalOutput
{
    struct Element
    {
        QString key;
        cOutputLine line;
    };

public:
    // Does any line within the window contains sPattern, whatever its letter case? The window skips
    // lStartOffset lines at the start and -lEndOffset lines at the end.
    bool ContainsAny(const QString &sPattern, qint16 lStartOffset, qint16 lEndOffset) const;
    // Appends the lines of sText; a text ending in CR LF gives no empty last line.
    void OutputRead(const QString &sText);
    // The text of line lLine, or the empty string outside 1 to Count.
    QString OutputText(int lLine) const;
    void Clear() { mElements.clear(); }

    cOutputLine &Add(const QString &mText, const QString &sKey = QString());
    cOutputLine &Item(int index) { return mElements.at(static_cast<size_t>(index - 1)).line; }
    cOutputLine &Item(const QString &key) { return findKey(key)->line; }
    int Count() const { return static_cast<int>(mElements.size()); }
    void Remove(int index) { mElements.erase(mElements.begin() + (index - 1)); }
    void Remove(const QString &key) { mElements.erase(findKey(key)); }

    class const_iterator
    {
    public:
        explicit const_iterator(std::vector<Element>::const_iterator it) : mIt(it) {}
        const cOutputLine &operator*() const { return mIt->line; }
        const_iterator &operator++()
        {
            ++mIt;
            return *this;
        }
        bool operator==(const const_iterator &other) const = default;

    private:
        std::vector<Element>::const_iterator mIt;
    };
    const_iterator begin() const { return const_iterator(mElements.cbegin()); }
    const_iterator end() const { return const_iterator(mElements.cend()); }

private:
    std::vector<Element>::iterator findKey(const QString &key);

    std::vector<Element> mElements;
};
