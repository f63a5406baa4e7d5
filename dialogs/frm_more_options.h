#pragma once

#include "dialogs/option_rows.h"
#include "dialogs/skinned_dialog.h"
#include "settings/extra_settings.h"
#include "settings/settings_folder.h"

#include <QPixmap>

class Hotspot;

// The More Options dialog: every choice Trevalon offers beyond the classic options dialog, one
// row each, kept in trevalon.ini. It edits the program's ExtraSettings: nothing changes until OK,
// which rewrites trevalon.ini when a choice was changed. Back, the close mark and Escape leave the
// settings and the file untouched.
class frmMoreOptions : public SkinnedDialog
{
    Q_OBJECT

public:
    frmMoreOptions(ExtraSettings& extra, SettingsFolderChoice settings, QWidget* parent = nullptr);

    // The choices "Files at once" offers: 1 up to the number of cores, at least 1 to 4.
    static int filesAtOnceChoices();

    // After OK: whether trevalon.ini was written (only when a choice kept there changed).
    bool extraFileWritten() const { return m_extraFileWritten; }

private:
    void addRows();
    void buildButtons();
    void okClicked();

    void surfaceMouseMove() override;

    ExtraSettings& m_extra;
    SettingsFolderChoice m_settings;
    OptionRows m_rows;
    bool m_extraFileWritten = false;

    Hotspot* m_imgOK = nullptr;
    Hotspot* m_imgBack = nullptr;
    Hotspot* m_imgExit = nullptr;
    QPixmap m_imgOKLight;
    QPixmap m_imgBackLight;
    QPixmap m_imgExitLight;
};
