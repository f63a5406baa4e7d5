#pragma once

// How a conversion ended, told the way a supervised child's end is told: a conversion through
// ffmpeg fills it from the child, one in this process as if it had been one, so the rest of conv
// treats both alike.
struct ChildResult
{
    int startError = 0;  // errno when the program could not be started
    int exitStatus = -1; // the child's exit code after a normal exit
    int termSignal = 0;  // the signal that ended the child
    int stopSignal = 0;  // the signal (SIGTERM, SIGINT, SIGHUP) that asked conv to stop
    bool sinkFailed = false;

    bool succeeded() const
    {
        return startError == 0 && stopSignal == 0 && !sinkFailed && exitStatus == 0;
    }
};
