#include "platform/channel_probe.h"

#include <windows.h>

int channelCreationError()
{
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &attributes, 0))
        return static_cast<int>(GetLastError());
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
    return 0;
}
