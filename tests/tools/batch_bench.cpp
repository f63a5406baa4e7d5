// Converts a set of clips to MP3 headless, either through the window's batch driver ("batch",
// FILES_AT_ONCE files at once, 1 by default) or by running the same converter commands one after
// another ("direct"), and prints the wall time. In batch mode it also prints the largest gap
// between two ticks of a 10 ms timer, which shows whether the event loop stayed free while the
// batch ran. "commands" prints the same converter commands, one shell-quoted line each, for
// another runner such as GNU parallel.
//   [FILES_AT_ONCE=N] batch_bench batch|direct|commands PROGRAM_FOLDER OUTPUT_FOLDER CLIP...
#include "engine/batch_driver.h"
#include "engine/batch_view.h"
#include "engine/command_line.h"
#include "intake/file_list_model.h"
#include "platform/message_sink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <cstdio>

namespace {

class QuietView : public BatchView
{
public:
    void setBatchControlsEnabled(bool) override {}
    void showProgress(const ProgressDisplay&) override {}
    void setRevealTickEnabled(bool) override {}
    void openFolder(const QString&) override {}
    void playSound(const QString&, std::function<void()> finished) override { finished(); }
};

class ConsoleSink : public MessageSink
{
public:
    void showMessage(const QString& text, const QString&, Icon) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        ++count;
    }
    int count = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: batch_bench batch|direct|commands PROGRAM OUTPUT CLIP...\n");
        return 2;
    }
    const QString mode = args.at(1);
    const QString program = args.at(2);
    ConversionSettings settings;
    settings.outputFolder = args.at(3);
    settings.soundIndex = 1;
    const QStringList clips = args.mid(4);

    const int filesAtOnce = std::max(1, qEnvironmentVariableIntValue("FILES_AT_ONCE"));

    QElapsedTimer clock;
    if (mode == QStringLiteral("commands")) {
        const auto quoted = [](QString text) {
            return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
                   QLatin1Char('\'');
        };
        for (const QString& clip : clips) {
            const ConverterInvocation job = BuildConverterInvocation(program, clip, settings);
            QStringList words{quoted(job.program)};
            for (const QString& argument : job.arguments)
                words << quoted(argument);
            std::printf("%s\n", qPrintable(words.join(QLatin1Char(' '))));
        }
        return 0;
    }
    if (mode == QStringLiteral("direct")) {
        clock.start();
        int failed = 0;
        for (const QString& clip : clips) {
            const ConverterInvocation job = BuildConverterInvocation(program, clip, settings);
            QProcess process;
            process.setProcessChannelMode(QProcess::MergedChannels);
            process.start(job.program, job.arguments);
            process.waitForFinished(-1);
            process.readAll();
            failed += process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0;
        }
        std::printf("direct_ms=%lld\nfailed=%d\n", static_cast<long long>(clock.elapsed()), failed);
        return failed == 0 ? 0 : 1;
    }

    ConsoleSink sink;
    QuietView view;
    FileListModel list;
    BatchDriver driver(list, view, sink, [&settings] { return settings; }, program);
    driver.setFilesAtOnce(filesAtOnce);
    for (const QString& clip : clips)
        list.AppendEntry(clip, clip, clip);

    QElapsedTimer tickClock;
    qint64 lastTick = 0;
    qint64 largestGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = tickClock.elapsed();
        largestGap = qMax(largestGap, now - lastTick);
        lastTick = now;
    });
    int converted = 0;
    int failures = 0;
    QObject::connect(&driver, &BatchDriver::finished, [&](const BatchReport& report) {
        converted = report.converted;
        failures = static_cast<int>(report.failures.size()) + (report.stoppedEarly ? 1 : 0);
        app.quit();
    });
    clock.start();
    tickClock.start();
    ticker.start(10);
    if (!driver.Start())
        return 1;
    app.exec();
    std::printf("batch_ms=%lld\nmax_gap_ms=%lld\nconverted=%d\n",
                static_cast<long long>(clock.elapsed()), static_cast<long long>(largestGap),
                converted);
    return failures == 0 && sink.count == 0 ? 0 : 1;
}
