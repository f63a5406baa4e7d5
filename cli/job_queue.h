#pragma once

#include <QSet>
#include <QString>
#include <QVector>

#include <optional>

// Decides which conversion may start next when several run at once. Jobs start in list order,
// except that a job never starts while another job writes the same output file, and never before
// an earlier job with that output: two sources with the same output name still finish in list order,
// so the later one overwrites, as in the window.
class JobQueue
{
public:
    explicit JobQueue(QVector<QString> outputPaths);

    // The index of the next job that may start now, if any.
    std::optional<int> takeNext();
    void finish(int index);

    int total() const { return static_cast<int>(m_outputs.size()); }
    int finished() const { return m_finished; }
    int running() const { return static_cast<int>(m_runningOutputs.size()); }
    bool done() const { return m_finished == total(); }

private:
    QVector<QString> m_outputs;
    QVector<bool> m_started;
    QSet<QString> m_runningOutputs;
    int m_firstWaiting = 0;
    int m_finished = 0;
};
