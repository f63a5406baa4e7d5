#pragma once

// Whether a console channel (a pipe) for a child process can be created right now: 0 when it
// can, otherwise the system's error code. Used to tell why a child could not be started.
int channelCreationError();
