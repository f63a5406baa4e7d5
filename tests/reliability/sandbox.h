#pragma once

// A sandbox for hostile-input batches: a private tree with its own home, temp and cache folders,
// awkwardly named sources made by ffmpeg, and snapshots that show what a batch changed.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>

#include "engine/qt_print.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace reliability {

inline QString fromErrno(const char* call)
{
    return QStringLiteral("%1 failed: %2")
        .arg(QLatin1String(call), QString::fromLocal8Bit(std::strerror(errno)));
}

// Moves this test process (and every process it starts) into a mount namespace of its own, so the
// small file systems the tests mount vanish with the process however it ends. Returns why not
// when the machine does not allow it; empty on success.
inline QString privateMountNamespace()
{
    static const QString reason = [] {
        if (::unshare(CLONE_NEWNS) != 0)
            return fromErrno("unshare(CLONE_NEWNS)");
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return fromErrno("making / private");
        return QString();
    }();
    return reason;
}

// What a tree holds: relative path -> "dir", "file <size> <sha256>", "link -> <target>" or
// "other". Every byte of every file is read, so a changed source shows as a changed checksum.
using Tree = QMap<QString, QString>;

inline Tree snapshot(const QString& root)
{
    Tree tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = QDir(root).relativeFilePath(path);
        if (info.isSymLink()) {
            tree.insert(relative, QStringLiteral("link -> ") + info.symLinkTarget());
        } else if (info.isDir()) {
            tree.insert(relative, QStringLiteral("dir"));
        } else if (info.isFile()) {
            QFile file(path);
            QCryptographicHash hash(QCryptographicHash::Sha256);
            if (file.open(QIODevice::ReadOnly))
                hash.addData(&file);
            tree.insert(relative, QStringLiteral("file %1 %2")
                                      .arg(info.size())
                                      .arg(QString::fromLatin1(hash.result().toHex())));
        } else {
            tree.insert(relative, QStringLiteral("other")); // a FIFO source is never read here
        }
    }
    return tree;
}

// Where a batch may write: whole folders (relative paths) and single entries.
struct Allowed
{
    QStringList trees;
    QStringList entries;
};

// Paths that were added, removed or changed between the snapshots, except the allowed ones.
// Each is "+ path", "- path" or "~ path".
inline QStringList changesOutside(const Tree& before, const Tree& after, const Allowed& allowed)
{
    const auto isAllowed = [&allowed](const QString& path) {
        if (allowed.entries.contains(path))
            return true;
        for (const QString& folder : allowed.trees) {
            if (path == folder || path.startsWith(folder + QLatin1Char('/')))
                return true;
        }
        return false;
    };
    QStringList changes;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (isAllowed(it.key()))
            continue;
        if (!after.contains(it.key()))
            changes << QStringLiteral("- ") + it.key();
        else if (after.value(it.key()) != it.value())
            changes << QStringLiteral("~ ") + it.key();
    }
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (!isAllowed(it.key()) && !before.contains(it.key()))
            changes << QStringLiteral("+ ") + it.key();
    }
    return changes;
}

