#include "intake/staging.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/single_instance.h"
#include "platform/settings_platform.h"
#include "settings/settings_folder.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trevalon"));
    QApplication::setApplicationVersion(QStringLiteral(TREVALON_VERSION_STRING));
    // The same icon as the menu entry, so the task bar shows the program's own.
    QApplication::setDesktopFileName(QStringLiteral("trevalon"));
    QIcon icon;
    for (const int size : {32, 64, 256})
        icon.addFile(QStringLiteral(":/icons/trevalon-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    // A second copy leaves at once, showing nothing and touching no file.
    const SingleInstance instance(SingleInstance::DefaultLockFilePath());
    if (!instance.isFirst())
        return 0;

    MainWindowContext context;
    context.programFolder = QCoreApplication::applicationDirPath();
    context.settingsFolder = SettingsFolder(context.programFolder, UserConfigFolder()).folder;
    context.stagingFolder = StagingFolderPath();
    context.defaultOutputFolder = DefaultOutputFolder();
    frmMain window(context);
    window.show();
    return QApplication::exec();
}
