#pragma once

#include "engine/batch_driver.h"
#include "engine/batch_view.h"
#include "intake/file_list_model.h"
#include "recording_sink.h"

#include <QSignalSpy>
#include <QStringList>
#include <QTimer>

// A window stand-in that records what the batch asks of it, in order.
class RecordingView : public BatchView
{
public:
    void setBatchControlsEnabled(bool enabled) override
    {
        events << (enabled ? QStringLiteral("controls on") : QStringLiteral("controls off"));
    }
    void showProgress(const ProgressDisplay& display) override
    {
        events << QStringLiteral("progress ") + display.caption;
        lastWidth = display.width;
    }
    void setRevealTickEnabled(bool enabled) override
    {
        events << (enabled ? QStringLiteral("reveal on") : QStringLiteral("reveal off"));
    }
    void openFolder(const QString& folder) override { events << QStringLiteral("open ") + folder; }
    void playSound(const QString& path, std::function<void()> finished) override
    {
        events << QStringLiteral("sound ") + path;
        // The sound takes a while; the batch must wait for it.
        QTimer::singleShot(30, [finished] {
            finished();
        });
    }

    QStringList captions() const
    {
        QStringList result;
        for (const QString& event : events) {
            if (event.startsWith(QStringLiteral("progress ")))
                result << event.mid(9);
        }
        return result;
    }

    QStringList events;
    double lastWidth = -1;
};

// The list, the runner, the window stand-in and the driver of one batch.
struct BatchRig
{
    explicit BatchRig(const QString& programFolder)
        : driver(list, view, sink, [this] { return settings; }, programFolder)
    {
    }

    // Starts a batch and waits for its end.
    bool runToEnd(int timeoutMs = 60000)
    {
        QSignalSpy finished(&driver, &BatchDriver::finished);
        return driver.Start() && finished.wait(timeoutMs);
    }

    void add(const QString& path)
    {
        list.AppendEntry(path, path.section(QLatin1Char('/'), -1), path);
    }

    RecordingSink sink;
    RecordingView view;
    FileListModel list;
    ConversionSettings settings;
    BatchDriver driver;
};
