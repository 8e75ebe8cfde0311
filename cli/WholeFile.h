#pragma once

#include <QByteArray>
#include <QString>

// Writes a file whole or not at all (a copy renamed over it once complete): a full disk leaves the
// file as it was. Returns why it could not be written, "cannot write PATH: REASON"; empty when it was.
QString writeWhole(const QString &path, const QByteArray &bytes);
