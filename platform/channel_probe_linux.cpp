#include "platform/channel_probe.h"

#include <cerrno>

#include <unistd.h>

int channelCreationError()
{
    int ends[2];
    if (::pipe(ends) != 0)
        return errno;
    ::close(ends[0]);
    ::close(ends[1]);
    return 0;
}
