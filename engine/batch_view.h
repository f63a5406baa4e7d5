#pragma once

#include "engine/progress_tracker.h"

#include <QString>

#include <functional>

// The window's side of a batch, so the batch driver runs the same in the window, in a
// command-line front end and in tests.
class BatchView
{
public:
    virtual ~BatchView() = default;

    // false at Start: the toolbar, the menu titles, the convert button and the feedback link;
    // true at the end: those and the add, remove, start and browse buttons.
    virtual void setBatchControlsEnabled(bool enabled) = 0;

    // The progress bar width (twips) and the caption beside it ("Done." at the end).
    virtual void showProgress(const ProgressDisplay& display) = 0;

    // Armed after every file (the window re-centres itself on its tick), disarmed at the end.
    virtual void setRevealTickEnabled(bool enabled) = 0;

    // Shows the output folder in the desktop's file browser.
    virtual void openFolder(const QString& folder) = 0;

    // Plays the completion sound and calls finished once it has ended (at once when it cannot
    // be played). The batch waits for it before it reports "Done.".
    virtual void playSound(const QString& path, std::function<void()> finished) = 0;
};
