#include "OctetEntry.h"

#include <QKeyEvent>
#include <QLineEdit>

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

} // namespace Octets

OctetEntry::OctetEntry(std::array<QLineEdit *, 4> boxes, QObject *parent) : QObject(parent), mBoxes(boxes)
{
    for (int i = 0; i < 4; ++i) {
        mBoxes[i]->installEventFilter(this);
        connect(mBoxes[i], &QLineEdit::textChanged, this, [this, i](const QString &text) {
            if (text.size() >= 3)
                normaliseAndAdvance(i);
        });
    }
}

QStringList OctetEntry::texts() const
{
    QStringList result;
    for (const QLineEdit *box : mBoxes)
        result << box->text();
    return result;
}

void OctetEntry::focusBox(int index)
{
    mBoxes[index]->setFocus(Qt::OtherFocusReason);
    mBoxes[index]->setSelection(0, 3);
}

void OctetEntry::normaliseAndAdvance(int index)
{
    // Setting the same text again raises no change, so "999" is not normalised twice.
    mBoxes[index]->setText(Octets::normalised(mBoxes[index]->text()));
    focusBox((index + 1) % 4);
}

bool OctetEntry::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->text() == QLatin1String(".")) {
        for (int i = 0; i < 4; ++i)
            if (watched == mBoxes[i] && !mBoxes[i]->text().isEmpty())
                normaliseAndAdvance(i);
        return true;
    }
    return QObject::eventFilter(watched, event);
}
