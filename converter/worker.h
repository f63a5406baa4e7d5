#pragma once

#include <functional>
#include <string>
#include <vector>

// conv's worker mode: takes job after job from standard input and runs each through `convertOne`
// (the same function a single conv run uses), sending what the job writes on its console and its
// exit status back on standard output in frames (converter/worker_frames.h). Ends when its input
// ends, when the input is not frames, or after a job that a stop request ended. The libraries are
// loaded once for all the jobs.
int runWorker(const std::function<int(const std::vector<std::string>&)>& convertOne);
