#include "mainwindow/window_services.h"

#include "dialogs/frm_more_options.h"
#include "dialogs/frm_options.h"
#include "dialogs/help_links.h"
#include "dialogs/message_boxes.h"
#include "mainwindow/common_dlgs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

void DesktopServices::message(QWidget* owner, const QString& text, const QString& title,
                              Icon icon)
{
    QMessageBox box(owner);
    box.setWindowTitle(title);
    box.setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box.setStandardButtons(QMessageBox::Ok);
    switch (icon) {
    case Icon::None:
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    box.exec();
}

QString DesktopServices::chooseFolder(QWidget* owner)
{
    return QFileDialog::getExistingDirectory(owner, QStringLiteral("Please select a folder:"));
}

bool DesktopServices::showOpen(CommonDlgsW& dialog, QWidget* owner)
{
    return dialog.ShowOpen(owner);
}

void DesktopServices::showOptions(QWidget* owner, OptionsSettings& options,
                                  const SettingsFolderChoice& settings)
{
    WidgetMessageBoxes messages;
    frmOptions dialog(options, settings, messages, owner);
    dialog.exec();
}

void DesktopServices::showMoreOptions(QWidget* owner, ExtraSettings& extra,
                                      const SettingsFolderChoice& settings)
{
    frmMoreOptions dialog(extra, settings, owner);
    dialog.exec();
}

void DesktopServices::showFeedback(QWidget* owner)
{
    ShowFeedbackForm(owner);
}

bool DesktopServices::openHelp(const QString& programFolder)
{
    return OpenHelpPage(programFolder);
}

bool DesktopServices::openProductPage(const QString& webLabelCaption)
{
    return OpenProductPage(webLabelCaption);
}

bool DesktopServices::openFolder(const QString& folder)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}
