// Shows the main window converting the given sources two at once, for the screenshot of
// scripts/screenshot-converting.sh. It prints "converting" once two jobs report progress and
// stays open until it is ended. Settings are kept in SETTINGS_FOLDER, never the user's.
//   converting_window_gui PROGRAM_FOLDER SETTINGS_FOLDER OUTPUT_FOLDER SOURCE...
#include "engine/batch_driver.h"
#include "mainwindow/batch_wiring.h"
#include "mainwindow/frm_main.h"

#include <QApplication>
#include <QSet>
#include <QUrl>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trevalon"));
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: converting_window_gui PROGRAM SETTINGS OUTPUT SOURCE...\n");
        return 2;
    }
    MainWindowContext context;
    context.programFolder = args.at(1);
    context.settings.folder = args.at(2);
    context.stagingFolder = args.at(2) + QStringLiteral("/staging");
    context.defaultOutputFolder = args.at(3);
    frmMain window(context);
    window.show();
    window.extraSettings().filesAtOnce = 2;
    QList<QUrl> dropped;
    for (const QString& source : args.mid(4))
        dropped << QUrl::fromLocalFile(source);
    window.dropOnList(dropped);

    QSet<qint64> reporting;
    QObject::connect(&window.batch().driver().scheduler(), &BatchScheduler::jobProgress,
                     [&reporting](const ScheduledJob& job, const ProgressDisplay&) {
                         reporting.insert(job.ordinal);
                         if (reporting.size() == 2) {
                             std::printf("converting\n");
                             std::fflush(stdout);
                         }
                     });
    window.imgStart_Click();
    return QApplication::exec();
}
