#pragma once

#include "cli/batch_jobs.h"
#include "cli/batch_options.h"
#include "engine/conversion_settings.h"

#include <QTextStream>

// trevalon-batch --sshloginfile: checks what the run needs on this machine, then prints the
// parallel command and the job list (--dry-run) or converts the jobs on the listed machines.
// Returns the exit status: 0 all converted, 1 some failed or the run could not start, 2 a bad
// argument, 130 stopped.
int RunOnMachines(const BatchOptions& options, const QVector<BatchJob>& jobs,
                  const ConversionSettings& settings, bool terminal, QTextStream& out,
                  QTextStream& err);
