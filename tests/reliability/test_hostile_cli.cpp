// Hostile names, unreadable sources, unusable output folders and a killed converter, through
// trevalon-batch as a user runs it: the batch goes on, the summary and the exit code account for
// every failure, nothing is written outside the output folder and no partial output survives.

#include "sandbox.h"

#include "converter/unfinished_name.h"
#include "support/folder_names.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

#include <dirent.h>
#include <unistd.h>

using namespace reliability;

namespace {

const QString ProgramFolder = QStringLiteral(TREVALON_PROGRAM_DIR);

// How a source is named in the summary: control characters and backslashes escaped, so that every
// failure is one line and no name can drive the terminal.
QString shownName(const QString& path)
{
    QString shown;
    for (const QChar c : path) {
        if (c == QLatin1Char('\n'))
            shown += QStringLiteral("\\n");
        else if (c == QLatin1Char('\\'))
            shown += QStringLiteral("\\\\");
        else
            shown += c;
    }
    return shown;
}

struct Summary
{
    int converted = -1;
    int failed = -1;
    QStringList failureLines; // "<source>: <reason>", one per failed source
};

// Reads "N converted, M failed" and the M lines after it.
Summary summaryOf(const QString& out)
{
    Summary summary;
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    static const QRegularExpression head(QStringLiteral("^(\\d+) converted, (\\d+) failed$"));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch match = head.match(lines[i]);
        if (!match.hasMatch())
            continue;
        summary.converted = match.captured(1).toInt();
        summary.failed = match.captured(2).toInt();
        summary.failureLines = lines.mid(i + 1);
    }
    return summary;
}

class HostileCommandLine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(ProgramFolder + QStringLiteral("/trevalon-batch")).isExecutable());
        out = box.path(QStringLiteral("out"));
    }

    QStringList arguments(const QStringList& extra) const
    {
        return QStringList{QStringLiteral("--settings-dir"), box.settings(),
                           QStringLiteral("--output"),       out,
                           QStringLiteral("--jobs"),         QStringLiteral("2")} +
               extra;
    }

    // Runs trevalon-batch to its end from inside the sandbox.
    void run(const QStringList& extra)
    {
        batch.setWorkingDirectory(box.root());
        batch.start(ProgramFolder + QStringLiteral("/trevalon-batch"), arguments(extra));
        ASSERT_TRUE(batch.waitForStarted());
        finish();
    }

    void finish()
    {
        ASSERT_TRUE(batch.waitForFinished(120000)) << "trevalon-batch did not finish";
        ASSERT_EQ(batch.exitStatus(), QProcess::NormalExit) << "trevalon-batch crashed";
        stdOut = QString::fromUtf8(batch.readAllStandardOutput());
        stdErr = QString::fromUtf8(batch.readAllStandardError());
        summary = summaryOf(stdOut);
    }

    std::string console() const
    {
        return (stdOut + QStringLiteral("\n---\n") + stdErr).toStdString();
    }

    void expectSummary(int converted, const QStringList& failedSources)
    {
        EXPECT_EQ(batch.exitCode(), failedSources.isEmpty() ? 0 : 1) << console();
        EXPECT_EQ(summary.converted, converted) << console();
        EXPECT_EQ(summary.failed, failedSources.size()) << console();
        // Each failed source on exactly one line of its own, with a reason after it.
        ASSERT_EQ(summary.failureLines.size(), failedSources.size()) << console();
        for (const QString& source : failedSources) {
            const QString prefix = shownName(source) + QStringLiteral(": ");
            const auto lines =
                std::count_if(summary.failureLines.cbegin(), summary.failureLines.cend(),
                              [&](const QString& line) {
                                  return line.startsWith(prefix) && line.size() > prefix.size();
                              });
            EXPECT_EQ(lines, 1) << source.toStdString() << "\n" << console();
        }
    }

    Sandbox box;
    QString out;
    QProcess batch;
    QString stdOut;
    QString stdErr;
    Summary summary;
};

// The processes whose parent is the given process.
QList<pid_t> childrenOf(qint64 parent)
{
    QList<pid_t> children;
    QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        bool number = false;
        const pid_t pid = it.fileName().toInt(&number);
        if (!number)
            continue;
        QFile status(it.filePath() + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("PPid:") && line.mid(5).trimmed().toLongLong() == parent)
                children << pid;
        }
    }
    return children;
}

// A one-second clip under a name in bytes.
bool makeClipNamed(const QString& folder, const QByteArray& name)
{
    const QString clip = folder + QStringLiteral("/clip.flac");
    return makeClip(clip, 1) &&
           ::rename(QFile::encodeName(clip).constData(),
                    (QFile::encodeName(folder) + '/' + name).constData()) == 0;
}

} // namespace

