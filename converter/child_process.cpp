#include "converter/child_process.h"

#include "converter/keep_alive.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int StopGraceMilliseconds = 2000;
constexpr std::size_t ReadBlockSize = 64 * 1024;

long long nowMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

sigset_t supervisedSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&set, signal);
    return set;
}

} // namespace

ChildProcess::ChildProcess()
{
    // The signals are taken from a signalfd, so a stop request arriving at any moment (even before
    // the child exists) is seen by the wait loop and never lost.
    const sigset_t set = supervisedSignals();
    sigprocmask(SIG_BLOCK, &set, &m_originalMask);
    m_signalFd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

ChildProcess::~ChildProcess()
{
    if (m_stdoutFd >= 0)
        close(m_stdoutFd);
    if (m_signalFd >= 0)
        close(m_signalFd);
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                         bool pipeStdout, ChildResult& result)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    int dataPipe[2] = {-1, -1};
    int errorPipe[2] = {-1, -1};
    const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (m_signalFd < 0 || devNull < 0 || pipe2(errorPipe, O_CLOEXEC) != 0 ||
        (pipeStdout && pipe2(dataPipe, O_CLOEXEC) != 0)) {
        result.startError = errno != 0 ? errno : EIO;
        return false;
    }

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        sigprocmask(SIG_SETMASK, &m_originalMask, nullptr);
        dup2(devNull, STDIN_FILENO);
        if (pipeStdout)
            dup2(dataPipe[1], STDOUT_FILENO);
        execv(program.c_str(), argv.data());
        const int error = errno;
        (void)!write(errorPipe[1], &error, sizeof error);
        _exit(127);
    }
    const int forkError = errno;
    close(devNull);
    close(errorPipe[1]);
    if (pipeStdout)
        close(dataPipe[1]);
    if (pid < 0) {
        close(errorPipe[0]);
        if (pipeStdout)
            close(dataPipe[0]);
        result.startError = forkError;
        return false;
    }
    m_pid = pid;

    // The error pipe closes on a successful exec; otherwise it carries exec's errno.
    int execError = 0;
    ssize_t got;
    do {
        got = read(errorPipe[0], &execError, sizeof execError);
    } while (got < 0 && errno == EINTR);
    close(errorPipe[0]);
    if (got == static_cast<ssize_t>(sizeof execError)) {
        waitpid(pid, nullptr, 0);
        m_pid = -1;
        if (pipeStdout)
            close(dataPipe[0]);
        result.startError = execError;
        return false;
    }
    if (pipeStdout)
        m_stdoutFd = dataPipe[0];
    return true;
}

void ChildProcess::requestStop()
{
    if (m_stopping)
        return;
    m_stopping = true;
    kill(m_pid, SIGTERM);
    m_killDeadline = nowMilliseconds() + StopGraceMilliseconds;
}

ChildResult ChildProcess::run(const std::string& program, const std::vector<std::string>& arguments,
                              const Sink& stdoutSink)
{
    ChildResult result;
    if (!start(program, arguments, static_cast<bool>(stdoutSink), result))
        return result;

    std::vector<char> buffer(ReadBlockSize);
    bool childRunning = true;
    while (childRunning || m_stdoutFd >= 0) {
        pollfd fds[2] = {{m_signalFd, POLLIN, 0}, {m_stdoutFd, POLLIN, 0}};
        const nfds_t count = m_stdoutFd >= 0 ? 2 : 1;
        int timeout = -1;
        if (m_stopping && childRunning)
            timeout = static_cast<int>(std::max(0LL, m_killDeadline - nowMilliseconds()));
        const int ready = poll(fds, count, timeout);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready == 0 && m_stopping && childRunning) {
            kill(m_pid, SIGKILL);
            m_killDeadline = nowMilliseconds() + 60 * 60 * 1000;
        }

        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info;
            while (read(m_signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                const int signal = static_cast<int>(info.ssi_signo);
                if (signal != SIGCHLD && childRunning) {
                    if (result.stopSignal == 0)
                        result.stopSignal = signal;
                    requestStop();
                }
            }
            int status = 0;
            if (childRunning && waitpid(m_pid, &status, WNOHANG) == m_pid) {
                childRunning = false;
                if (WIFEXITED(status))
                    result.exitStatus = WEXITSTATUS(status);
                else if (WIFSIGNALED(status))
                    result.termSignal = WTERMSIG(status);
            }
        }

        if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t got = read(m_stdoutFd, buffer.data(), buffer.size());
            if (got > 0 && !result.sinkFailed && !m_stopping) {
                // What a helper hands over is work done, also where it prints nothing itself.
                keep_alive::jobMoved();
                if (!stdoutSink(buffer.data(), static_cast<std::size_t>(got))) {
                    result.sinkFailed = true;
                    requestStop();
                }
            } else if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) {
                close(m_stdoutFd);
                m_stdoutFd = -1;
            }
        }
    }
    m_pid = -1;
    return result;
}
