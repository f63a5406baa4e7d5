#pragma once

#include <QList>
#include <QSet>
#include <QString>

// The converter processes this program started: processes running the executable at
// executablePath (compared by the real path of the running file, not by name) that are this
// process's children or their descendants. A process of another program, even one running the
// same file, is never among them.
QList<qint64> OwnConverterProcesses(const QString& executablePath);

// Asks every one of OwnConverterProcesses to terminate (SIGTERM on Linux, so a converter can stop
// its own helpers) and returns the ids it signalled. The processes in spare and everything they
// started are left alone: they are the jobs of a batch that is still running. It does not wait
// for the others to end.
QList<qint64> KillProcessesByName(const QString& executablePath, const QSet<qint64>& spare = {});
