#pragma once

#include "intake/file_list_model.h"
#include "mainwindow/common_dlgs.h"
#include "mainwindow/main_skin.h"
#include "settings/extra_settings.h"
#include "settings/settings_folder.h"
#include "settings/settings_types.h"
#include "widgets/skinned_window.h"

#include <QPointer>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class CodePage;
class FolderSearchQueue;
class FrmMenu;
class HotLabel;
class Hotspot;
class MainBatch;
class QComboBox;
class QLabel;
class QLineEdit;
class QTreeView;
class SourceStager;
class WindowServices;
struct ConversionSettings;
struct DroppedNames;

// What the main window is handed by the program (or by a test): where it lives and whom it asks.
struct MainWindowContext
{
    QString programFolder;       // help, sound and data/conv
    SettingsFolderChoice settings; // setup.ini, options.ini and trevalon.ini
    QString stagingFolder;       // the program's own folder for staged sources
    QString defaultOutputFolder; // the output folder when none is chosen
    WindowServices* services = nullptr; // not owned; the desktop's when null
    const CodePage* codePage = nullptr; // not owned; the platform's when null
};

// The program's main window: the file list, the pickers and output folder, the menus and
// toolbar, the progress display. Its construction is the program's start-up; Exit() saves the
// pickers and closes it; closing it any way ends the program without saving.
class frmMain : public SkinnedWindow
{
    Q_OBJECT

public:
    explicit frmMain(MainWindowContext context, QWidget* parent = nullptr);
    ~frmMain() override;

    const MainWindowContext& context() const { return m_context; }
    WindowServices& services() const { return *m_services; }

    // Commands.
    void Exit();
    void imgMin_Click();
    void imgAdd_Click();
    void AddFolder();
    void imgRemove_Click();
    void menuRemoveAll_Click();
    void imgStart_Click();
    void imgBrowse_Click();
    void imgHelp_Click();
    void lblWeb_Click();
    void lblFeed_Click();
    void imgToolbar_Click(int index);
    void imgMenu_Click(int index);
    // Options > More Options(&M): Trevalon's own choices.
    void menuMoreOptions_Click();
    void ShowAbout();
    // Files dropped on the list: on the overlay (full names, staged where needed) or on the list
    // itself (names as delivered). A dropped folder is searched like Add Folder.
    void dropOnOverlay(const QList<QUrl>& urls);
    void dropOnList(const QList<QUrl>& urls);

    // The user's choices as the pickers and the folder box hold them.
    SetupSettings currentSetup() const;
    ConversionSettings conversionSettings() const;
    OptionsSettings& options() { return m_options; }
    // The choices of trevalon.ini, read at start-up and changed by the options dialog.
    ExtraSettings& extraSettings() { return m_extra; }

    // What happened, for the program and its tests.
    bool setupWritten() const { return m_setupWritten; }
    // True while any added or dropped folder is still being searched or waits for its search.
    bool folderSearchRunning() const;
    int unloadRemovedFiles() const { return m_unloadRemovedFiles; }

    // Controls, by their names on the window.
    FileListModel& files() { return m_files; }
    QTreeView* LV() const { return m_LV; }
    QComboBox* cmbOF() const { return m_pickers[0]; }
    QComboBox* cmbBR() const { return m_pickers[1]; }
    QComboBox* cmbR() const { return m_pickers[2]; }
    QComboBox* cmbChannel() const { return m_pickers[3]; }
    QComboBox* picker(int i) const { return m_pickers[static_cast<size_t>(i)]; }
    Hotspot* picButton(int i) const { return m_picButtons[static_cast<size_t>(i)]; }
    QLineEdit* txtPath() const { return m_txtPath; }
    QLineEdit* txtAction() const { return m_txtAction; }
    Hotspot* imgToolbar(int i) const { return m_toolbar[static_cast<size_t>(i)]; }
    Hotspot* imgMenu(int i) const { return m_menuTitles[static_cast<size_t>(i)]; }
    Hotspot* imgConvert() const { return m_imgConvert; }
    Hotspot* imgBrowse() const { return m_imgBrowse; }
    Hotspot* imgHelp() const { return m_imgHelp; }
    Hotspot* imgMin() const { return m_imgMin; }
    Hotspot* imgExit() const { return m_imgExit; }
    HotLabel* lblFeed() const { return m_lblFeed; }
    QLabel* lblVersion() const { return m_lblVersion; }
    HotLabel* lblWeb() const { return m_lblWeb; }
    QLabel* lblPB() const { return m_lblPB; }
    QWidget* imgPB() const { return m_imgPB; }
    QWidget* picText() const { return m_picText; }
    QLabel* lblText() const { return m_lblText; }
    QWidget* picDrop() const { return m_picDrop; }
    FrmMenu& menus() { return *m_menus; }
    const MainSkin& skinStores() const { return m_skin; }
    MainBatch& batch() { return *m_batch; }
    bool batchBusy() const;

    // The batch's side of the window.
    void setBatchControlsEnabled(bool enabled);
    void setProgress(double widthTwips, const QString& caption);

protected:
    void surfaceMouseMove() override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Start-up, in its order (frm_main.cpp).
    void createControls();
    void createPickers();
    void applyPickerDefaults();
    void applySavedChoices();
    void applyLabels();
    void readOptions();
    void Form_Unload();

    // Hover feedback (hover_feedback.cpp).
    void connectHoverFeedback();
    void toolbarHovered(int index);
    void menuTitleHovered(int index);

    // File list intake (file_intake.cpp).
    void updatePlaceholder();
    void searchFolderInBackground(const QString& folder, QVector<FileEntry> then = {});

    // Drag and drop (drop_zone.cpp).
    void appendInDropOrder(const DroppedNames& dropped,
                           const std::function<FileEntry(const QString&)>& entryFor);
    void finishDrop();

    MainWindowContext m_context;
    std::unique_ptr<WindowServices> m_ownServices;
    std::unique_ptr<CodePage> m_ownCodePage;
    WindowServices* m_services = nullptr;
    const CodePage* m_codePage = nullptr;
    MainSkin m_skin;
    CommonDlgsW m_dialogs;
    std::unique_ptr<SourceStager> m_stager;
    FileListModel m_files;
    OptionsSettings m_options;
    ExtraSettings m_extra; // trevalon.ini
    std::unique_ptr<FrmMenu> m_menus;
    std::unique_ptr<MainBatch> m_batch;
    FolderSearchQueue* m_folderSearches = nullptr;
    bool m_setupWritten = false;
    bool m_unloaded = false;
    int m_unloadRemovedFiles = 0;

    QTreeView* m_LV = nullptr;
    std::array<QComboBox*, 4> m_pickers{};
    std::array<Hotspot*, 4> m_picButtons{};
    QLineEdit* m_txtPath = nullptr;
    QLineEdit* m_txtAction = nullptr;
    std::array<Hotspot*, 7> m_toolbar{};
    std::array<Hotspot*, 3> m_menuTitles{};
    Hotspot* m_imgConvert = nullptr;
    Hotspot* m_imgBrowse = nullptr;
    Hotspot* m_imgHelp = nullptr;
    Hotspot* m_imgMin = nullptr;
    Hotspot* m_imgExit = nullptr;
    HotLabel* m_lblFeed = nullptr;
    QLabel* m_lblVersion = nullptr;
    HotLabel* m_lblWeb = nullptr;
    QLabel* m_lblPB = nullptr;
    QWidget* m_imgPB = nullptr;
    QWidget* m_picText = nullptr;
    QLabel* m_lblText = nullptr;
    QWidget* m_picDrop = nullptr;
};
