#pragma once

#include "Octets.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>

class QLineEdit;

// Typing in the four boxes: "." or a third character normalises the box and moves on to the next
// box (after the fourth, the first), selecting its text so that typing overwrites it.
class OctetEntry : public QObject
{
    Q_OBJECT

public:
    OctetEntry(std::array<QLineEdit *, 4> boxes, QObject *parent = nullptr);

    QStringList texts() const;
    // Focuses a box and selects its first three characters.
    void focusBox(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void normaliseAndAdvance(int index);

    std::array<QLineEdit *, 4> mBoxes;
};
