#include "OctetEntry.h"

#include <QKeyEvent>
#include <QLineEdit>

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
