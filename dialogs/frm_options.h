#pragma once

#include "dialogs/cutter_boxes.h"
#include "dialogs/skinned_dialog.h"
#include "settings/extra_settings.h"
#include "settings/settings_types.h"

#include <QPixmap>
#include <QString>

class Hotspot;
class MessageBoxes;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// The options dialog: the completion-sound choice and the Music Cutter's start and duration, and
// below them "Files at once" and "Keep folders". It edits the program's one OptionsSettings record
// and its ExtraSettings: nothing changes until OK, which checks the boxes, replaces the whole
// record and rewrites options.ini in the settings folder at once, and rewrites trevalon.ini when
// a choice kept there was changed. Back, the close mark and Escape leave the records and the files
// untouched.
class frmOptions : public SkinnedDialog
{
    Q_OBJECT

public:
    frmOptions(OptionsSettings& options, ExtraSettings& extra, QString settingsFolder,
               MessageBoxes& messages, QWidget* parent = nullptr);

    // The choices "Files at once" offers: 1 up to the number of cores, at least 1 to 4.
    static int filesAtOnceChoices();

    // After OK: whether options.ini was written. The new values stay in memory either way.
    bool optionsFileWritten() const { return m_optionsFileWritten; }
    // After OK: whether trevalon.ini was written (only when a choice kept there changed).
    bool extraFileWritten() const { return m_extraFileWritten; }

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
    ExtraSettings& m_extra;
    QString m_settingsFolder;
    MessageBoxes& m_messages;
    bool m_optionsFileWritten = false;
    bool m_extraFileWritten = false;

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
    QComboBox* m_cmbFilesAtOnce = nullptr;
    QCheckBox* m_chkKeepFolders = nullptr;
    Hotspot* m_picButtonBR = nullptr;
    Hotspot* m_picButtonFiles = nullptr;
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
