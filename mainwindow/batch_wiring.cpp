// The batch wired to the main window.

#include "mainwindow/batch_wiring.h"

#include "engine/batch_driver.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/main_layout.h"
#include "mainwindow/window_services.h"
#include "widgets/hotspot.h"
#include "widgets/skinned_window.h"

#include <QFileInfo>
#include <QLabel>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace {

// Longer than the chime beside the program; a device that never starts it cannot stall the end.
constexpr int SoundTimeoutMs = 4000;

} // namespace

MainBatch::MainBatch(frmMain& window)
    : m_window(window),
      m_driver(std::make_unique<BatchDriver>(
          window.files(), *this, *this, [&window] { return window.conversionSettings(); },
          window.context().programFolder))
{
}

MainBatch::~MainBatch()
{
    // A chime still playing stops as its player goes, and reports that it is no longer playing:
    // that report must not reach the timer and the batch's callback, which are gone by then.
    if (m_sound)
        QObject::disconnect(m_sound.get(), nullptr, &m_window, nullptr);
}

bool MainBatch::start()
{
    m_driver->setFilesAtOnce(m_window.extraSettings().filesAtOnce.value_or(1));
    return m_driver->Start();
}

void MainBatch::stop()
{
    m_driver->stop();
}

bool MainBatch::busy() const
{
    return m_driver->isBusy();
}

void MainBatch::setBatchControlsEnabled(bool enabled)
{
    m_window.setBatchControlsEnabled(enabled);
}

void MainBatch::showProgress(const ProgressDisplay& display)
{
    m_window.setProgress(display.width, display.caption);
}

void MainBatch::setRevealTickEnabled(bool enabled)
{
    if (enabled)
        m_window.armReveal();
    else
        m_window.revealTimer().stop();
}

void MainBatch::openFolder(const QString& folder)
{
    m_window.services().openFolder(folder);
}

void MainBatch::playSound(const QString& path, std::function<void()> finished)
{
    // Without a sound device or a readable file the batch goes on at once, silently.
    m_soundFinished = std::move(finished);
    if (QMediaDevices::audioOutputs().isEmpty() || !QFileInfo::exists(path)) {
        soundEnded();
        return;
    }
    if (!m_sound) {
        m_sound = std::make_unique<QSoundEffect>();
        QObject::connect(m_sound.get(), &QSoundEffect::playingChanged, &m_window, [this] {
            if (!m_sound->isPlaying())
                soundEnded();
        });
        QObject::connect(m_sound.get(), &QSoundEffect::statusChanged, &m_window, [this] {
            if (m_sound->status() == QSoundEffect::Error)
                soundEnded();
        });
        m_soundTimeout.setSingleShot(true);
        QObject::connect(&m_soundTimeout, &QTimer::timeout, &m_window, [this] { soundEnded(); });
    }
    m_soundTimeout.start(SoundTimeoutMs);
    m_sound->setSource(QUrl::fromLocalFile(path));
    m_sound->play();
    if (m_sound->status() == QSoundEffect::Error)
        soundEnded();
}

void MainBatch::soundEnded()
{
    m_soundTimeout.stop();
    if (m_soundFinished)
        std::exchange(m_soundFinished, nullptr)();
}

void MainBatch::showMessage(const QString& text, const QString& title, Icon icon)
{
    WindowServices::Icon shown = WindowServices::Icon::Information;
    if (icon == Icon::Critical)
        shown = WindowServices::Icon::Critical;
    else if (icon == Icon::Exclamation)
        shown = WindowServices::Icon::Exclamation;
    m_window.services().message(&m_window, text, title, shown);
}

void frmMain::imgStart_Click()
{
    m_batch->start();
}

bool frmMain::batchBusy() const
{
    return m_batch->busy();
}

void frmMain::setBatchControlsEnabled(bool enabled)
{
    for (Hotspot* member : m_toolbar)
        if (member)
            member->setEnabled(enabled);
    for (Hotspot* title : m_menuTitles)
        title->setEnabled(enabled);
    m_imgConvert->setEnabled(enabled);
    m_lblFeed->setEnabled(enabled);
    if (enabled)
        m_imgBrowse->setEnabled(true);
}

void frmMain::setProgress(double widthTwips, const QString& caption)
{
    const int width = layout::TwipsToPixels(static_cast<int>(widthTwips),
                                            layout::DesignTwipsPerPixel);
    m_imgPB->resize(std::clamp(width, 0, main_layout::ProgressTrack.width()), m_imgPB->height());
    m_lblPB->setText(caption);
}
