#pragma once

#include <QObject>

// Turns Ctrl-C (SIGINT) and SIGTERM into a Qt signal delivered by the event loop, so a command-line
// run can stop its converters and clean up instead of dying with half-written files.
class InterruptWatch : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatch(QObject* parent = nullptr);
    ~InterruptWatch() override;

    bool isWatching() const { return m_watching; }

signals:
    void interrupted(int signalNumber);

private:
    bool m_watching = false;
};
