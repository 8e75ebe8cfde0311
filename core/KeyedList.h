#pragma once

#include <QString>

#include <algorithm>
#include <stdexcept>
#include <vector>

// An ordered collection numbered from 1 whose elements may also be reached by a text key.
template <typename T> class KeyedList
{
    struct Element
    {
        QString key;
        T value;
    };

public:
    T &Add(T value, const QString &sKey = QString())
    {
        mElements.push_back(Element{sKey, std::move(value)});
        return mElements.back().value;
    }
    T &Item(int index) { return mElements.at(static_cast<size_t>(index - 1)).value; }
    const T &Item(int index) const { return mElements.at(static_cast<size_t>(index - 1)).value; }
    T &Item(const QString &key) { return findKey(key)->value; }
    int Count() const { return static_cast<int>(mElements.size()); }
    void Remove(int index)
    {
        Item(index);
        mElements.erase(mElements.begin() + (index - 1));
    }
    void Remove(const QString &key) { mElements.erase(findKey(key)); }
    void Clear() { mElements.clear(); }

    class const_iterator
    {
    public:
        explicit const_iterator(typename std::vector<Element>::const_iterator it) : mIt(it) {}
        const T &operator*() const { return mIt->value; }
        const T *operator->() const { return &mIt->value; }
        const_iterator &operator++()
        {
            ++mIt;
            return *this;
        }
        bool operator==(const const_iterator &other) const = default;

    private:
        typename std::vector<Element>::const_iterator mIt;
    };
    const_iterator begin() const { return const_iterator(mElements.cbegin()); }
    const_iterator end() const { return const_iterator(mElements.cend()); }

private:
    typename std::vector<Element>::iterator findKey(const QString &key)
    {
        const auto it = std::find_if(mElements.begin(), mElements.end(),
                                     [&](const Element &element) { return !key.isEmpty() && element.key == key; });
        if (it == mElements.end())
            throw std::out_of_range("no element has the key " + key.toStdString());
        return it;
    }

    std::vector<Element> mElements;
};