TEST_F(HostileCommandLine, AwkwardNamesConvertAndUnreadableSourcesAreSummarised)
{
    const HostileSources sources = makeHostileSources(box);
    // The folder is searched as the window's Add Folder does, including the folder named
    // "song.mp3"; a source named like an option is given after "--".
    QSet<QString> expectedOutputs;
    for (const QString& good : sources.good)
        expectedOutputs << outputName(good, QStringLiteral(".mp3"));
    expectedOutputs << QStringLiteral("inside.mp3");
    const Tree before = box.snapshot();

    run({QStringLiteral("--format"), QStringLiteral("MP3"), QStringLiteral("--"),
         QStringLiteral("sources")});

    expectSummary(static_cast<int>(sources.good.size()) + 1, sources.bad);
    EXPECT_EQ(filesIn(out), expectedOutputs) << console();
    for (const QString& name : expectedOutputs)
        EXPECT_GT(QFileInfo(out + QLatin1Char('/') + name).size(), 1000) << name.toStdString();
    EXPECT_EQ(box.changesSince(before, out), QStringList());
}

TEST_F(HostileCommandLine, OutputFolderThatIsAFileIsReportedAndStaysUntouched)
{
    ASSERT_TRUE(writeFile(out, "a file where the output folder should be\n"));
    ASSERT_TRUE(makeClip(box.source(QStringLiteral("one.wav")), 1));
    const Tree before = box.snapshot();

    run({box.source(QStringLiteral("one.wav"))});

    EXPECT_EQ(batch.exitCode(), 1) << console();
    EXPECT_TRUE(stdErr.contains(QStringLiteral("cannot create the output folder ") + out))
        << console();
    EXPECT_EQ(box.changesSince(before, box.path(QStringLiteral("nothing"))), QStringList());
}

TEST_F(HostileCommandLine, OutputFolderLinkedToTheSourcesReplacesNoSource)
{
    // Through the link, song.mp3's output is song.mp3 itself, and song.flac's output is song.mp3,
    // which the batch has yet to read.
    const QStringList replaced = {box.source(QStringLiteral("song.flac")),
                                  box.source(QStringLiteral("song.mp3"))};
    for (const QString& source : replaced)
        ASSERT_TRUE(makeClip(source, 1));
    ASSERT_TRUE(makeClip(box.source(QStringLiteral("other.wav")), 1));
    ASSERT_TRUE(QFile::link(box.sources(), out));
    const Tree before = box.snapshot();

    run({QStringLiteral("--format"), QStringLiteral("MP3"), box.sources()});

    expectSummary(1, replaced);
    const QString reason = QStringLiteral(": the output would replace a source file (song.mp3)");
    for (const QString& line : std::as_const(summary.failureLines))
        EXPECT_TRUE(line.endsWith(reason)) << line.toStdString();
    EXPECT_EQ(box.changesSince(before, out), QStringList{QStringLiteral("+ sources/other.mp3")});
}

TEST_F(HostileCommandLine, ReadOnlyOutputFolderFailsEveryFile)
{
    ASSERT_TRUE(QDir().mkpath(out));
    if (const QString reason = box.mountTmpfs(out, "ro,size=1m"); !reason.isEmpty())
        GTEST_SKIP() << "cannot mount a read-only file system here: " << reason.toStdString();
    const QStringList sources = {box.source(QStringLiteral("one.wav")),
                                 box.source(QStringLiteral("two.wav")),
                                 box.source(QStringLiteral("three.wav"))};
    for (const QString& source : sources)
        ASSERT_TRUE(makeClip(source, 1));
    const Tree before = box.snapshot();

    run({QStringLiteral("--format"), QStringLiteral("OGG"), box.sources()});

    expectSummary(0, sources);
    for (const QString& line : std::as_const(summary.failureLines))
        EXPECT_TRUE(line.endsWith(QStringLiteral(": Read-only file system"))) << line.toStdString();
    EXPECT_TRUE(filesIn(out).isEmpty());
    EXPECT_EQ(box.changesSince(before, out), QStringList());
}

