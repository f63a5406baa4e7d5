#pragma once

#include "dialogs/cutter_boxes.h"
#include "dialogs/skinned_dialog.h"
#include "settings/settings_folder.h"
#include "settings/settings_types.h"

#include <QPixmap>
#include <QString>

class Hotspot;
class MessageBoxes;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// The options dialog: the completion-sound choice and the Music Cutter's start and duration. It
// edits the program's one OptionsSettings record: nothing changes until OK, which checks the boxes,
// replaces the whole record and rewrites options.ini in the settings folder at once. Back, the
// close mark and Escape leave the record and the file untouched. Trevalon's own choices are on the
// More Options dialog.
class frmOptions : public SkinnedDialog
{
    Q_OBJECT

public:
    frmOptions(OptionsSettings& options, SettingsFolderChoice settings, MessageBoxes& messages,
               QWidget* parent = nullptr);

    // After OK: whether options.ini was written. The new values stay in memory either way.
    bool optionsFileWritten() const { return m_optionsFileWritten; }

    CutterBoxes boxes() const;

private:
    void buildControls();
    void buildHotspots();
    void applyTabOrder();
    void load();
    void setTimeBoxesEnabled(bool enabled);
    void okClicked();
    QLineEdit* boxFor(CutterBoxError error) const;

    void surfaceMouseMove() override;

    OptionsSettings& m_options;
    SettingsFolderChoice m_settings;
    MessageBoxes& m_messages;
    bool m_optionsFileWritten = false;

    QComboBox* m_cmbSR = nullptr;
    QCheckBox* m_chkMC = nullptr;
    QLineEdit* m_txtFromH = nullptr;
    QLineEdit* m_txtFromM = nullptr;
    QLineEdit* m_txtFromS = nullptr;
    QLineEdit* m_txtFromMS = nullptr;
    QLineEdit* m_txtToH = nullptr;
    QLineEdit* m_txtToM = nullptr;
    QLineEdit* m_txtToS = nullptr;
    QLineEdit* m_txtToMS = nullptr;
    Hotspot* m_picButtonBR = nullptr;
    Hotspot* m_imgOK = nullptr;
    Hotspot* m_imgBack = nullptr;
    Hotspot* m_imgExit = nullptr;

    // Picture stores of the hover feedback.
    QPixmap m_imgButton;
    QPixmap m_imgButtonLight;
    QPixmap m_imgOKLight;
    QPixmap m_imgBackLight;
    QPixmap m_imgExitLight;
};

// The background of the options dialog.
QPixmap PaintOptionsSkin();
