#pragma once

#include "Dialogs.h"

#include <QList>
#include <QQueue>

#include <functional>
#include <utility>

// Dialogs answered by script: each message is recorded and answered with the next scripted button
// (its default button when none is left); a question asked without waiting stays open when none is
// left, until answer() or dismiss(). The folder chooser returns the next scripted folder.
class ScriptedDialogs final : public Dialogs
{
public:
    Button show(const Message &message) override
    {
        shown.append(message);
        if (onShow)
            onShow(message);
        return answers.isEmpty() ? message.defaultButton : answers.dequeue();
    }

    void ask(const Message &message, std::function<void(Button)> answered) override
    {
        shown.append(message);
        if (onShow)
            onShow(message);
        if (!answers.isEmpty())
            answered(answers.dequeue());
        else
            mOpen = {message.buttons.contains(Button::Cancel) ? Button::Cancel : message.defaultButton,
                     std::move(answered)};
    }

    void dismiss() override
    {
        ++dismissals;
        answer(mOpen.first);
    }

    // The operator answers the question left open.
    void answer(Button button)
    {
        if (const auto answered = std::exchange(mOpen.second, nullptr))
            answered(button);
    }

    QString chooseFolder(const QString &title, const QString &start) override
    {
        folderRequests.append({title, start});
        return folders.isEmpty() ? QString() : folders.dequeue();
    }

    QQueue<Button> answers;
    QQueue<QString> folders;
    QList<Message> shown;
    QList<QPair<QString, QString>> folderRequests;
    std::function<void(const Message &)> onShow;
    int dismissals = 0;

private:
    std::pair<Button, std::function<void(Button)>> mOpen; // the escape button, and who waits for it
};

// A message as one text, for comparing with a whole expected message: "title | icon | buttons"
// (the default button marked *), a line break, then the text.
inline QString describe(const Dialogs::Message &message)
{
    static const char *const icons[] = {"none", "information", "exclamation", "critical", "question"};
    static const char *const buttons[] = {"Ok", "Cancel", "Abort", "Retry", "Ignore", "Stop", "Continue"};
    QString text = message.title + " | " + icons[static_cast<int>(message.icon)] + " |";
    for (const Dialogs::Button button : message.buttons)
        text += QString(" ") + buttons[static_cast<int>(button)] + (button == message.defaultButton ? "*" : "");
    return text + "\n" + message.text;
}
