#pragma once

#include <QObject>
#include <QTimer>

// Turns Ctrl-C (SIGINT) and SIGTERM into a Qt signal while it lives, so that
// a long run can be cancelled and its output discarded instead of the
// program ending half-way. The first such signal emits interrupted() on the
// object's thread, within 50 ms, and gives both signals the action they had
// before (for a program started from a shell: a second one ends it at
// once). A signal the program was started to ignore stays ignored. One
// instance at a time; its thread must run an event loop.
class Interruption : public QObject
{
    Q_OBJECT
public:
    explicit Interruption(QObject *parent = nullptr);
    ~Interruption() override;

    // SIGINT or SIGTERM once interrupted, else 0.
    int signalNumber() const { return m_signal; }

Q_SIGNALS:
    void interrupted();

private:
    void look();

    QTimer m_timer;
    int m_signal = 0;
};