TEST_F(HostileCommandLine, ReadOnlyParentOfAMissingOutputFolderIsReported)
{
    const QString parent = box.path(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(parent));
    if (const QString reason = box.mountTmpfs(parent, "ro,size=1m"); !reason.isEmpty())
        GTEST_SKIP() << "cannot mount a read-only file system here: " << reason.toStdString();
    out = parent + QStringLiteral("/out");
    ASSERT_TRUE(makeClip(box.source(QStringLiteral("one.wav")), 1));
    const Tree before = box.snapshot();

    run({box.source(QStringLiteral("one.wav"))});

    EXPECT_EQ(batch.exitCode(), 1) << console();
    EXPECT_TRUE(stdErr.contains(QStringLiteral("cannot create the output folder"))) << console();
    EXPECT_EQ(box.changesSince(before, box.path(QStringLiteral("nothing"))), QStringList());
}

TEST_F(HostileCommandLine, FullOutputFileSystemFailsTheFilesThatDoNotFitAndGoesOn)
{
    ASSERT_TRUE(QDir().mkpath(out));
    if (const QString reason = box.mountTmpfs(out, "size=64k"); !reason.isEmpty())
        GTEST_SKIP() << "cannot mount a small file system here: " << reason.toStdString();
    const QStringList big = {box.source(QStringLiteral("a big.flac")),
                             box.source(QStringLiteral("c bigger.flac"))};
    const QString small = box.source(QStringLiteral("b small.flac"));
    ASSERT_TRUE(makeClip(big[0], 2, {QStringLiteral("-ac"), QStringLiteral("2")}));
    ASSERT_TRUE(makeClip(small, 0.1));
    ASSERT_TRUE(makeClip(big[1], 3, {QStringLiteral("-ac"), QStringLiteral("2")}));
    const Tree before = box.snapshot();

    // One job at a time, so the small file is written while the big ones are not holding space.
    run({QStringLiteral("--format"), QStringLiteral("WAV"), QStringLiteral("--jobs"),
         QStringLiteral("1"), box.sources()});

    expectSummary(1, big);
    EXPECT_EQ(filesIn(out), QSet<QString>{QStringLiteral("b small.wav")});
    EXPECT_EQ(box.changesSince(before, out), QStringList());
}

TEST_F(HostileCommandLine, ConverterKilledMidFileIsSummarisedAndLeavesNoPartialOutput)
{
    // The first source stalls half-way, so its converter is reliably in the middle of the file
    // when it is killed.
    const QString live = box.source(QStringLiteral("live.wav"));
    const StalledSource stalled(live, box.root());
    ASSERT_TRUE(stalled.ready());
    const QString clip = box.path(QStringLiteral("clip.wav"));
    ASSERT_TRUE(makeClip(clip, 1));
    const QString next = box.source(QStringLiteral("next.wav"));
    ASSERT_TRUE(QFile::copy(clip, next));
    const Tree before = box.snapshot();

    batch.start(ProgramFolder + QStringLiteral("/trevalon-batch"),
                arguments({QStringLiteral("--format"), QStringLiteral("MP3"), live, next}));
    ASSERT_TRUE(batch.waitForStarted());
    // The converter writes under an unfinished name, carrying its process id, until the file is
    // whole: that names the converter running live.wav, whichever job it took before.
    pid_t converter = 0;
    const auto writing = [this, &converter] {
        for (const QString& name : filesIn(out)) {
            const auto file = readUnfinishedOutputName(QFile::encodeName(name).toStdString());
            if (file && file->outputName == "live.mp3") {
                converter = static_cast<pid_t>(file->pid);
                return true;
            }
        }
        return false;
    };
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000 && !writing())
        QThread::msleep(10);
    ASSERT_TRUE(writing()) << "the converter never opened its output";
    QThread::msleep(200); // let it encode what it was given
    const QList<pid_t> children = childrenOf(batch.processId());
    EXPECT_TRUE(children.contains(converter)) << "the writer is not the batch's converter";
    ASSERT_GT(converter, 0) << "no converter of live.wav found";
    ASSERT_EQ(::kill(converter, SIGKILL), 0);
    finish();

    expectSummary(1, {live});
    EXPECT_EQ(filesIn(out), QSet<QString>{QStringLiteral("next.mp3")})
        << "the killed job's partial output survived";
    EXPECT_EQ(box.changesSince(before, out), QStringList());
}

