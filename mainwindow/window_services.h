#pragma once

#include "settings/extra_settings.h"
#include "settings/settings_folder.h"
#include "settings/settings_types.h"

#include <QString>

class CommonDlgsW;
class QWidget;

// Everything the main window asks of the desktop: message boxes, the file and folder dialogs,
// the modal dialogs, and opening help, web page and folders. The program uses DesktopServices;
// tests hand in a recorder.
class WindowServices
{
public:
    enum class Icon { None, Information, Exclamation, Critical };

    virtual ~WindowServices() = default;

    // A message box with an OK button only; returns once it is dismissed.
    virtual void message(QWidget* owner, const QString& text, const QString& title, Icon icon) = 0;
    // The folder dialog titled "Please select a folder:"; "" when the user cancelled.
    virtual QString chooseFolder(QWidget* owner) = 0;
    // The open-file dialog with the dialog object's settings; true when a file was chosen.
    virtual bool showOpen(CommonDlgsW& dialog, QWidget* owner) = 0;
    // The options dialog, modal; returns when it has closed.
    virtual void showOptions(QWidget* owner, OptionsSettings& options,
                             const SettingsFolderChoice& settings) = 0;
    // The More Options dialog (trevalon.ini), modal.
    virtual void showMoreOptions(QWidget* owner, ExtraSettings& extra,
                                 const SettingsFolderChoice& settings) = 0;
    // The feedback form, modal.
    virtual void showFeedback(QWidget* owner) = 0;
    // Each opener returns whether the desktop accepted the request.
    virtual bool openHelp(const QString& programFolder) = 0;
    virtual bool openProductPage(const QString& webLabelCaption) = 0;
    virtual bool openFolder(const QString& folder) = 0;
};

class DesktopServices : public WindowServices
{
public:
    void message(QWidget* owner, const QString& text, const QString& title, Icon icon) override;
    QString chooseFolder(QWidget* owner) override;
    bool showOpen(CommonDlgsW& dialog, QWidget* owner) override;
    void showOptions(QWidget* owner, OptionsSettings& options,
                     const SettingsFolderChoice& settings) override;
    void showMoreOptions(QWidget* owner, ExtraSettings& extra,
                         const SettingsFolderChoice& settings) override;
    void showFeedback(QWidget* owner) override;
    bool openHelp(const QString& programFolder) override;
    bool openProductPage(const QString& webLabelCaption) override;
    bool openFolder(const QString& folder) override;
};
