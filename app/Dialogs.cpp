#include "Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <map>

namespace {

const std::map<Dialogs::Button, QMessageBox::StandardButton> kButtons{
    {Dialogs::Button::Ok, QMessageBox::Ok},         {Dialogs::Button::Cancel, QMessageBox::Cancel},
    {Dialogs::Button::Abort, QMessageBox::Abort},   {Dialogs::Button::Retry, QMessageBox::Retry},
    {Dialogs::Button::Ignore, QMessageBox::Ignore},
};

// Which of the message's buttons a button of the box is.
constexpr char kButtonProperty[] = "dialogButton";

// Buttons of the program's own, with their captions.
const std::map<Dialogs::Button, const char *> kOwnButtons{
    {Dialogs::Button::Stop, "Stop"},
    {Dialogs::Button::Continue, "Continue"},
};

QMessageBox::Icon iconOf(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Exclamation:
        return QMessageBox::Warning;
    case Dialogs::Icon::Critical:
        return QMessageBox::Critical;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    case Dialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

Dialogs::Button escapeOf(const Dialogs::Message &message)
{
    return message.buttons.contains(Dialogs::Button::Cancel) ? Dialogs::Button::Cancel : message.defaultButton;
}

Dialogs::Button pressedIn(const QMessageBox *box, const Dialogs::Message &message)
{
    const QAbstractButton *clicked = box->clickedButton();
    return clicked ? static_cast<Dialogs::Button>(clicked->property(kButtonProperty).toInt()) : escapeOf(message);
}

} // namespace

QMessageBox *QtDialogs::build(const Message &message, QWidget *parent)
{
    auto *box = new QMessageBox(parent);
    box->setIcon(iconOf(message.icon));
    box->setWindowTitle(message.title);
    box->setTextFormat(Qt::PlainText);
    box->setText(QString(message.text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    for (const Button button : message.buttons) {
        QAbstractButton *made = kOwnButtons.count(button) ? box->addButton(QString::fromLatin1(kOwnButtons.at(button)),
                                                                           QMessageBox::ActionRole)
                                                          : box->addButton(kButtons.at(button));
        made->setProperty(kButtonProperty, static_cast<int>(button));
        if (button == message.defaultButton)
            box->setDefaultButton(qobject_cast<QPushButton *>(made));
        // Escape and the window's close button answer Cancel where there is one, else the default
        // button: never a button that moves the upgrade on.
        if (button == escapeOf(message))
            box->setEscapeButton(made);
    }
    return box;
}

Dialogs::Button QtDialogs::show(const Message &message)
{
    QMessageBox *box = build(message, mParent);
    box->exec();
    const Button pressed = pressedIn(box, message);
    delete box;
    return pressed;
}

void QtDialogs::ask(const Message &message, std::function<void(Button)> answered)
{
    QMessageBox *box = build(message, mParent);
    mAsked = box;
    QObject::connect(box, &QMessageBox::finished, box, [box, message, answered = std::move(answered)] {
        box->deleteLater();
        answered(pressedIn(box, message));
    });
    box->open();
}

void QtDialogs::dismiss()
{
    if (mAsked && mAsked->escapeButton())
        mAsked->escapeButton()->click();
}

QString QtDialogs::chooseFolder(const QString &title, const QString &start)
{
    return QFileDialog::getExistingDirectory(mParent, title, start, QFileDialog::ShowDirsOnly);
}
