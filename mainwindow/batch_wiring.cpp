// The batch wired to the main window.

#include "mainwindow/batch_wiring.h"

#include "engine/progress_tracker.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/hotspot.h"
#include "mainwindow/main_layout.h"
#include "mainwindow/skinned_window.h"
#include "mainwindow/window_services.h"

#include <QCoreApplication>
#include <QLabel>

MainBatch::MainBatch(frmMain& window) : m_window(window) {}

MainBatch::~MainBatch() = default;

void MainBatch::Timer1_Timer()
{
    m_window.Timer1().stop();
    QCoreApplication::processEvents();
    m_running = true;
    // The engine's batch driver runs the list here.
    m_running = false;
}

void frmMain::imgStart_Click()
{
    if (m_files.isEmpty()) {
        m_services->message(this, QStringLiteral("Please add a file"), QStringLiteral("Add"),
                            WindowServices::Icon::Exclamation);
        return;
    }
    if (m_batch->running() || m_timer1.isActive())
        return; // one batch at a time
    setBatchControlsEnabled(false);
    m_timer1.start();
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

void frmMain::progressDone()
{
    setProgress(0, QStringLiteral("Done."));
}
