#pragma once

#include "converter/child_result.h"

#include <csignal>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Runs one child program with no standard input and conv's own stderr, optionally with its stdout
// on a pipe read by conv. The child dies with conv (also after SIGKILL of conv), and a stop request
// sent to conv stops the child in steps: SIGTERM, then SIGKILL after a grace period.
class ChildProcess
{
public:
    using Sink = std::function<bool(const char* data, std::size_t size)>;

    ChildProcess();
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Blocks until the child has ended and, with a sink, its stdout is drained into the sink.
    // Without a sink the child writes to conv's stdout directly, so nothing is copied.
    ChildResult run(const std::string& program, const std::vector<std::string>& arguments,
                    const Sink& stdoutSink);

private:
    bool start(const std::string& program, const std::vector<std::string>& arguments,
               bool pipeStdout, ChildResult& result);
    void requestStop();

    sigset_t m_originalMask{};
    int m_signalFd = -1;
    int m_stdoutFd = -1;
    pid_t m_pid = -1;
    bool m_stopping = false;
    long long m_killDeadline = 0;
};
