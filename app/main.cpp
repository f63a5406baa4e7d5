#include "mainwindow/frm_main.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trevalon"));
    QApplication::setApplicationVersion(QStringLiteral(TREVALON_VERSION_STRING));
    frmMain window;
    window.show();
    return QApplication::exec();
}