// A tone made by the system's ffmpeg; extra arguments go before the output.
inline bool makeClip(const QString& path, double seconds, const QStringList& extra = {})
{
    QStringList arguments = {QStringLiteral("-hide_banner"),
                             QStringLiteral("-loglevel"),
                             QStringLiteral("error"),
                             QStringLiteral("-y"),
                             QStringLiteral("-f"),
                             QStringLiteral("lavfi"),
                             QStringLiteral("-i"),
                             QStringLiteral("sine=frequency=440:duration=%1").arg(seconds)};
    arguments << extra << path;
    return QProcess::execute(QStringLiteral("ffmpeg"), arguments) == 0;
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

// The folders of one sandboxed batch. HOME, TMPDIR and the XDG folders point inside the sandbox
// while it lives (for this process and every converter it starts), so anything the program
// writes lands in the snapshot. The only places a batch may write are the output folder, the
// staging folder and the converter's own cache of encoder sample rates.
class Sandbox
{
public:
    Sandbox()
    {
        for (const char* name : {"sources", "home", "tmp", "settings"})
            QDir(m_dir.path()).mkpath(QLatin1String(name));
        for (const auto& [name, folder] : {std::pair{"HOME", "home"}, std::pair{"TMPDIR", "tmp"},
                                           std::pair{"XDG_CACHE_HOME", "home/.cache"},
                                           std::pair{"XDG_CONFIG_HOME", "home/.config"},
                                           std::pair{"XDG_DATA_HOME", "home/.local/share"}}) {
            m_saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
            qputenv(name, QFile::encodeName(path(QLatin1String(folder))));
        }
    }

    ~Sandbox()
    {
        for (auto it = m_mounts.crbegin(); it != m_mounts.crend(); ++it)
            ::umount2(it->constData(), MNT_DETACH);
        for (const Saved& saved : m_saved) {
            if (saved.wasSet)
                qputenv(saved.name, saved.value);
            else
                qunsetenv(saved.name);
        }
    }

    QString root() const { return m_dir.path(); }
    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    QString sources() const { return path(QStringLiteral("sources")); }
    QString source(const QString& name) const { return sources() + QLatin1Char('/') + name; }
    QString settings() const { return path(QStringLiteral("settings")); }

    // The places a batch may write to.
    Allowed allowedChanges(const QString& outputFolder) const
    {
        return {{QDir(root()).relativeFilePath(outputFolder),
                 QStringLiteral("tmp/trevalon-%1").arg(::getuid()), // holds the staging folder
                 QStringLiteral("home/.cache/trevalon")},
                {QStringLiteral("home/.cache")}};
    }

    Tree snapshot() const { return reliability::snapshot(root()); }

    // Mounts a tmpfs with the given options ("size=64k", "ro,size=1m") on an existing folder of
    // the sandbox, unmounted again with the sandbox. Returns why it could not; empty on success.
    QString mountTmpfs(const QString& folder, const QByteArray& options)
    {
        if (const QString reason = privateMountNamespace(); !reason.isEmpty())
            return reason;
        unsigned long flags = MS_NOSUID | MS_NODEV;
        QByteArray data;
        for (const QByteArray& option : options.split(',')) {
            if (option == "ro")
                flags |= MS_RDONLY;
            else
                data += (data.isEmpty() ? "" : ",") + option;
        }
        const QByteArray target = QFile::encodeName(folder);
        if (::mount("trevalon-test", target.constData(), "tmpfs", flags, data.constData()) != 0)
            return fromErrno("mount -t tmpfs");
        m_mounts.append(target);
        return {};
    }

    // Mounts the folder a second time at target (a bind mount), for this process and the ones it
    // starts; empty when that worked, otherwise why not.
    QString bindMount(const QString& folder, const QString& target)
    {
        if (const QString reason = privateMountNamespace(); !reason.isEmpty())
            return reason;
        const QByteArray where = QFile::encodeName(target);
        if (::mount(QFile::encodeName(folder).constData(), where.constData(), nullptr, MS_BIND,
                    nullptr) != 0)
            return fromErrno("mount --bind");
        m_mounts.append(where);
        return {};
    }

    // What changed outside the allowed places since the snapshot was taken.
    QStringList changesSince(const Tree& before, const QString& outputFolder) const
    {
        return changesOutside(before, snapshot(), allowedChanges(outputFolder));
    }

private:
    struct Saved
    {
        const char* name;
        QByteArray value;
        bool wasSet;
    };

    QTemporaryDir m_dir;
    QList<Saved> m_saved;
    QList<QByteArray> m_mounts;
};

// The names of the files in a folder (not below it).
inline QSet<QString> filesIn(const QString& folder)
{
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System |
                                                     QDir::Dirs | QDir::NoDotAndDotDot);
    return QSet<QString>(names.begin(), names.end());
}

// Sources under awkward names and in awkward places, and sources no converter can read.
struct HostileSources
{
    QStringList good;       // one valid clip under every awkward name: each must convert
    QStringList bad;        // an empty file, a truncated MP4, text named .mp3 (twice)
    QString folderLikeFile; // a folder named "song.mp3" holding one valid clip, "inside.wav"
};

