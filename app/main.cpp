#include "intake/staging.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/single_instance.h"
#include "platform/settings_platform.h"
#include "settings/settings_folder.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

bool IsSet(const char* variable)
{
    const char* value = std::getenv(variable);
    return value && *value;
}

// Whether the window has nowhere to appear. Qt ends the program with an abort (a core dump) when
// its display platform finds no display, so this is checked before the application is built. A
// platform chosen on purpose that needs no display (offscreen, vnc) is left to Qt.
bool NoDisplay(int argc, char* argv[])
{
    std::string_view platform = IsSet("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            platform = argv[i + 1];
    }
    if (platform.starts_with("xcb"))
        return !IsSet("DISPLAY");
    if (platform.starts_with("wayland"))
        return !IsSet("WAYLAND_DISPLAY");
    return platform.empty() && !IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char* argv[])
{
    if (NoDisplay(argc, argv)) {
        std::fputs("trevalon: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set): run "
                   "it from a desktop session, use `xvfb-run ./scripts/run.sh` to try it, or use "
                   "trevalon-batch for work without a display\n",
                   stderr);
        return 1;
    }
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
    context.settings = SettingsFolder(context.programFolder, UserConfigFolder());
    context.stagingFolder = StagingFolderPath();
    context.defaultOutputFolder = DefaultOutputFolder();
    frmMain window(context);
    window.show();
    return QApplication::exec();
}
