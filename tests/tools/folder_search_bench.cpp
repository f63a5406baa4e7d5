// Benchmark helper for bench/folder_search.
//   folder_search_bench generate DIR FOLDERS FILES_PER_FOLDER   builds a tree of empty files
//   folder_search_bench search DIR                              searches it into a file list model
// The search mode prints the number of files found and the peak memory of the process.
#include "intake/file_list_model.h"
#include "intake/folder_search.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <utility>

namespace {

long peakMemoryKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

int generate(const QString& root, int folders, int filesPerFolder)
{
    for (int folder = 0; folder < folders; ++folder) {
        // Two levels, so the search goes down as well as across.
        const QString dir = root + QStringLiteral("/group%1/folder%2")
                                       .arg(folder / 50, 2, 10, QLatin1Char('0'))
                                       .arg(folder, 4, 10, QLatin1Char('0'));
        if (!QDir().mkpath(dir))
            return 1;
        for (int file = 0; file < filesPerFolder; ++file) {
            QFile empty(dir + QStringLiteral("/track %1.mp3").arg(file, 4, 10, QLatin1Char('0')));
            if (!empty.open(QIODevice::WriteOnly))
                return 1;
        }
    }
    return 0;
}

int search(const QString& root)
{
    FileListModel model;
    FoundFiles batch;
    // Appended the way the window appends a search's results, in batches.
    SearchFolder(root, [&](QString&& path, QByteArray&& nativePath) {
        batch.append(std::move(path), std::move(nativePath));
        if (batch.paths.size() >= 2000)
            model.appendFoundPaths(std::exchange(batch, {}), root);
    });
    model.appendFoundPaths(std::move(batch), root);
    std::printf("files=%d\npeak_kib=%ld\n", model.count(), peakMemoryKiB());
    return model.count() > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args.at(1) == QStringLiteral("generate"))
        return generate(args.at(2), args.at(3).toInt(), args.at(4).toInt());
    if (args.size() == 3 && args.at(1) == QStringLiteral("search"))
        return search(args.at(2));
    std::fprintf(stderr, "usage: folder_search_bench generate DIR FOLDERS FILES | search DIR\n");
    return 2;
}
