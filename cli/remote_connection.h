#pragma once

#include <QString>
#include <QStringList>

// One ssh connection per machine for a remote run: every ssh call to a machine (the start check,
// rsync's copies, the jobs, the clean-up) goes through a master connection that the first call
// opens, instead of logging in again. The options are added to each machine's ssh command on top
// of the user's own ssh configuration, and the masters are closed when the run ends.

// The folder for this run's control sockets, made private to the user: a folder of its own below
// the user's private Trevalon folder, or below /tmp when that path is too long for a Unix socket
// (a long TMPDIR) or holds characters a shell would read (a blank in TMPDIR). Empty, with the
// reason, when no such folder can be made; the run then logs in per call.
QString ConnectionSocketFolder(QString* problem);

// The ssh options that make calls share one connection, its socket in socketFolder under ssh's
// short %C hash, so the socket path stays short whatever the machine is called.
QString SharedConnectionOptions(const QString& socketFolder);

// A sshlogin file line ([@groups/][jobs/][ssh command ]login) with the options put into its own
// ssh command. A line without a command of its own is kept: its machine gets them through
// parallel's --ssh, which only such lines use. So is a line whose command is not ssh itself (a
// wrapper such as sshpass), whose calls then log in each time.
QString WithSharedConnection(const QString& loginLine, const QString& options);
// A text (a message naming a login) as the user wrote the login.
QString WithoutSharedConnection(QString text, const QString& options);

// The shell command that closes the master connection of a sshlogin file line, as parallel would
// call ssh for it (its own ssh command or "ssh" with the options, -p, -l, then the host). Empty for
// the local machine (":") and lines parallel could not use either.
QString CloseConnectionCommand(const QString& loginLine, const QString& options);

// The shell command that runs /bin/sh on the machine of a sshlogin file line, as parallel would
// log in there (through the shared connection where the line has it), reading its script from
// standard input. Empty for the local machine (":") and lines that are no login.
QString MachineShellCommand(const QString& loginLine, const QString& options);
