#include "engine/batch_driver.h"

#include "engine/batch_view.h"
#include "intake/file_list_model.h"
#include "platform/message_sink.h"

#include <QDir>
#include <QPointer>

BatchDriver::BatchDriver(FileListModel& list, BatchView& view, MessageSink& messages,
                         SettingsProvider settings, const QString& programFolder, QObject* parent)
    : QObject(parent), m_list(list), m_view(view), m_messages(messages),
      m_settings(std::move(settings)), m_programFolder(programFolder),
      m_scheduler(list, messages, m_settings, programFolder)
{
    m_armTimer.setSingleShot(true);
    m_armTimer.setInterval(ArmDelayMilliseconds);
    connect(&m_armTimer, &QTimer::timeout, this, &BatchDriver::RunBatch);

    connect(&m_scheduler, &BatchScheduler::jobStarted, this, [this](const ScheduledJob& job) {
        if (m_filesAtOnce > 1)
            showOverallProgress();
        emit jobStarted(job.source);
    });
    connect(&m_scheduler, &BatchScheduler::jobProgress, this, &BatchDriver::onJobProgress);
    connect(&m_scheduler, &BatchScheduler::jobFinished, this, &BatchDriver::onJobFinished);
    connect(&m_scheduler, &BatchScheduler::finished, this, &BatchDriver::onSchedulerFinished);
    // A batch that tags loudness is done once its albums have their values too.
    connect(&m_albums, &AlbumLoudness::settled, this, [this] {
        if (m_state == State::Converting && m_albumsPending) {
            m_albumsPending = false;
            onSchedulerFinished(m_report);
        }
    });
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
    m_state = State::Armed;
    m_armTimer.start();
    return true;
}

void BatchDriver::RunBatch()
{
    if (m_state != State::Armed)
        return;
    m_armTimer.stop();
    m_state = State::Converting;
    m_scheduler.setFilesAtOnce(m_filesAtOnce);
    m_scheduler.start();
}

void BatchDriver::onJobProgress(const ScheduledJob& job, const ProgressDisplay& display)
{
    if (m_state != State::Converting)
        return;
    if (m_filesAtOnce <= 1) {
        m_view.showProgress(display);
        return;
    }
    const int row = m_scheduler.rowOf(job);
    if (row >= 0)
        m_list.setEntryProgress(row, display.width / ProgressTracker::ProgressFullWidth,
                                display.caption);
    showOverallProgress();
}

void BatchDriver::showOverallProgress()
{
    const double share = m_scheduler.overallFraction();
    m_view.showProgress({share * ProgressTracker::ProgressFullWidth,
                         share >= 1 ? QStringLiteral("100%")
                                    : ProgressTracker::plainDecimal(share * 100).left(4) +
                                          QLatin1Char('%')});
}

void BatchDriver::onJobFinished(const ScheduledJob&, const JobOutcome& outcome)
{
    if (m_state != State::Converting || outcome.kind == JobOutcome::Kind::NotStarted)
        return;
    if (m_filesAtOnce > 1 && outcome.kind != JobOutcome::Kind::Stopped)
        showOverallProgress();
    m_view.setRevealTickEnabled(true);
}

void BatchDriver::onSchedulerFinished(const BatchReport& report)
{
    if (m_state != State::Converting)
        return;
    m_report = report;
    // The albums' own handler ran first: it is connected before this one.
    if (!report.stoppedEarly && m_albums.isBusy()) {
        m_albumsPending = true;
        return;
    }
    if (report.stoppedEarly)
        endEarly();
    else
        finishList();
}

void BatchDriver::stop()
{
    switch (m_state) {
    case State::Armed:
        m_armTimer.stop();
        m_report.stoppedEarly = true;
        endEarly();
        break;
    case State::Converting:
        m_scheduler.stop();
        break;
    default:
        break;
    }
}

void BatchDriver::endEarly()
{
    m_state = State::Idle;
    m_list.clearEntryProgress(); // stopped entries stay, without the progress of a job now over
    // The bar must not claim progress of a batch that is over.
    if (m_report.startFailed)
        m_view.showProgress({0, QString()});
    m_view.setBatchControlsEnabled(true);
    // The files that failed before the batch ended must not go unreported.
    if (m_report.startFailed && !m_report.failures.isEmpty())
        m_messages.showMessage(failureMessage(m_report.failures), failureTitle(),
                               MessageSink::Icon::Exclamation);
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
    if (!m_albums.summary().isEmpty())
        m_messages.showMessage(albumMessage(m_albums.summary()), albumTitle(),
                               MessageSink::Icon::Information);
    emit finished(m_report);
}

QString BatchDriver::albumTitle()
{
    return QStringLiteral("Album loudness");
}

QString BatchDriver::albumMessage(const QStringList& albums)
{
    return QStringLiteral("The album values written:\n\n") + albums.join(QStringLiteral("\n\n"));
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
