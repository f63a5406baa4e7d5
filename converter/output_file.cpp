#include "converter/output_file.h"

#include "converter/keep_alive.h"
#include "converter/unfinished_name.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr off_t FlushStep = 16 * 1024 * 1024;

// Flushes the file to the disk a part at a time, so that a long flush (a large file going to a
// slow stick) shows that it moves; the closing fsync writes the rest and the file's entry.
int flush(int fd)
{
    struct stat file;
    if (fstat(fd, &file) == 0) {
        for (off_t at = 0; at < file.st_size; at += FlushStep) {
            if (sync_file_range(fd, at, FlushStep,
                                SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                    SYNC_FILE_RANGE_WAIT_AFTER) != 0)
                break; // a file system that cannot: fsync does it all
            keep_alive::jobMoved();
        }
    }
    return fsync(fd) == 0 ? 0 : errno;
}

// ffmpeg takes "name:..." as a protocol when the name is made of these characters.
bool namesProtocol(const std::string& path)
{
    const std::size_t schemeEnd =
        path.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.");
    return schemeEnd != std::string::npos && schemeEnd > 0 && path[schemeEnd] == ':';
}

bool processRuns(long pid)
{
    // EPERM: it runs, as another user.
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool writtenWhole(const std::string& outputPath)
{
    if (outputPath.empty() || outputPath.back() == '/' || namesProtocol(outputPath))
        return false;
    // A folder that is missing or cannot be written is left to ffmpeg, whose message then names
    // the output itself rather than the unfinished file.
    struct stat info;
    const std::string folder = folderOf(outputPath);
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        access(folder.c_str(), W_OK | X_OK) != 0)
        return false;
    if (lstat(outputPath.c_str(), &info) != 0)
        return errno == ENOENT;
    return S_ISREG(info.st_mode) || S_ISLNK(info.st_mode);
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void removeLeftovers(const std::string& folder, const Report& report)
{
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr)
        return; // the conversion itself says why the folder cannot be written
    const int folderFd = dirfd(listing);
    while (const dirent* entry = readdir(listing)) {
        const auto left = readUnfinishedOutputName(entry->d_name);
        if (!left || left->pid == getpid() || processRuns(left->pid))
            continue;
        struct stat info;
        if (fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode))
            continue;
        if (unlinkat(folderFd, entry->d_name, 0) == 0)
            report("removed the unfinished " + left->outputName + " (" + entry->d_name +
                   ") left by a conversion that was cut off");
        else if (errno != ENOENT) // another conversion into the folder may have been first
            report("cannot remove the unfinished " + left->outputName + " (" + entry->d_name +
                   ") left by a conversion that was cut off: " + std::strerror(errno));
    }
    closedir(listing);
}

std::string sourceAtOutput(const Arguments& arguments, const std::string& outputPath)
{
    struct stat output;
    if (stat(outputPath.c_str(), &output) != 0)
        return {};
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] != "-i")
            continue;
        struct stat source;
        const std::string& input = arguments[i + 1];
        if (stat(input.c_str(), &source) == 0 && source.st_dev == output.st_dev &&
            source.st_ino == output.st_ino)
            return baseName(input);
    }
    return {};
}

int putInPlace(const std::string& unfinishedPath, const std::string& outputPath)
{
    // Flushed first, so that after a power loss the output path holds the whole file or the
    // earlier one, never a name for blocks that were not written yet.
    const int fd = open(unfinishedPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno;
    const int flushed = flush(fd);
    close(fd);
    if (flushed != 0 && flushed != EINVAL) // EINVAL: a file system that cannot flush
        return flushed;
    return rename(unfinishedPath.c_str(), outputPath.c_str()) == 0 ? 0 : errno;
}

int discard(const std::string& unfinishedPath)
{
    return unlink(unfinishedPath.c_str()) == 0 || errno == ENOENT ? 0 : errno;
}
