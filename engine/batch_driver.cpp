#include "engine/batch_driver.h"

#include "engine/batch_view.h"
#include "engine/command_line.h"
#include "engine/dos_outputs.h"
#include "engine/kept_folders.h"
#include "intake/file_list_model.h"
#include "platform/converter_processes.h"
#include "platform/message_sink.h"

#include <QDir>
#include <QPointer>

BatchDriver::BatchDriver(FileListModel& list, DOSOutputs& runner, BatchView& view,
                         MessageSink& messages, SettingsProvider settings,
                         const QString& programFolder, QObject* parent)
    : QObject(parent), m_list(list), m_runner(runner), m_view(view), m_messages(messages),
      m_settings(std::move(settings)), m_programFolder(programFolder)
{
    m_armTimer.setSingleShot(true);
    m_armTimer.setInterval(ArmDelayMilliseconds);
    connect(&m_armTimer, &QTimer::timeout, this, &BatchDriver::RunBatch);

    connect(&m_runner, &DOSOutputs::ReceiveOutputs, this, &BatchDriver::onReceiveOutputs);
    connect(&m_runner, &DOSOutputs::CommandOver, this, &BatchDriver::onCommandOver);
    connect(&m_runner, &DOSOutputs::StartFailed, this, &BatchDriver::onStartFailed);

    // Follow the entry being converted while rows come and go around it.
    connect(&m_list, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) { trackRemoval(first, last); });
    connect(&m_list, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                if (m_runningRow >= first)
                    m_runningRow += last - first + 1;
            });
    connect(&m_list, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { m_runningRow = -1; });
}

void BatchDriver::trackRemoval(int first, int last)
{
    if (m_runningRow < first)
        return;
    m_runningRow = m_runningRow <= last ? -1 : m_runningRow - (last - first + 1);
}

bool BatchDriver::Start()
{
    if (m_state != State::Idle)
        return false;
    if (m_list.isEmpty()) {
        m_messages.showMessage(QStringLiteral("Please add a file"), QStringLiteral("Add"),
                               MessageSink::Icon::Exclamation);
        return false;
    }
    m_view.setBatchControlsEnabled(false);
    m_report = BatchReport{};
    m_stopRequested = false;
    m_sweepNeeded = true;
    m_state = State::Armed;
    m_armTimer.start();
    return true;
}

void BatchDriver::RunBatch()
{
    if (m_state != State::Armed)
        return;
    m_armTimer.stop();
    startNextEntry();
}

void BatchDriver::startNextEntry()
{
    if (m_stopRequested) {
        endEarly();
        return;
    }
    if (m_list.isEmpty()) {
        finishList();
        return;
    }

    const FileEntry& entry = m_list.entry(0);
    const ConversionSettings settings =
        EntrySettings(m_settings(), entry.addedFolder, entry.queuePath);
    // One level, as the folder picker allows choosing a new folder inside an existing one;
    // created before every entry because the folder may change during the batch. An entry that
    // keeps its folders needs the whole way down created.
    if (settings.keepFolders)
        QDir().mkpath(settings.outputFolder);
    else
        QDir().mkdir(settings.outputFolder);

    m_runningSource = entry.displayText.isEmpty() ? entry.queuePath : entry.displayText;
    const QString commandLine = BuildCommandLine(m_programFolder, entry.queuePath, settings);
    const ConverterInvocation invocation =
        BuildConverterInvocation(m_programFolder, entry.queuePath, settings);

    // A converter of this program can only be left over when a job did not end cleanly (or
    // from before this batch): a converter that exits normally has ended its own helpers. The
    // process-table scan is skipped otherwise, as it costs more than the job start itself.
    if (m_sweepNeeded) {
        m_report.strayConvertersTerminated += KillProcessesByName(invocation.program).size();
        m_sweepNeeded = false;
    }
    m_tracker.setCutter(settings.cutterOn, settings.cutLength);
    m_runningRow = 0;
    m_state = State::Converting;
    m_runner.setCommandLine(commandLine, invocation);
    if (m_runner.ExecuteCommand() != DOSOutputs::StartResult::Started) {
        // The runner has shown why; trying the same entry again would fail the same way.
        endEarly();
        return;
    }
    emit jobStarted(m_runningSource);
}

void BatchDriver::onReceiveOutputs(const QString& block)
{
    if (m_state != State::Converting)
        return;
    if (const auto display = m_tracker.ReceiveOutputs(block))
        m_view.showProgress(*display);
}

void BatchDriver::onCommandOver()
{
    if (m_state != State::Converting)
        return;
    const JobResult& result = m_runner.lastResult();
    m_sweepNeeded = !result.succeeded();
    if (result.succeeded())
        ++m_report.converted;
    else if (!result.stoppedByUser)
        m_report.failures.append({m_runningSource, result.lastErrorLine});

    if (result.stoppedByUser) {
        m_runningRow = -1;
    } else if (m_runningRow >= 0) {
        const int row = m_runningRow;
        m_runningRow = -1;
        m_list.removeEntry(row);
    }
    m_tracker.reset();
    m_view.setRevealTickEnabled(true);
    m_state = State::BetweenEntries;
    // The next job starts from the event loop, not from inside the runner's signal.
    QTimer::singleShot(0, this, &BatchDriver::startNextEntry);
}

void BatchDriver::onStartFailed()
{
    if (m_state == State::Converting)
        endEarly();
}

void BatchDriver::stop()
{
    m_stopRequested = true;
    switch (m_state) {
    case State::Armed:
        m_armTimer.stop();
        endEarly();
        break;
    case State::Converting:
        m_runner.stop();
        break;
    default:
        break;
    }
}

void BatchDriver::endEarly()
{
    m_runningRow = -1;
    m_tracker.reset();
    m_report.stoppedEarly = true;
    m_state = State::Idle;
    m_view.setBatchControlsEnabled(true);
    emit finished(m_report);
}

void BatchDriver::finishList()
{
    m_state = State::Finishing;
    const ConversionSettings settings = m_settings();
    m_view.openFolder(settings.outputFolder);
    if (settings.soundIndex != 0) {
        complete();
        return;
    }
    QPointer<BatchDriver> self(this);
    m_view.playSound(QDir(m_programFolder).filePath(QStringLiteral("sound.wav")), [self] {
        if (self && self->m_state == State::Finishing)
            self->complete();
    });
}

void BatchDriver::complete()
{
    m_view.setRevealTickEnabled(false);
    m_view.setBatchControlsEnabled(true);
    m_view.showProgress({0, QStringLiteral("Done.")});
    m_state = State::Idle;
    if (!m_report.failures.isEmpty())
        m_messages.showMessage(failureMessage(m_report.failures), failureTitle(),
                               MessageSink::Icon::Exclamation);
    emit finished(m_report);
}

QString BatchDriver::failureTitle()
{
    return QStringLiteral("Conversion failed");
}

QString BatchDriver::failureMessage(const QList<FailedSource>& failures)
{
    QString text = failures.size() == 1 ? QStringLiteral("This file could not be converted:")
                                        : QStringLiteral("These files could not be converted:");
    for (const FailedSource& failure : failures) {
        text += QStringLiteral("\n\n") + failure.source;
        if (!failure.lastErrorLine.isEmpty())
            text += QStringLiteral("\n") + failure.lastErrorLine;
    }
    return text;
}
