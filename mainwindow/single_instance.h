#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// One running copy per user: the first start holds a lock file until it ends; a second start
// finds the lock held by a live process and leaves, writing nothing.
class SingleInstance
{
public:
    explicit SingleInstance(const QString& lockFilePath);

    bool isFirst() const { return m_first; }

    // The user's runtime folder when there is one, otherwise the program's private folder under
    // the system temp folder.
    static QString DefaultLockFilePath();

private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_first = false;
};
