#include "cli/job_queue.h"

JobQueue::JobQueue(QVector<QString> outputPaths)
    : m_outputs(std::move(outputPaths)), m_started(m_outputs.size(), false)
{
}

std::optional<int> JobQueue::takeNext()
{
    while (m_firstWaiting < total() && m_started[m_firstWaiting])
        ++m_firstWaiting;
    // Outputs of earlier jobs still waiting: a later job with the same output must not overtake them.
    QSet<QString> heldBack;
    for (int i = m_firstWaiting; i < total(); ++i) {
        if (m_started[i])
            continue;
        const QString& output = m_outputs[i];
        if (!m_runningOutputs.contains(output) && !heldBack.contains(output)) {
            m_started[i] = true;
            m_runningOutputs.insert(output);
            return i;
        }
        heldBack.insert(output);
    }
    return std::nullopt;
}

void JobQueue::finish(int index)
{
    m_runningOutputs.remove(m_outputs.at(index));
    ++m_finished;
}