TEST_F(HostileCommandLine, FullOutputFileSystemFailsTheConvertersOwnAmrWriterCleanly)
{
    // AMR is written by the converter itself rather than by ffmpeg: its write errors must end the
    // file the same way. Two minutes of AMR (about 120 kB) cannot fit into 64 kB.
    ASSERT_TRUE(QDir().mkpath(out));
    if (const QString reason = box.mountTmpfs(out, "size=64k"); !reason.isEmpty())
        GTEST_SKIP() << "cannot mount a small file system here: " << reason.toStdString();
    const QString longClip = box.source(QStringLiteral("a long.wav"));
    const QString shortClip = box.source(QStringLiteral("b short.wav"));
    ASSERT_TRUE(makeClip(longClip, 120, {QStringLiteral("-ar"), QStringLiteral("8000")}));
    ASSERT_TRUE(makeClip(shortClip, 1, {QStringLiteral("-ar"), QStringLiteral("8000")}));
    const Tree before = box.snapshot();

    run({QStringLiteral("--format"), QStringLiteral("AMR"), QStringLiteral("--jobs"),
         QStringLiteral("1"), box.sources()});

    expectSummary(1, {longClip});
    ASSERT_EQ(summary.failureLines.size(), 1);
    EXPECT_TRUE(summary.failureLines[0].endsWith(QStringLiteral("No space left on device")))
        << console();
    EXPECT_EQ(filesIn(out), QSet<QString>{QStringLiteral("b short.amr")});
    EXPECT_EQ(box.changesSince(before, out), QStringList());
}

TEST_F(HostileCommandLine, NamesThatAreNotUtf8EachConvertToTheirOwnOutput)
{
    // "Brüder" with the one Latin-1 byte for ü beside "Brüder" in UTF-8, found by the search; and
    // two names that both show as "a\uFFFD.flac", given in argv as bytes.
    const QString latin = box.source(QStringLiteral("latin1"));
    ASSERT_TRUE(QDir().mkpath(latin));
    ASSERT_TRUE(makeClipNamed(latin, "Br\xfc" "der.flac"));
    ASSERT_TRUE(makeClipNamed(latin, "Br\xc3\xbc" "der.flac"));
    ASSERT_TRUE(makeClipNamed(box.sources(), "a\xfc.flac"));
    ASSERT_TRUE(makeClipNamed(box.sources(), "a\xfd.flac"));
    const QSet<QByteArray> sourcesBefore = namesIn(box.sources());

    // A process's arguments are text, so the shell puts the bytes into argv.
    batch.setWorkingDirectory(box.root());
    batch.start(QStringLiteral("/bin/sh"),
                QStringList{QStringLiteral("-c"),
                            QStringLiteral("exec \"$@\" \"$(printf 'sources/a\\374.flac')\" "
                                           "\"$(printf 'sources/a\\375.flac')\""),
                            QStringLiteral("sh"), ProgramFolder + QStringLiteral("/trevalon-batch")} +
                    arguments({QStringLiteral("--format"), QStringLiteral("MP3"),
                               QStringLiteral("sources/latin1")}));
    ASSERT_TRUE(batch.waitForStarted());
    finish();

    expectSummary(4, {});
    const QSet<QByteArray> expected = {"Br\xfc" "der.mp3", "Br\xc3\xbc" "der.mp3", "a\xfc.mp3",
                                       "a\xfd.mp3"};
    EXPECT_EQ(namesIn(out), expected) << console();
    for (const QByteArray& name : expected) {
        struct stat info {};
        ASSERT_EQ(::stat((QFile::encodeName(out) + '/' + name).constData(), &info), 0);
        EXPECT_GT(info.st_size, 1000);
    }
    EXPECT_EQ(namesIn(box.sources()), sourcesBefore);
    EXPECT_EQ(namesIn(latin).size(), 2);
    EXPECT_EQ(namesIn(box.path(QStringLiteral("tmp/trevalon-%1/staging").arg(::getuid()))),
              QSet<QByteArray>());
}

TEST_F(HostileCommandLine, FolderMountedInsideItselfIsSearchedOnce)
{
    const QString music = box.source(QStringLiteral("music"));
    ASSERT_TRUE(QDir().mkpath(music + QStringLiteral("/sub/again")));
    ASSERT_TRUE(writeFile(music + QStringLiteral("/a.wav"), "a"));
    ASSERT_TRUE(writeFile(music + QStringLiteral("/sub/b.wav"), "b"));
    if (const QString reason = box.bindMount(music, music + QStringLiteral("/sub/again"));
        !reason.isEmpty())
        GTEST_SKIP() << "cannot bind-mount a folder here: " << reason.toStdString();

    run({QStringLiteral("--dry-run"), music});

    EXPECT_EQ(batch.exitCode(), 0) << console();
    const QStringList lines = stdOut.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << console();
    EXPECT_TRUE(lines[0].contains(music + QStringLiteral("/a.wav"))) << console();
    EXPECT_TRUE(lines[1].contains(music + QStringLiteral("/sub/b.wav"))) << console();
}
