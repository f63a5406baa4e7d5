#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

// Running trevalon-batch and making and measuring the clips it converts, for the tests that drive
// it as a user would.
namespace batch_process {

inline const QString ProgramFolder = QStringLiteral(TREVALON_PROGRAM_DIR);

struct BatchOutcome
{
    int exitCode = -1;
    QString out;
    QString err;
};

inline BatchOutcome
runBatch(const QStringList& arguments, int timeoutMs = 120000,
         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(ProgramFolder + QStringLiteral("/trevalon-batch"), arguments);
    EXPECT_TRUE(process.waitForFinished(timeoutMs)) << "trevalon-batch did not finish";
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// A stereo sine clip; FFmpeg picks the codec from the name's extension.
inline bool makeClip(const QString& path, int seconds)
{
    return QProcess::execute(QStringLiteral("ffmpeg"),
                             {QStringLiteral("-loglevel"), QStringLiteral("error"),
                              QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                              QStringLiteral("-i"),
                              QStringLiteral("sine=frequency=440:duration=%1").arg(seconds),
                              QStringLiteral("-ac"), QStringLiteral("2"), path}) == 0;
}

// The length ffprobe reads from a file; -1 when it cannot read one.
inline double durationOf(const QString& path)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                 QStringLiteral("format=duration"), QStringLiteral("-of"),
                 QStringLiteral("csv=p=0"), path});
    probe.waitForFinished();
    bool ok = false;
    const double seconds = QString::fromUtf8(probe.readAllStandardOutput()).trimmed().toDouble(&ok);
    return ok ? seconds : -1;
}

// A tag of the file's container as players read it; "" when it has none.
inline QString formatTagOf(const QString& path, const QString& tag)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                 QStringLiteral("format_tags=") + tag, QStringLiteral("-of"),
                 QStringLiteral("csv=p=0"), path});
    probe.waitForFinished();
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
}

// Whether any running process has the text in its command line.
inline bool anyProcessMentions(const QString& text)
{
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : pids) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(text.toUtf8()))
            return true;
    }
    return false;
}

} // namespace batch_process
