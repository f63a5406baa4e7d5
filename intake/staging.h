#pragma once

#include <QChar>
#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

class CodePage;

// True when the path, as the code page gives it back, is the same path and names an existing
// file (not a folder). A path the code page cannot hold is never taken for another file that
// happens to carry the "?" or look-alike form of its name.
bool FileExists(const QString& path, const CodePage& codePage);

// The staging folder: the program's own folder under the system temp folder.
QString StagingFolderPath();

// Creates the staging folder (and the program's temp folder above it) for this user only.
bool PrepareStagingFolder(const QString& stagingFolder, QString* error = nullptr);

// The name a source is staged under: the part of its file name before the first "." as the code
// page gives it back, every character not allowed in a name as a space, at most 200 characters;
// the time stamp "YYYYMMDD-HHMMSS" when nothing but spaces is left.
QString StagedName(const QString& sourcePath, const CodePage& codePage, QChar separator,
                   const QDateTime& now);

struct StageResult
{
    QString queuePath;   // what the list queues: the source itself or its staged copy
    bool staged = false; // the source could not be reached as it is, so a copy was made or tried
    bool copied = false; // the staged copy is in place
    QString error;       // why the copy failed
};

// Stages the sources the converter could not reach through the code page. One stager lives as
// long as the window, so it knows which source each staged name belongs to: a second source whose
// name cleans to the same staged name gets a numbered name of its own instead of replacing the
// first one's copy, while the same source staged again refreshes its own copy.
class SourceStager
{
public:
    using Clock = std::function<QDateTime()>;

    SourceStager(const CodePage& codePage, QString stagingFolder,
                 QChar separator = QDir::separator(),
                 Clock clock = [] { return QDateTime::currentDateTime(); });

    // Returns the source path when it is reachable, otherwise the staged path (even when the copy
    // failed, so the entry still appears and its conversion reports the missing file).
    StageResult StageSource(const QString& sourcePath);

    const QString& stagingFolder() const { return m_stagingFolder; }

private:
    QString uniqueStagedPath(const QString& name, const QString& sourcePath) const;

    const CodePage& m_codePage;
    QString m_stagingFolder;
    QChar m_separator;
    Clock m_clock;
    QHash<QString, QString> m_sourceOfStagedPath;
};

struct DeleteReport
{
    int filesRemoved = 0;   // files and symbolic links
    int foldersRemoved = 0;
    QStringList failures;   // what could not be removed, with the reason

    bool complete() const { return failures.isEmpty(); }
};

// Deletes a folder with everything in it. A symbolic link is removed as a link: nothing outside
// the folder is ever touched, and a folder that cannot be removed is reported once, never retried.
// A missing folder is no failure.
DeleteReport DeleteFolderTree(const QString& folder);

// Deletes the staging folder an earlier run left, but only when the folder above it (the program's
// own temp folder) is this user's own real folder: under a link or a folder another user planted,
// nothing is deleted and the report says why. Nothing to do when that folder does not exist.
DeleteReport ClearStagingFolder(const QString& stagingFolder);
