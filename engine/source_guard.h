#pragma once

#include "platform/file_snapshot.h"

#include <QByteArray>
#include <QSet>
#include <QString>

struct FileEntry;

struct JobPlan;

// The path of the file an entry converts, as bytes (a name that is not UTF-8 keeps its own).
QByteArray SourceBytes(const FileEntry& entry);

// The files a batch reads, by identity, so that no job writes its output over one of them: an
// output folder that is a link to a source folder, or "song.flac" whose output "song.mp3" is
// another source of the same batch. Each source is examined once, as it joins the batch; each
// job's output once, as it starts. A batch of a hundred thousand files stays one lookup per job.
class BatchSources
{
public:
    void clear() { m_files.clear(); }
    // A source that does not exist, or cannot be examined, holds no file an output could replace.
    void add(const QByteArray& path);
    qsizetype size() const { return m_files.size(); }

    // Why a job may not write its output: "" when the file there (links followed) is none of
    // the sources.
    QString refusalFor(const JobPlan& plan) const;

private:
    QSet<FileIdentity> m_files;
};
