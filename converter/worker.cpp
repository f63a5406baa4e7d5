#include "converter/worker.h"

#include "converter/in_process.h"
#include "converter/keep_alive.h"
#include "converter/worker_frames.h"

#include <csignal>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

std::mutex outputLock;

bool writeAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t wrote = write(fd, data.data() + done, data.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

bool send(char kind, const std::string& payload)
{
    const std::lock_guard<std::mutex> lock(outputLock);
    return writeAll(STDOUT_FILENO, worker_frames::encode(kind, payload));
}

// The job's steps that print nothing for a while still show the driver that the job moves.
void sendKeepAlive()
{
    send(worker_frames::KeepAlive, {});
}

// Runs one job with its console (stderr) going into frames as it is written.
int runFramed(const std::function<int(const std::vector<std::string>&)>& convertOne,
              const std::vector<std::string>& arguments)
{
    int console[2];
    if (pipe(console) != 0)
        return convertOne(arguments);
    const int savedError = dup(STDERR_FILENO);
    dup2(console[1], STDERR_FILENO);
    close(console[1]);
    // Signals are the job's: its stop and its helpers' ends are read by the job's own thread
    // (some through a signalfd), so the pump is started with every signal blocked and never
    // takes one of them away.
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before);
    std::thread pump([reader = console[0]] {
        char buffer[4096];
        while (true) {
            const ssize_t got = read(reader, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            send(worker_frames::Console, std::string(buffer, static_cast<std::size_t>(got)));
        }
        close(reader);
    });
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    const int status = convertOne(arguments);
    dup2(savedError, STDERR_FILENO); // the pipe's last writer closes: the pump drains and ends
    close(savedError);
    pump.join();
    return status;
}

} // namespace

int runWorker(const std::function<int(const std::vector<std::string>&)>& convertOne)
{
    // The job's results go back on stdout as frames; nothing else may write there.
    signal(SIGPIPE, SIG_IGN);
    keep_alive::setBeat(sendKeepAlive);
    worker_frames::Reader reader;
    char buffer[4096];
    while (true) {
        while (auto frame = reader.next()) {
            if (frame->kind != worker_frames::Job)
                return 2;
            const int status = runFramed(convertOne, worker_frames::jobArguments(frame->payload));
            if (!send(worker_frames::Exit, std::to_string(status)))
                return 1;
            // A stop ends the job, then the worker (the driver replaces it when it needs one).
            if (status >= 128)
                return status;
            // Waiting for the next job, a stop ends the worker at once, as it ends any program.
            sigset_t stops;
            sigemptyset(&stops);
            for (const int stop : {SIGTERM, SIGINT, SIGHUP}) {
                std::signal(stop, SIG_DFL);
                sigaddset(&stops, stop);
            }
            pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
            if (const int stop = stopRequestedInProcess())
                return 128 + stop;
        }
        if (reader.broken())
            return 2;
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return 0;
        reader.add(buffer, static_cast<std::size_t>(got));
    }
}
