#pragma once

#include <QList>
#include <QPointer>
#include <QString>

#include <functional>

class QMessageBox;
class QWidget;

// Every message box and the folder chooser of the program go through this interface, so that a
// test can answer them by script.
class Dialogs
{
public:
    enum class Icon
    {
        None,
        Information,
        Exclamation,
        Critical,
        Question,
    };
    enum class Button
    {
        Ok,
        Cancel,
        Abort,
        Retry,
        Ignore,
        Stop,
        Continue,
    };

    struct Message
    {
        Icon icon = Icon::None;
        QList<Button> buttons{Button::Ok};
        Button defaultButton = Button::Ok;
        QString title;
        QString text; // lines joined by CR LF
    };

    // A message with the OK button only.
    static Message notice(Icon icon, const QString &title, const QString &text)
    {
        return {icon, {Button::Ok}, Button::Ok, title, text};
    }

    virtual ~Dialogs() = default;
    // Shows the message modally and returns the button pressed.
    virtual Button show(const Message &message) = 0;
    // Shows the message without waiting for the answer: every wait and every event goes on meanwhile,
    // and `answered` is called with the button pressed.
    virtual void ask(const Message &message, std::function<void(Button)> answered) = 0;
    // Closes the message being asked, as Escape would: the run it asked about has ended.
    virtual void dismiss() = 0;
    // A folder chosen by the operator, starting at `start`; empty when cancelled.
    virtual QString chooseFolder(const QString &title, const QString &start) = 0;
};

// The real dialogs: QMessageBox and the platform's folder chooser, owned by `parent`.
class QtDialogs final : public Dialogs
{
public:
    explicit QtDialogs(QWidget *parent) : mParent(parent) {}

    Button show(const Message &message) override;
    void ask(const Message &message, std::function<void(Button)> answered) override;
    void dismiss() override;
    QString chooseFolder(const QString &title, const QString &start) override;

    // The message box that show() runs, for pictures of it.
    static QMessageBox *build(const Message &message, QWidget *parent);

private:
    QWidget *mParent;
    QPointer<QMessageBox> mAsked;
};
