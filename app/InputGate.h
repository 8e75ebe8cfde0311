#pragma once

#include <QObject>

#include <functional>

class QWidget;

// The operator's input to one window. While the window holds it (a network probe under way, the
// program ending) or a blocking call runs (a file transfer), every click and key press is dropped,
// never kept back to act later on whatever the window shows by then; the program's other windows (a
// question it asks meanwhile) take theirs. The second press of a double click on a button is no
// second click.
class InputGate : public QObject
{
    Q_OBJECT

public:
    explicit InputGate(QWidget *window);

    // Runs `call` with input held. Input made meanwhile that a wait kept back is delivered before
    // the hold ends, so it is dropped too.
    void holdDuring(const std::function<void()> &call);
    // Holds input from now on.
    void holdForGood() { ++mHolds; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *mWindow;
    int mHolds = 0;
};
