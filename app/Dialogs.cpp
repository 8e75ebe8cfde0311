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

QMessageBox::Icon iconOf(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Exclamation:
        return QMessageBox::Warning;
    case Dialogs::Icon::Critical:
        return QMessageBox::Critical;
    case Dialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QMessageBox *QtDialogs::build(const Message &message, QWidget *parent)
{
    auto *box = new QMessageBox(parent);
    box->setIcon(iconOf(message.icon));
    box->setWindowTitle(message.title);
    box->setTextFormat(Qt::PlainText);
    box->setText(QString(message.text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    QMessageBox::StandardButtons buttons;
    for (const Button button : message.buttons)
        buttons |= kButtons.at(button);
    box->setStandardButtons(buttons);
    box->setDefaultButton(kButtons.at(message.defaultButton));
    // Escape and the window's close button answer Cancel where there is one, else the default
    // button: never a button that moves the upgrade on.
    const Button escape = message.buttons.contains(Button::Cancel) ? Button::Cancel : message.defaultButton;
    box->setEscapeButton(box->button(kButtons.at(escape)));
    return box;
}

Dialogs::Button QtDialogs::show(const Message &message)
{
    QMessageBox *box = build(message, mParent);
    box->exec();
    const auto pressed = box->standardButton(box->clickedButton());
    delete box;
    for (const auto &[button, standard] : kButtons)
        if (standard == pressed)
            return button;
    return message.buttons.contains(Button::Cancel) ? Button::Cancel : message.defaultButton;
}

QString QtDialogs::chooseFolder(const QString &title, const QString &start)
{
    return QFileDialog::getExistingDirectory(mParent, title, start, QFileDialog::ShowDirsOnly);
}
