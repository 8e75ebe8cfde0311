#pragma once

#include <QList>
#include <QString>

// A file of instruments' addresses, as --from reads it: one a line, blank lines and lines that
// begin with # left out, spaces around an address ignored; "-" is standard input.
namespace AddressFile {

struct Line
{
    int number = 0; // from 1
    QString text;
};

struct Read
{
    QList<Line> addresses;
    QString problem; // why the file could not be read; empty: it was
};

Read read(const QString &path);

// The name of the file in a problem's text.
QString nameOf(const QString &path);

} // namespace AddressFile