inline QStringList hostileNames()
{
    return {QStringLiteral("say \"hi\" 'there'.wav"),
            QStringLiteral("-leading dash.wav"),
            QStringLiteral("--help.wav"),
            QStringLiteral("pipe|name.wav"),
            QStringLiteral("colon:name.wav"),
            QStringLiteral("star*name.wav"),
            QStringLiteral("question?name.wav"),
            QStringLiteral("new\nline.wav"),
            QStringLiteral("音楽のファイル.wav"),
            QStringLiteral("emoji 🎵🎶 mix.wav"),
            QString(246, QLatin1Char('a')) + QStringLiteral(".wav"), // 250 bytes
            QString(82, QChar(0x97F3)) + QStringLiteral(".wav")};    // 250 bytes of CJK
}

// Made once per sandbox; every valid source is a copy of one short clip.
inline HostileSources makeHostileSources(const Sandbox& box)
{
    HostileSources made;
    const QString clip = box.path(QStringLiteral("clip.wav"));
    const QString mp4 = box.path(QStringLiteral("clip.mp4"));
    EXPECT_TRUE(makeClip(clip, 1, {QStringLiteral("-ar"), QStringLiteral("22050")}));
    EXPECT_TRUE(makeClip(mp4, 1, {QStringLiteral("-c:a"), QStringLiteral("aac")}));
    for (const QString& name : hostileNames()) {
        EXPECT_EQ(QFile::encodeName(name).size() <= 255, true) << name.toStdString();
        made.good << box.source(name);
    }
    QString deep = box.sources();
    for (int level = 1; level <= 40; ++level)
        deep += QStringLiteral("/level %1").arg(level, 2, 10, QLatin1Char('0'));
    EXPECT_TRUE(QDir().mkpath(deep));
    made.good << deep + QStringLiteral("/deep.wav");
    for (const QString& path : std::as_const(made.good))
        EXPECT_TRUE(QFile::copy(clip, path)) << path.toStdString();

    made.folderLikeFile = box.source(QStringLiteral("song.mp3"));
    EXPECT_TRUE(QDir().mkpath(made.folderLikeFile));
    EXPECT_TRUE(QFile::copy(clip, made.folderLikeFile + QStringLiteral("/inside.wav")));

    QFile whole(mp4);
    EXPECT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    made.bad = {
        box.source(QStringLiteral("empty.mp3")), box.source(QStringLiteral("truncated.mp4")),
        box.source(QStringLiteral("notes.mp3")), box.source(QStringLiteral("bad\nnotes.mp3"))};
    EXPECT_TRUE(writeFile(made.bad[0], {}));
    EXPECT_TRUE(writeFile(made.bad[1], bytes.left(bytes.size() / 2)));
    EXPECT_TRUE(writeFile(made.bad[2], "These are my notes, not music.\n"));
    EXPECT_TRUE(writeFile(made.bad[3], "Not music either.\n"));
    QFile::remove(clip);
    QFile::remove(mp4);
    return made;
}

// A source that is a pipe fed the first half of a clip and then kept open: the converter reading
// it stays in the middle of the file, without finishing or failing, for as long as the test
// wants. The feed holds enough to get past ffmpeg's probing, so the output is open by then.
class StalledSource
{
public:
    StalledSource(const QString& path, const QString& workFolder)
    {
        const QString clip = workFolder + QStringLiteral("/stalled-clip.wav");
        if (!makeClip(clip, 50, {QStringLiteral("-ar"), QStringLiteral("8000")}))
            return;
        QFile clipFile(clip);
        if (!clipFile.open(QIODevice::ReadOnly))
            return;
        const QByteArray half = clipFile.readAll().left(400000);
        clipFile.remove();
        const QByteArray name = QFile::encodeName(path);
        if (::mkfifo(name.constData(), 0600) != 0)
            return;
        m_fd = ::open(name.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            return;
        ::fcntl(m_fd, F_SETPIPE_SZ, 1 << 20);
        m_fed = ::write(m_fd, half.constData(), static_cast<size_t>(half.size())) == half.size();
    }
    ~StalledSource()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    StalledSource(const StalledSource&) = delete;
    StalledSource& operator=(const StalledSource&) = delete;

    bool ready() const { return m_fed; }

private:
    int m_fd = -1;
    bool m_fed = false;
};

// The output a source converts to in the folder, with the extension of the format.
inline QString outputName(const QString& source, const QString& extension)
{
    const QString name = QFileInfo(source).fileName();
    return name.left(name.indexOf(QLatin1Char('.'))) + extension;
}

} // namespace reliability
