#include "converter/keep_alive.h"

#include <atomic>
#include <chrono>

namespace keep_alive {

namespace {

std::atomic<Beat> current{nullptr};
std::atomic<long long> lastBeat{0};

long long nowMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

void setBeat(Beat beat)
{
    lastBeat = 0;
    current = beat;
}

void jobMoved()
{
    const Beat beat = current.load();
    if (beat == nullptr)
        return;
    const long long now = nowMilliseconds();
    long long last = lastBeat.load();
    if (now - last < MinimumGapMilliseconds || !lastBeat.compare_exchange_strong(last, now))
        return;
    beat();
}

} // namespace keep_alive
