#pragma once

#include "cli/remote_command.h"

#include <QByteArray>
#include <QStringList>

// The start check: before the first job, every machine of the sshlogin file converts a short tone
// with the run's remote program and format settings, in the run's working folder there, and
// answers with one framed line (see SelectMachines). A machine that cannot be logged in to, has no
// trevalon-batch or cannot convert is left out, so no job is sent to it.

// A tenth of a second of a 440 Hz tone as a WAV file: 8 kHz, mono, 16 bits.
QByteArray CheckToneWav();

// The check's script for /bin/sh on the machine of one login (a sshlogin line without its prefix).
QString MachineCheckScript(const RemoteRunSetup& setup, const QString& login);
