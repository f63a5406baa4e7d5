#pragma once

#include "engine/batch_view.h"
#include "platform/message_sink.h"

#include <QTimer>

#include <functional>
#include <memory>

class BatchDriver;
class QSoundEffect;
class frmMain;

// The main window's side of the batch: the batch driver, with the controls, progress display, reveal tick, folder, sound and messages they ask
// for routed to the window.
class MainBatch : public BatchView, public MessageSink
{
public:
    explicit MainBatch(frmMain& window);
    ~MainBatch() override;

    // The Start command, with "Files at once" as chosen at this moment; false when the list is
    // empty or a batch is already under way.
    bool start();
    // Stops every running converter; their partial outputs are removed and their entries stay.
    void stop();
    bool busy() const;
    BatchDriver& driver() { return *m_driver; }

    void setBatchControlsEnabled(bool enabled) override;
    void showProgress(const ProgressDisplay& display) override;
    void setRevealTickEnabled(bool enabled) override;
    void openFolder(const QString& folder) override;
    void playSound(const QString& path, std::function<void()> finished) override;
    void showMessage(const QString& text, const QString& title, Icon icon) override;

private:
    frmMain& m_window;
    std::unique_ptr<BatchDriver> m_driver;
    // Created on first use: the sound system is slow to start and most batches end silently.
    std::unique_ptr<QSoundEffect> m_sound;
    std::function<void()> m_soundFinished;
    // A sound system that accepts the chime but never plays it must not hold up the batch's end.
    QTimer m_soundTimeout;

    void soundEnded();
};
