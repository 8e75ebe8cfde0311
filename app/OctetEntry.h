#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>

class QLineEdit;

// The rules of the four address boxes: what an octet text means and when an address is acceptable.
namespace Octets {

// The number a text begins with, after leading blanks and an optional sign; 0 when there is none.
// Only decimal digits count: "1e5" is 1, "&H10" is 0.
qint64 leadingNumber(const QString &text);
// The box's text after normalisation: its leading number in decimal ("007" gives "7", "abc" "0").
QString normalised(const QString &text);
bool IsValidOctet(const QString &text);
// Every octet valid and not all four zero.
bool isAcceptable(const QStringList &octets);

} // namespace Octets

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
